#!/usr/bin/env bash
# The Windows DLLs under Wine, as the host platform meets them: each one is
# registered with regsvr32 in a fresh prefix, driven through real COM by the
# client of tests/wine (created by its programmatic identifier), checked in the
# registry and the log, and unregistered; then registered per user (/n /i:user),
# checked in the registry and unregistered. (Wine's COM looks classes up only
# per machine, so the client is not run against the per-user registration.)
# Ends with one line: "wine: N passed, M failed". Exit status 0 only when nothing failed.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
build32=${FR_WIN32_BUILD_DIR:-$here/build/win32}
build64=${FR_WIN64_BUILD_DIR:-$here/build/win64}
scenario=$here/tests/wine/scenario.txt

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

cleanup() {
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

loader_for() {
  case $1 in
    win64) command -v wine64 || { [[ -x /usr/lib/wine/wine64 ]] && echo /usr/lib/wine/wine64; } ;;
    win32) command -v wine ;;
  esac
}

run_bitness() {
  local arch=$1 build=$2 label=$3
  local loader
  loader=$(loader_for "$arch")
  if [[ -z $loader ]]; then
    skipped+=("$label: no Wine loader for $arch")
    return
  fi
  # A kernel without 32-bit support cannot start Wine's 32-bit loader at all.
  if ! "$loader" --version >/dev/null 2>&1; then
    skipped+=("$label: this machine cannot run $loader")
    return
  fi
  local dll=$build/com/fr_norvane1c83.dll client=$build/tests/wine/com_client.exe
  if [[ ! -f $dll || ! -f $client ]]; then
    fail "$label: built DLL and client (run the $arch build first)"
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
  cp "$dll" "$client" "$scenario" "$dir/"
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
