#!/usr/bin/env bash
# make demo: the driver's main job end to end. Starts the register emulator on a
# free TCP port and drives the component through frhost as the platform would:
# connect, test, open a shift, sell one receipt from examples/check.xml, read the
# status, put cash in, print an X report, close the shift, disconnect. Prints a
# summary of every call and the paper tape; exits non-zero when a call failed.
#
# With --live (make demo-live) the emulator also serves its tape as a web page
# (fremu --http): the script prints the page's address before the session and
# keeps the emulator running after it until Ctrl-C.
#
# FR_DEMO_BUILD_DIR builds the tools in another folder than the native preset's;
# FR_DEMO_HTTP is the page's ADDRESS:PORT with --live (default 127.0.0.1:0, a free
# port on the loopback address).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
live=0
case "${1:-}" in
  "") ;;
  --live) live=1 ;;
  *) echo "usage: $0 [--live]" >&2; exit 2 ;;
esac

bash scripts/setup.sh demo
if [[ -n "${FR_DEMO_BUILD_DIR:-}" ]]; then
  build_dir=$FR_DEMO_BUILD_DIR
  cmake --preset native -B "$build_dir" >/dev/null
  cmake --build "$build_dir" --target frhost fremu
else
  build_dir=$here/build/native
  cmake --preset native >/dev/null
  cmake --build --preset native --target frhost fremu
fi
frhost=$build_dir/tools/frhost/frhost
fremu=$build_dir/tools/fremu/fremu

work=$(mktemp -d "${TMPDIR:-/tmp}/fr-demo.XXXXXX")
fremu_pid=""
stop_fremu() {
  if [[ -n "$fremu_pid" ]]; then
    kill -TERM "$fremu_pid" 2>/dev/null || true
    wait "$fremu_pid" 2>/dev/null || true
    fremu_pid=""
  fi
}
trap 'stop_fremu; rm -rf "$work"' EXIT

http=()
[[ $live -eq 1 ]] && http=(--http "${FR_DEMO_HTTP:-127.0.0.1:0}")
"$fremu" --port 0 --tape "$work/tape.txt" --state "$work/register.json" --no-stdin "${http[@]}" \
  >"$work/fremu.out" 2>"$work/fremu.err" &
fremu_pid=$!

# The first line says where the emulator listens.
port=$(python3 "$here/scripts/fremu.py" where --pid "$fremu_pid" "$work/fremu.out" tcp.port) || port=""
if [[ -z "$port" ]]; then
  echo "demo: the emulator did not start" >&2
  cat "$work/fremu.err" >&2
  exit 1
fi
echo "Emulated register listening on 127.0.0.1:$port"
page=""
if [[ $live -eq 1 ]]; then
  page=$(python3 "$here/scripts/fremu.py" where "$work/fremu.out" http.url)
  echo "Its paper tape, live: $page"
fi
echo

python3 "$here/scripts/demo_session.py" requests "$port" examples >"$work/requests.jsonl"
"$frhost" --platform 8 --data-dir "$work" <"$work/requests.jsonl" >"$work/replies.jsonl"
[[ $live -eq 1 ]] || stop_fremu

status=0
python3 "$here/scripts/demo_session.py" summary "$work/requests.jsonl" "$work/replies.jsonl" || status=$?

echo
echo "Paper tape"
echo "=========="
cat "$work/tape.txt"
echo
if [[ $status -eq 0 ]]; then
  echo "demo: every call succeeded"
else
  echo "demo: some calls failed" >&2
fi
if [[ $live -eq 0 ]]; then
  echo "To watch the tape live in a browser, with each receipt's QR code: make demo-live"
  exit $status
fi
echo
echo "The emulator keeps running: its tape is at $page (Ctrl-C stops it)."
trap 'echo; exit $status' INT TERM
wait "$fremu_pid" || true
exit $status
