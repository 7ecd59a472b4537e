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
. "$here/scripts/wine-common.sh" wine
scenario=$here/tests/wine/scenario.txt
receipt_scenario=$here/tests/wine/receipt_scenario.txt
# The COM port the receipt run uses; Wine maps it to the emulator's pseudo-terminal.
com_number=7

# The version the build stamps into the resource, which GetVersion reads back.
FR_VERSION=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt" | head -n1)
export FR_VERSION

# Why scripts/setup.sh left the 32-bit loader out, when it did.
wine32_note=${FR_DEPS_DIR:-$here/.deps}/wine32-left-out

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
  # The `wine` command's 64-bit fallback cannot run a 32-bit prefix.
  loader=$(loader_for "$arch" own)
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
  if ! new_prefix "$arch" "$loader"; then
    fail "$label: wineboot" "$work/boot"
    return
  fi
  local prefix=$WINEPREFIX
  local dir=$prefix/drive_c/fr
  mkdir -p "$dir"
  cp "$dll" "$client" "$scenario" "$receipt_scenario" "$here/examples/check.xml" \
    "$here/examples/input_parameters.xml" "$dir/"
  step_exe "$label" "VARIANT and SAFEARRAY conversions" "$loader" "$build/tests/wine/com_bridge_test.exe"
  step_exe "$label" "the private record file" "$loader" "$build/tests/wine/private_file_test.exe"
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

  drop_prefix
}

not() { ! "$@"; }

# The DLL on file: its format, the five entry points and the version resource
# with the version the build stamps.
check_exports() {
  local arch=$1 dll=$2 dump
  pe_dump "$arch" "$dll" DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer \
    DllUnregisterServer || return 1
  # Resource type 16 is the version information.
  sed -n '/Resource Directory section/,$p' <<<"$dump" | grep -q 'Entry: ID: 0x000010,' ||
    { echo "no version resource"; return 1; }
  local texts
  texts=$(strings -el "$dll")
  grep -qx 'VS_VERSION_INFO' <<<"$texts" && grep -qxF -- "$FR_VERSION" <<<"$texts" ||
    { echo "the version resource does not carry $FR_VERSION"; return 1; }
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
  fremu_journal --receipts "$runs" --sign "$sign" --shift "$shift_number" --check-package \
    --kinds shift_open receipt shift_close --times "$runs" --channel "$channel" || return 1
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
