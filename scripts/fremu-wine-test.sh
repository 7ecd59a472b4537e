#!/usr/bin/env bash
# fremu.exe under Wine, as a 1C developer on Windows runs it: for each bitness,
# in a fresh prefix, the emulator starts with its state file, tape file and
# control port; scripts/frame_client.py, a protocol client written apart from
# the emulator, exchanges frames with it over TCP (status, start of work, serial
# number, shift counter); the control channel shows the requests, a second run
# keeps the state, control lines on standard input are answered, and a stop ends
# it. The driver itself, through frhost.exe, then runs a shift, a receipt and a
# closing against it.
# Ends with one line: "fremu-wine: N passed, M failed". Exit status 0 only when
# nothing failed; a bitness this machine cannot run prints a skip line.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-common.sh" fremu-wine

# emu_start <name> <arguments...>: fremu.exe from C:\fr in the background, its
# standard output in $work/<name>.out; waits for the listening line.
emu_start() {
  local name=$1
  shift
  (cd "$WINEPREFIX/drive_c/fr" && exec timeout 300 "$loader" 'C:\fr\fremu.exe' "$@" \
    >"$work/$name.out" 2>"$work/$name.err" </dev/null) &
  emu_pid=$!
  for _ in $(seq 1 300); do
    [[ -s $work/$name.out ]] && break
    sleep 0.2
  done
  cat "$work/$name.out" "$work/$name.err"
  grep -q '"event":"listening"' "$work/$name.out"
}

# emu_port <name> <tcp|control>: the port the listening line names.
emu_port() {
  python3 -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())[sys.argv[2]]["port"])' \
    "$work/$1.out" "$2"
}

# control <name> <json...>: each request on the control port, the replies printed.
control() {
  local port
  port=$(emu_port "$1" control)
  shift
  python3 - "$port" "$@" <<'PY'
import json, socket, sys
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=20) as s:
    f = s.makefile("rw", encoding="utf-8")
    for request in sys.argv[2:]:
        f.write(request + "\n")
        f.flush()
        print(f.readline().strip())
PY
}

# emu_wait: the background fremu.exe ended by itself with status 0.
emu_wait() {
  wait "$emu_pid"
  local status=$?
  [[ $status -eq 0 ]] || { echo "fremu.exe exit status $status"; return 1; }
}

first_run() {
  emu_start first --port 0 --control-port 0 --no-stdin \
    --state 'C:\fr\register.json' --tape 'C:\fr\tape.txt' || return 1
  python3 "$here/scripts/frame_client.py" 127.0.0.1 "$(emu_port first tcp)" || return 1
  control first '{"cmd":"requests"}' '{"cmd":"status"}' >"$work/replies" || return 1
  cat "$work/replies"
  grep -q '"command":"10"' "$work/replies" && grep -q '"started":true' "$work/replies" &&
    grep -q '"channel":"tcp"' "$work/replies" || return 1
  control first '{"cmd":"stop"}' && emu_wait &&
    [[ -s $WINEPREFIX/drive_c/fr/register.json && -f $WINEPREFIX/drive_c/fr/tape.txt ]]
}

# The driver's day through frhost.exe, against the emulator kept in the state file.
driver_day() {
  emu_start second --port 0 --control-port 0 --no-stdin \
    --state 'C:\fr\register.json' --tape 'C:\fr\tape.txt' || return 1
  local port
  port=$(emu_port second tcp)
  local m
  for m in "OpenShift 0 @input_parameters.xml" "ProcessCheck 0 false @check.xml" \
    "CloseShift 0 @input_parameters.xml"; do
    # shellcheck disable=SC2086 # the method and its arguments are words
    (cd "$WINEPREFIX/drive_c/fr" && timeout 180 "$loader" 'C:\fr\frhost.exe' --dll 'C:\fr\fr_norvane1c83.dll' \
      --set PortNumber=9999 --set IPAddress=127.0.0.1 --set IPPort="$port" $m) || return 1
  done
  control second '{"cmd":"documents"}' >"$work/replies" || return 1
  grep -q '"kind":"receipt"' "$work/replies" && grep -q '"kind":"shift_close"' "$work/replies" ||
    { cat "$work/replies"; return 1; }
  grep -q 'ИТОГ' "$WINEPREFIX/drive_c/fr/tape.txt" || { echo "no receipt on the tape"; return 1; }
  control second '{"cmd":"stop"}' && emu_wait
}

# Control lines on standard input, as a console user types them.
stdin_control() {
  (cd "$WINEPREFIX/drive_c/fr" &&
    printf '%s\n' '{"cmd":"status"}' '{"cmd":"stop"}' |
    timeout 120 "$loader" 'C:\fr\fremu.exe' --port 0 --state 'C:\fr\register.json') >"$work/stdin.out" 2>&1
  local status=$?
  cat "$work/stdin.out"
  [[ $status -eq 0 ]] && grep -q '"shift_number":1' "$work/stdin.out"
}

run_bitness() {
  local arch=$1 build=$2 label=$3
  local exe=$build/tools/fremu/fremu.exe
  loader=$(loader_for "$arch")
  if [[ -z $loader ]]; then
    skipped+=("$label: no Wine loader for $arch")
    return
  fi
  if [[ ! -f $exe ]]; then
    fail "$label: built fremu.exe (run the $arch build first)"
    return
  fi
  echo "fremu-wine $label ($arch):"
  if ! new_prefix "$arch" "$loader"; then
    if [[ $arch == win32 ]]; then
      skipped+=("$label: this machine cannot run 32-bit Wine ($(head -c 200 "$work/boot" | tr '\n' ' '))")
    else
      fail "$label: wineboot" "$work/boot"
    fi
    drop_prefix
    return
  fi
  mkdir -p "$WINEPREFIX/drive_c/fr"
  cp "$exe" "$build/tools/frhost/frhost.exe" "$build/com/fr_norvane1c83.dll" \
    "$here/examples/check.xml" "$here/examples/input_parameters.xml" "$WINEPREFIX/drive_c/fr/"
  step "$label: a protocol client exchanges frames with fremu.exe over TCP; state and tape files" first_run
  step "$label: the driver's shift, receipt and closing against it, the state kept" driver_day
  step "$label: control lines on standard input" stdin_control
  drop_prefix
}

run_bitness win64 "$build64" x64
run_bitness win32 "$build32" x86

for s in "${skipped[@]}"; do echo "fremu-wine: skipped $s"; done
echo "fremu-wine: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
