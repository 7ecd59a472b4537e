#!/usr/bin/env bash
# frhost.exe under Wine, as a support engineer uses it at a Windows cash desk:
# for each bitness, in a fresh prefix, the component DLL is first loaded with
# --dll without registration, then registered with regsvr32 and created by its
# programmatic identifier; frhost drives a working day (shift, receipt from a
# file, status, X report, shift close) against the register emulator over TCP
# and over a COM port Wine maps to the emulator's pseudo-terminal, through the
# command line and the JSON lines; the emulator's journal must hold each
# document once, with the fiscal sign frhost printed. Clear errors at the door
# (no registration, no file, a misspelt method) are checked too.
# Ends with one line: "frhost-wine: N passed, M failed". Exit status 0 only when
# nothing failed; a bitness this machine cannot run prints a skip line.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-common.sh" frhost-wine
com_number=7

# ---- frhost.exe runs.

# fh <expected status> <stdout file> <arguments...>: frhost.exe in C:\fr, its
# standard error in <stdout file>.err; fails on another exit status.
fh() {
  local want=$1 out=$2
  shift 2
  (cd "$WINEPREFIX/drive_c/fr" && timeout 180 "$loader" 'C:\fr\frhost.exe' "$@" >"$out" 2>"$out.err")
  local status=$?
  cat "$out" "$out.err"
  [[ $status -eq $want ]] || { echo "exit status $status, expected $want"; return 1; }
}

# expect <file> <text...>: every text is in the file.
expect() {
  local file=$1 text
  shift
  for text in "$@"; do
    grep -qF -- "$text" "$file" || { echo "missing: $text"; return 1; }
  done
}

tcp_settings() {
  echo --set PortNumber=9999 --set IPAddress=127.0.0.1 --set "IPPort=$fremu_port"
}

without_registration() {
  local o=$work/o
  fh 1 "$o" GetLastError && expect "$o.err" "AddIn.fr_norvane1c83 is not registered" \
    "regsvr32 \"C:\\fr\\fr_norvane1c83.dll\"" "regsvr32 /n /i:user" "frhost --dll"
}

dll_without_registration() {
  local o=$work/o
  fh 0 "$o" --dll 'C:\fr\fr_norvane1c83.dll' GetDescription &&
    expect "$o" "GetDescription: true" "  [3] 2002" &&
    fh 0 "$o" --dll 'C:\fr\fr_norvane1c83.dll' $(tcp_settings) GetCurrentStatus 0 &&
    expect "$o" "GetCurrentStatus: true" "<StatusParameters>"
}

missing_dll() {
  local o=$work/o
  fh 1 "$o" --dll 'C:\fr\missing.dll' GetDescription && expect "$o.err" 'no file C:\fr\missing.dll'
}

# wrong_bitness <DLL of the other bitness>: --dll says which bitness to use.
wrong_bitness() {
  local o=$work/o
  cp "$1" "$WINEPREFIX/drive_c/fr/other-bitness.dll"
  fh 1 "$o" --dll 'C:\fr\other-bitness.dll' GetDescription &&
    expect "$o.err" "use the DLL of the same bitness"
}

door_errors() {
  local o=$work/o
  fh 2 "$o" ПолучитьТекущееСостояни && expect "$o.err" "nearest: ПолучитьТекущееСостояние" &&
    fh 2 "$o" --set IPPrt=1 GetLastError && expect "$o.err" "unknown setting IPPrt; nearest: IPPort"
}

# The working day on the command line, over TCP, with the registered component.
working_day() {
  local o=$work/o sign
  fh 0 "$o" $(tcp_settings) OpenShift 0 @input_parameters.xml &&
    expect "$o" "OpenShift: true" "<OutputParameters>" || return 1
  fh 0 "$o" --log - $(tcp_settings) ProcessCheck 0 false @check.xml &&
    expect "$o" "ProcessCheck: true" && expect "$o.err" "Start log" "TSocketDevice" || return 1
  sign=$(sed -n 's/^  \[5\] \([0-9]*\)\r*$/\1/p' "$o")
  [[ -n $sign ]] || { echo "no fiscal sign printed"; return 1; }
  fh 0 "$o" $(tcp_settings) GetCurrentStatus 0 && expect "$o" "GetCurrentStatus: true" "  [3] 2" ||
    return 1
  fh 0 "$o" $(tcp_settings) PrintXReport 0 @input_parameters.xml &&
    expect "$o" "PrintXReport: true" || return 1
  fh 0 "$o" $(tcp_settings) CloseShift 0 @input_parameters.xml &&
    expect "$o" "CloseShift: true" 'NumberOfChecks="1"' || return 1
  check_register "$sign" "shift_open receipt shift_close"
}

