#!/usr/bin/env bash
# The Native API DLLs under Wine, as the platform meets them: each one on file
# (its format, its five plain exports, no runtime DLL beside the system's), then
# loaded alone from a folder of its own by the host of tests/native in a fresh
# prefix, which runs a working day against the register emulator
# (tests/native/working_day.py: outputs, GetLastError, journal, tape, log); and
# the same adapter built with the Linux table layout must be refused clearly.
# Without a Wine loader for a bitness (the 32-bit one needs kernel support) that
# DLL is checked on file only and a skip line says why.
# Ends with one line: "native: N passed, M failed". Exit status 0 only when nothing failed.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-common.sh" native

# The DLL on file: its format, the five exports by their plain names, and no
# import but the system's own DLLs.
check_file() {
  local arch=$1 dll=$2 dump
  pe_dump "$arch" "$dll" GetClassNames GetClassObject DestroyObject SetPlatformCapabilities \
    GetAttachType || return 1
  local imports
  imports=$(grep -o 'DLL Name: .*' <<<"$dump" | sed 's/DLL Name: //' | tr 'A-Z' 'a-z' | sort -u)
  echo "imports:" $imports
  local dll_name
  for dll_name in $imports; do
    case $dll_name in
      kernel32.dll | user32.dll | advapi32.dll | shell32.dll | version.dll | ws2_32.dll | msvcrt.dll) ;;
      *) echo "imports $dll_name, which a cash desk may not have"; return 1 ;;
    esac
  done
}

# The adapter with the other ABI's table layout: the host refuses it and says why.
shifted_refused() {
  local loader=$1 dll=$2 status=0
  echo '{"raw":"GetInfo"}' | timeout 60 "$loader" 'C:\fr\host\native_host.exe' "$dll" >"$work/shifted.out" 2>"$work/shifted.err" || status=$?
  cat "$work/shifted.out" "$work/shifted.err"
  [[ $status -eq 1 ]] && grep -q 'GetInfo answered .* not laid out as the platform calls it' "$work/shifted.err"
}

run_bitness() {
  local arch=$1 build=$2 label=$3
  local name=fr_norvane1c83_win_$label
  local dll=$build/native/$name.dll host=$build/tests/native/native_host.exe
  local shifted=$build/tests/native/fr_native_shifted.dll
  if [[ ! -f $dll ]]; then
    fail "$label: built DLL (run the $arch build first)"
    return
  fi
  step "$label: format, plain exports, system imports only" check_file "$arch" "$dll"
  local loader
  loader=$(loader_for "$arch")
  if [[ -z $loader ]]; then
    skipped+=("$label: no Wine loader for $arch")
    return
  fi
  if ! "$loader" --version >/dev/null 2>&1; then
    skipped+=("$label: this machine cannot run $loader")
    return
  fi
  if [[ ! -f $host || ! -f $shifted ]]; then
    fail "$label: built host and shifted library (run the $arch build first)"
    return
  fi
  if [[ ! -x $fremu ]]; then
    fail "$label: register emulator built ($fremu)"
    return
  fi
  echo "native $label ($arch):"
  if ! new_prefix "$arch" "$loader"; then
    # A 32-bit loader that starts but cannot run programs fails here.
    if [[ $arch == win32 ]]; then
      skipped+=("$label: wineboot fails for $arch on this machine")
    else
      fail "$label: wineboot" "$work/boot"
    fi
    return
  fi
  local prefix=$WINEPREFIX
  # The library alone in its folder: nothing beside it to lean on.
  mkdir -p "$prefix/drive_c/fr/lib" "$prefix/drive_c/fr/host" "$prefix/drive_c/fr/shifted"
  cp "$dll" "$prefix/drive_c/fr/lib/"
  cp "$host" "$prefix/drive_c/fr/host/"
  cp "$shifted" "$prefix/drive_c/fr/shifted/"
  step "$label: working day through the DLL" python3 "$here/tests/native/working_day.py" \
    --label "$label" --fremu "$fremu" --examples "$here/examples" \
    --log-dir "$prefix/drive_c/ProgramData/fr_norvane1c83" \
    timeout 300 "$loader" 'C:\fr\host\native_host.exe' "C:\\fr\\lib\\$name.dll"
  grep -h 'host ran\| failed$' "$work/out" | sed 's/^/       /'
  step "$label: a shifted table is refused clearly" shifted_refused "$loader" 'C:\fr\shifted\fr_native_shifted.dll'
  drop_prefix
}

run_bitness win64 "$build64" x64
run_bitness win32 "$build32" x86

for s in "${skipped[@]}"; do echo "native: skipped $s"; done
echo "native: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
