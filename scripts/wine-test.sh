#!/usr/bin/env bash
# The Windows DLLs under Wine, as the host platform meets them: each one is
# registered with regsvr32 in a fresh prefix, driven through real COM by the
# client of tests/wine (created by its programmatic identifier), checked in the
# registry and the log, and unregistered; then registered per user (/n /i:user),
# checked in the registry and unregistered. (Wine's COM looks classes up only
# per machine, so the client is not run against the per-user registration.)
# While registered, the client also runs a working day (connect, shift, receipt,
# status, close) against the register emulator, over TCP on loopback and then
# over a COM port that Wine maps to the emulator's pseudo-terminal; the
# emulator's journal and tape and the driver's log must show each receipt once.
# Both bitnesses run the whole of it. Without a Wine loader for one (wine32:i386
# may be left out by scripts/setup.sh; the 32-bit loader needs kernel support),
# that DLL's exports and version resource are still checked on file, and a line
# "wine: skipped <bitness>: <why>" says so.
# Ends with one line: "wine: N passed, M failed". Exit status 0 only when nothing failed.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
build32=${FR_WIN32_BUILD_DIR:-$here/build/win32}
build64=${FR_WIN64_BUILD_DIR:-$here/build/win64}
scenario=$here/tests/wine/scenario.txt
receipt_scenario=$here/tests/wine/receipt_scenario.txt
fremu=${FR_NATIVE_BUILD_DIR:-$here/build/native}/tools/fremu/fremu
# The COM port the receipt run uses; Wine maps it to the emulator's pseudo-terminal.
com_number=7

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export FR_NO_MESSAGE_BOX=1
# The version the build stamps into the resource, which GetVersion reads back.
FR_VERSION=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt" | head -n1)
export FR_VERSION

passed=0
failed=0
skipped=()
work=$(mktemp -d "${TMPDIR:-/tmp}/fr-wine.XXXXXX")
current_prefix=""
fremu_pid=""

cleanup() {
  stop_fremu >/dev/null 2>&1
  if [[ -n $current_prefix ]]; then
    WINEPREFIX=$current_prefix timeout 30 wineserver -k >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

pass() { passed=$((passed + 1)); echo "  ok   $1"; }
fail() { failed=$((failed + 1)); echo "  FAIL $1"; [[ -n ${2:-} ]] && sed 's/^/       /' "$2"; }

# step <name> <command...>: one check; its output is shown when it fails.
step() {
  local name=$1
  shift
  if "$@" >"$work/out" 2>&1; then pass "$name"; else fail "$name" "$work/out"; fi
}

wine_lib=${FR_WINE_LIB_DIR:-/usr/lib/wine}
# Why scripts/setup.sh left the 32-bit loader out, when it did.
wine32_note=${FR_DEPS_DIR:-$here/.deps}/wine32-left-out

# The loader of that bitness itself: the `wine` command falls back to the 64-bit
# loader when the 32-bit one is missing, which cannot run a 32-bit prefix.
loader_for() {
  case $1 in
    win64) command -v wine64 || { [[ -x $wine_lib/wine64 ]] && echo "$wine_lib/wine64"; } ;;
    win32) [[ -x $wine_lib/wine ]] && echo "$wine_lib/wine" ;;
  esac
}

no_loader_reason() {
  case $1 in
    win64) echo "no 64-bit Wine loader (wine64 is not installed)" ;;
    win32)
      if [[ -s $wine32_note ]]; then
        echo "wine32:i386 is not installed: scripts/setup.sh left it out ($(head -n 1 "$wine32_note"))"
      else
        echo "wine32:i386 is not installed"
      fi
      ;;
  esac
}

