#!/usr/bin/env bash
# make demo: the driver's main job end to end. Starts the register emulator on a
# free TCP port and drives the component through frhost as the platform would:
# connect, test, open a shift, sell one receipt from examples/check.xml, read the
# status, put cash in, print an X report, close the shift, disconnect. Prints a
# summary of every call and the paper tape; exits non-zero when a call failed.
#
# FR_DEMO_BUILD_DIR builds the tools in another folder than the native preset's.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

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

"$fremu" --port 0 --tape "$work/tape.txt" --state "$work/register.json" --no-stdin \
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
echo

python3 "$here/scripts/demo_session.py" requests "$port" examples >"$work/requests.jsonl"
"$frhost" --platform 8 --data-dir "$work" <"$work/requests.jsonl" >"$work/replies.jsonl"
stop_fremu

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
exit $status