# The same component through JSON lines: a failing receipt carries the last error.
json_lines() {
  local o=$work/o
  python3 "$here/scripts/last_error_lines.py" requests "$fremu_port" >"$WINEPREFIX/drive_c/fr/requests.txt" ||
    return 1
  (cd "$WINEPREFIX/drive_c/fr" && timeout 180 "$loader" 'C:\fr\frhost.exe' <requests.txt >"$o" 2>&1)
  cat "$o"
  python3 "$here/scripts/last_error_lines.py" check "$o"
}

# An X report over a COM port that Wine maps to the emulator's pseudo-terminal.
over_com_port() {
  local o=$work/o
  ln -sfn "$fremu_pty" "$WINEPREFIX/dosdevices/com$com_number"
  fh 0 "$o" --set "PortNumber=$com_number" PrintXReport 0 @input_parameters.xml &&
    expect "$o" "PrintXReport: true"
  local status=$?
  rm -f "$WINEPREFIX/dosdevices/com$com_number"
  [[ $status -eq 0 ]] || return 1
  fremu_journal --channel pty
}

# check_register <fiscal sign> <kinds>: the emulator made these documents, in
# order, and the receipt frhost reported is there once.
check_register() {
  # shellcheck disable=SC2086 # the kinds are words
  fremu_journal --sign "$1" --kinds $2 --among-others
}

run_bitness() {
  local arch=$1 build=$2 label=$3 other_dll=$4
  local dll=$build/com/fr_norvane1c83.dll exe=$build/tools/frhost/frhost.exe
  loader=$(loader_for "$arch")
  if [[ -z $loader ]]; then
    skipped+=("$label: no Wine loader for $arch")
    return
  fi
  if [[ ! -f $dll || ! -f $exe ]]; then
    fail "$label: built frhost.exe and DLL (run the $arch build first)"
    return
  fi
  echo "frhost-wine $label ($arch):"
  if ! new_prefix "$arch" "$loader"; then
    # A kernel without 32-bit support cannot start Wine's 32-bit loader at all.
    if [[ $arch == win32 ]]; then
      skipped+=("$label: this machine cannot run 32-bit Wine ($(head -c 200 "$work/boot" | tr '\n' ' '))")
    else
      fail "$label: wineboot" "$work/boot"
    fi
    drop_prefix
    return
  fi
  local prefix=$WINEPREFIX
  mkdir -p "$prefix/drive_c/fr"
  cp "$dll" "$exe" "$here/examples/check.xml" "$here/examples/input_parameters.xml" "$prefix/drive_c/fr/"
  step_exe "$label" "frhost's VARIANT and SAFEARRAY conversions" "$loader" \
    "$build/tests/wine/frhost_ole_value_test.exe"
  if [[ ! -x $fremu ]] || ! start_fremu "$work/emulator-$label" >"$work/out" 2>&1; then
    fail "$label: register emulator started ($fremu)" "$work/out"
    return
  fi
  pass "$label: register emulator started"
  step "$label: without registration frhost says how to register" without_registration
  step "$label: --dll works without registration" dll_without_registration
  step "$label: --dll names a missing file" missing_dll
  if [[ -f $other_dll ]]; then
    step "$label: --dll with the other bitness's DLL says which to use" wrong_bitness "$other_dll"
  fi
  step "$label: regsvr32 (per machine)" timeout 60 "$loader" regsvr32 /s 'C:\fr\fr_norvane1c83.dll'
  step "$label: unknown names get the nearest ones" door_errors
  step "$label: working day by the programmatic identifier, over TCP" working_day
  step "$label: JSON lines; a false result carries the last error" json_lines
  step "$label: X report over COM$com_number" over_com_port
  step "$label: regsvr32 /u" timeout 60 "$loader" regsvr32 /s /u 'C:\fr\fr_norvane1c83.dll'
  step "$label: after unregistering frhost says so again" without_registration
  step "$label: register emulator stopped" stop_fremu
  drop_prefix
}

run_bitness win64 "$build64" x64 "$build32/com/fr_norvane1c83.dll"
run_bitness win32 "$build32" x86 "$build64/com/fr_norvane1c83.dll"

for s in "${skipped[@]}"; do echo "frhost-wine: skipped $s"; done
echo "frhost-wine: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