run_bitness() {
  local arch=$1 build=$2 label=$3
  local dll=$build/com/fr_norvane1c83.dll client=$build/tests/wine/com_client.exe
  if [[ ! -f $dll ]]; then
    fail "$label: built DLL (run the $arch build first)"
    return
  fi
  step "$label: entry points, architecture and version resource" check_exports "$arch" "$dll"
  local loader
  loader=$(loader_for "$arch")
  if [[ -z $loader ]]; then
    skipped+=("$label: $(no_loader_reason "$arch")")
    return
  fi
  # A kernel without 32-bit support cannot start Wine's 32-bit loader at all.
  if ! timeout 60 "$loader" --version >/dev/null 2>&1; then
    skipped+=("$label: $loader does not start on this machine (for 32 bits: no 32-bit program support in the kernel)")
    return
  fi
  if [[ ! -f $client ]]; then
    fail "$label: built client (run the $arch build first)"
    return
  fi
  echo "wine $label ($arch):"
  local prefix=$work/prefix-$arch
  current_prefix=$prefix
  export WINEPREFIX=$prefix WINEARCH=$arch
  if ! timeout 180 "$loader" wineboot -i >"$work/boot" 2>&1; then
    fail "$label: wineboot" "$work/boot"
    return
  fi
  local dir=$prefix/drive_c/fr
  mkdir -p "$dir"
  cp "$dll" "$client" "$scenario" "$receipt_scenario" "$here/examples/check.xml" \
    "$here/examples/input_parameters.xml" "$dir/"
  local bridge_test=$build/tests/wine/com_bridge_test.exe
  if [[ -f $bridge_test ]]; then
    cp "$bridge_test" "$dir/"
    step "$label: VARIANT and SAFEARRAY conversions" timeout 120 "$loader" 'C:\fr\com_bridge_test.exe'
  else
    fail "$label: com_bridge_test.exe built"
  fi
  local key='HKLM\Software\Classes\AddIn.fr_norvane1c83\CLSID'
  local ukey='HKCU\Software\Classes\AddIn.fr_norvane1c83\CLSID'
  local logdir=$prefix/drive_c/ProgramData/fr_norvane1c83

  step "$label: regsvr32 (per machine)" timeout 60 "$loader" regsvr32 /s 'C:\fr\fr_norvane1c83.dll'
  step "$label: programmatic identifier registered" timeout 60 "$loader" reg query "$key"
  step "$label: server file and threading model" server_keys "$loader" 'HKLM'
  step "$label: client scenario" timeout 120 "$loader" 'C:\fr\com_client.exe' 'C:\fr\scenario.txt'
  step "$label: log written with start and stop banners" check_log "$logdir"
  receipt_runs "$loader" "$label" "$prefix" "$logdir"
  step "$label: regsvr32 /u" timeout 60 "$loader" regsvr32 /s /u 'C:\fr\fr_norvane1c83.dll'
  step "$label: programmatic identifier removed" not timeout 60 "$loader" reg query "$key"
  step "$label: client fails without registration" not timeout 60 "$loader" 'C:\fr\com_client.exe' 'C:\fr\scenario.txt'

  step "$label: regsvr32 /n /i:user (per user)" timeout 60 "$loader" regsvr32 /s /n /i:user 'C:\fr\fr_norvane1c83.dll'
  step "$label: registered for the user only" both "$loader" "$ukey" "$key"
  step "$label: per-user server file and threading model" server_keys "$loader" 'HKCU'
  step "$label: regsvr32 /u /n /i:user" timeout 60 "$loader" regsvr32 /s /u /n /i:user 'C:\fr\fr_norvane1c83.dll'
  step "$label: user registration removed" not timeout 60 "$loader" reg query "$ukey"

  timeout 30 wineserver -k >/dev/null 2>&1 || true
  current_prefix=""
  rm -rf "$prefix"
}

not() { ! "$@"; }

# The DLL on file: its format, the five entry points and the version resource
# with the version the build stamps.
check_exports() {
  local arch=$1 dll=$2 objdump format
  case $arch in
    win64) objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 ;;
    win32) objdump=i686-w64-mingw32-objdump format=pei-i386 ;;
  esac
  command -v "$objdump" >/dev/null || objdump=x86_64-w64-mingw32-objdump
  local dump
  dump=$(timeout 60 "$objdump" -p "$dll") || { echo "$objdump failed"; return 1; }
  grep -q "file format $format\$" <<<"$dump" || { echo "not $format"; head -n 3 <<<"$dump"; return 1; }
  local name
  for name in DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer; do
    grep -qE "^[[:space:]]*\[ *[0-9]+\] $name\$" <<<"$dump" || { echo "no export $name"; return 1; }
  done
  # Resource type 16 is the version information.
  sed -n '/Resource Directory section/,$p' <<<"$dump" | grep -q 'Entry: ID: 0x000010,' ||
    { echo "no version resource"; return 1; }
  local texts
  texts=$(strings -el "$dll")
  grep -qx 'VS_VERSION_INFO' <<<"$texts" && grep -qxF -- "$FR_VERSION" <<<"$texts" ||
    { echo "the version resource does not carry $FR_VERSION"; return 1; }
}

# ---- The register emulator.

# start_fremu <dir>: the emulator on a free TCP port and a pseudo-terminal, with
# its state and tape in <dir>; sets fremu_port, fremu_pty, fremu_control.
start_fremu() {
  local dir=$1
  mkdir -p "$dir"
  # The outer time-out only guards against a run that never ends.
  timeout 900 "$fremu" --port 0 --pty --control-port 0 --no-stdin \
    --state "$dir/register.json" --tape "$dir/tape.txt" >"$dir/fremu.out" 2>"$dir/fremu.err" &
  fremu_pid=$!
  local line="" i
  for i in $(seq 1 100); do
    line=$(head -n 1 "$dir/fremu.out" 2>/dev/null)
    [[ -n $line ]] && break
    kill -0 "$fremu_pid" 2>/dev/null || break
    sleep 0.1
  done
  [[ -n $line ]] || { echo "the emulator did not start"; cat "$dir/fremu.err"; return 1; }
  echo "$line"
  read -r fremu_port fremu_pty fremu_control < <(python3 -c '
import json, sys
j = json.loads(sys.argv[1])
print(j["tcp"]["port"], j["pty"], j["control"]["port"])' "$line") || return 1
  [[ -n $fremu_control && -e $fremu_pty ]]
}

# fremu_ask <json>: one control request; prints the reply line.
fremu_ask() {
  timeout 20 python3 -c '
import socket, sys
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=15) as s:
    s.sendall(sys.argv[2].encode() + b"\n")
    reply = b""
    while not reply.endswith(b"\n"):
        chunk = s.recv(65536)
        if not chunk:
            break
        reply += chunk
print(reply.decode().strip())' "$fremu_control" "$1"
}

# Asks the emulator to stop, then waits for it; a signal only if it does not go.
stop_fremu() {
  [[ -n $fremu_pid ]] || return 0
  local pid=$fremu_pid status=0 i
  fremu_pid=""
  fremu_ask '{"cmd":"stop"}' || true
  for i in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "the emulator did not stop; terminating it"
    kill -TERM "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 1
  fi
  wait "$pid" || status=$?
  [[ $status -eq 0 ]] || { echo "the emulator ended with status $status"; return 1; }
}

# receipt_client <loader> <port setting> <shift> <out>: the working day once.
receipt_client() {
  FR_PORT=$2 FR_IP_PORT=$fremu_port FR_SHIFT=$3 \
    timeout 180 "$1" 'C:\fr\com_client.exe' 'C:\fr\receipt_scenario.txt' >"$4" 2>&1
  local status=$?
  cat "$4"
  return $status
}

# check_register <runs> <shift> <channel> <client output> <dir>: after run number
# <runs>, the emulator holds one receipt per run; the last is the one the host was
# told of (its fiscal sign), in shift <shift>, printed once, and came over <channel>.
check_register() {
  local runs=$1 shift_number=$2 channel=$3 out=$4 dir=$5 sign
  sign=$(grep -o '@5=ref:str:"[0-9]*"' "$out" | tail -n 1 | sed 's/.*"\([0-9]*\)"/\1/')
  [[ -n $sign ]] || { echo "the client reported no fiscal sign"; return 1; }
  local documents requests
  documents=$(fremu_ask '{"cmd":"documents"}') || { echo "no answer to documents"; return 1; }
  requests=$(fremu_ask '{"cmd":"requests"}') || { echo "no answer to requests"; return 1; }
  python3 -c '
import json, sys
documents = json.loads(sys.argv[1])["documents"]
requests = json.loads(sys.argv[2])["requests"]
runs, shift, channel, sign = int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], int(sys.argv[6])
receipts = [d for d in documents if d["kind"] == "receipt"]
problems = []
if len(receipts) != runs:
    problems.append("%d receipts after %d runs" % (len(receipts), runs))
if [d["fiscal_sign"] for d in receipts].count(sign) != 1:
    problems.append("the receipt with fiscal sign %d is not there exactly once" % sign)
last = receipts[-1] if receipts else {}
if last.get("fiscal_sign") != sign or last.get("shift") != shift or last.get("cancelled"):
    problems.append("the last receipt is not the one reported: %s" % json.dumps(last, ensure_ascii=False))
if last.get("total") != "434.8" or len(last.get("items", [])) != 4:
    problems.append("the last receipt does not hold the check package")
kinds = [d["kind"] for d in documents]
if kinds != ["shift_open", "receipt", "shift_close"] * runs:
    problems.append("documents: %s" % kinds)
if not any(r["channel"] == channel for r in requests):
    problems.append("no request came over %s" % channel)
for p in problems:
    print(p)
sys.exit(1 if problems else 0)' "$documents" "$requests" "$runs" "$shift_number" "$channel" "$sign" || return 1
  local printed totals
  printed=$(grep -cE "^ФП +$sign\$" "$dir/tape.txt")
  totals=$(grep -cE '^ИТОГ +=434\.80$' "$dir/tape.txt")
  [[ $printed -eq 1 && $totals -eq $runs ]] ||
    { echo "tape: fiscal sign $sign printed $printed times, $totals receipt totals"; return 1; }
}

# check_exchange_log <logdir> <link class> <runs>: the log shows the bytes the
# link exchanged and each operation's start and end.
check_exchange_log() {
  local logdir=$1 link=$2 runs=$3 log
  log=$(ls "$logdir"/fr_norvane1c83_*.log 2>/dev/null | head -n1)
  [[ -n $log ]] || { echo "no log in $logdir"; return 1; }
  local want
  for want in $'\t'"$link: "$'\t-> 05' $'\t'"$link: "$'\t<- 06' $'TDriver: \tStart ProcessCheck' \
              $'INFO\t> Подключить' $'INFO\t< ProcessCheck' $'TDriver: \tCloseShift [0] - Нет ошибок'; do
    grep -qF -- "$want" "$log" || { echo "missing in $log: $want"; return 1; }
  done
  local done_count
  done_count=$(grep -cF $'TDriver: \tProcessCheck [0] - Нет ошибок' "$log")
  [[ $done_count -eq $runs ]] || { echo "$done_count receipts logged as done after $runs runs"; return 1; }
}

# The working day against the emulator: over TCP, then over a COM port that Wine
# maps to the emulator's pseudo-terminal.
receipt_runs() {
  local loader=$1 label=$2 prefix=$3 logdir=$4
  if [[ ! -x $fremu ]]; then
    fail "$label: register emulator built ($fremu)"
    return
  fi
  local dir=$work/emulator-$label
  if ! start_fremu "$dir" >"$work/out" 2>&1; then
    fail "$label: register emulator started" "$work/out"
    stop_fremu >/dev/null 2>&1
    return
  fi
  pass "$label: register emulator started"
  step "$label: receipt over TCP" receipt_client "$loader" 9999 1 "$work/receipt-tcp"
  step "$label: emulator holds the TCP receipt once" check_register 1 1 tcp "$work/receipt-tcp" "$dir"
  step "$label: log shows the TCP exchange" check_exchange_log "$logdir" TSocketDevice 1

  ln -sfn "$fremu_pty" "$prefix/dosdevices/com$com_number"
  step "$label: receipt over COM$com_number" receipt_client "$loader" "$com_number" 2 "$work/receipt-com"
  step "$label: emulator holds the serial receipt once" check_register 2 2 pty "$work/receipt-com" "$dir"
  step "$label: log shows the serial exchange" check_exchange_log "$logdir" TCOMDevice 2
  rm -f "$prefix/dosdevices/com$com_number"
  step "$label: register emulator stopped" stop_fremu
  step "$label: log closed after the receipt runs" check_log "$logdir"
}

# The class's in-process server key names the DLL and the apartment model.
server_keys() {
  local loader=$1 root=$2 clsid
  clsid=$(timeout 60 "$loader" reg query "$root"'\Software\Classes\AddIn.fr_norvane1c83\CLSID' |
          tr -d '\r' | grep -o '{[0-9A-Fa-f-]*}' | head -n1)
  [[ -n $clsid ]] || { echo "no class identifier under $root"; return 1; }
  local server
  server=$(timeout 60 "$loader" reg query "$root"'\Software\Classes\CLSID\'"$clsid"'\InprocServer32' | tr -d '\r')
  echo "$server"
  grep -qi 'fr_norvane1c83.dll' <<<"$server" && grep -q 'ThreadingModel.*Apartment' <<<"$server"
}

# The user's key is there and the machine's is not.
both() {
  timeout 60 "$1" reg query "$2" && ! timeout 60 "$1" reg query "$3"
}

check_log() {
  local logdir=$1 log
  log=$(ls "$logdir"/fr_norvane1c83_*.log 2>/dev/null | head -n1)
  [[ -n $log ]] || { echo "no log in $logdir"; return 1; }
  local want
  for want in '============Start log=============' $'INFO\t> ПолучитьОписание' \
              $'INFO\t< ПолучитьОписание' $'INFO\tSetPropVal' '============Stop log==============='; do
    grep -qF -- "$want" "$log" || { echo "missing in $log: $want"; tail -n 20 "$log"; return 1; }
  done
  # The stop banner closes the file: nothing but blank lines follows it.
  [[ $(tr -d '\r' <"$log" | sed '/^$/d' | tail -n 1) == '============Stop log===============' ]] ||
    { echo "the stop banner is not the last line"; tail -n 5 "$log"; return 1; }
}

run_bitness win64 "$build64" x64
run_bitness win32 "$build32" x86

for s in "${skipped[@]}"; do echo "wine: skipped $s"; done
echo "wine: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
