# What the Wine runs share; sourced with the run's name after `here` is set:
#   . "$here/scripts/wine-common.sh" NAME
# It provides the builds (build32, build64, fremu; FR_WIN32_BUILD_DIR,
# FR_WIN64_BUILD_DIR, FR_NATIVE_BUILD_DIR), Wine kept quiet and without message
# boxes, a work folder removed on exit with the emulator and the prefix's
# wineserver, the counters with pass/fail/step, the Wine loaders (loader_for),
# fresh prefixes (new_prefix, drop_prefix), test programs run there (step_exe),
# the PE file checks (pe_dump) and the register emulator (start_fremu, fremu_ask, fremu_journal, stop_fremu).
# shellcheck shell=bash disable=SC2034 # the variables are the sourcing script's

build32=${FR_WIN32_BUILD_DIR:-$here/build/win32}
build64=${FR_WIN64_BUILD_DIR:-$here/build/win64}
fremu=${FR_NATIVE_BUILD_DIR:-$here/build/native}/tools/fremu/fremu

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export FR_NO_MESSAGE_BOX=1

passed=0
failed=0
skipped=()
work=$(mktemp -d "${TMPDIR:-/tmp}/fr-$1.XXXXXX")
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

# loader_for <arch> [own]: the Wine loader of that bitness. For win32 that is the
# `wine` command, which falls back to the 64-bit loader when the 32-bit one is
# missing and so fails only at wineboot; `own` asks for the 32-bit loader itself.
loader_for() {
  case $1 in
    win64) command -v wine64 || { [[ -x $wine_lib/wine64 ]] && echo "$wine_lib/wine64"; } ;;
    win32)
      if [[ ${2:-} == own ]]; then
        [[ -x $wine_lib/wine ]] && echo "$wine_lib/wine"
      else
        command -v wine
      fi
      ;;
  esac
}

# new_prefix <arch> <loader>: a fresh prefix of that bitness in the work folder,
# made the current one (WINEPREFIX, WINEARCH); wineboot's output in $work/boot.
new_prefix() {
  current_prefix=$work/prefix-$1
  export WINEPREFIX=$current_prefix WINEARCH=$1
  timeout 180 "$2" wineboot -i >"$work/boot" 2>&1
}

# Ends the current prefix's wineserver and removes the prefix.
drop_prefix() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$current_prefix"
  current_prefix=""
}

# step_exe <label> <check> <loader> <exe>: a test program of the build, copied to
# C:\fr of the current prefix and run there; the check fails when it is not built.
step_exe() {
  local label=$1 check=$2 loader=$3 exe=$4 name
  name=$(basename "$exe")
  if [[ -f $exe ]]; then
    cp "$exe" "$WINEPREFIX/drive_c/fr/"
    step "$label: $check" timeout 120 "$loader" "C:\\fr\\$name"
  else
    fail "$label: $name built"
  fi
}

# pe_dump <arch> <dll> <export...>: the DLL is a PE file of that bitness with these
# exports; leaves objdump's headers in `dump`.
pe_dump() {
  local arch=$1 dll=$2 objdump format name
  shift 2
  case $arch in
    win64) objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 ;;
    win32) objdump=i686-w64-mingw32-objdump format=pei-i386 ;;
  esac
  command -v "$objdump" >/dev/null || objdump=x86_64-w64-mingw32-objdump
  dump=$(timeout 60 "$objdump" -p "$dll") || { echo "$objdump failed"; return 1; }
  grep -q "file format $format\$" <<<"$dump" || { echo "not $format"; head -n 3 <<<"$dump"; return 1; }
  for name in "$@"; do
    grep -qE "^[[:space:]]*\[ *[0-9]+\] $name\$" <<<"$dump" || { echo "no export $name"; return 1; }
  done
}

# ---- The register emulator.

# start_fremu <dir>: the emulator on a free TCP port and a pseudo-terminal, with
# its state and tape in <dir>; sets fremu_port, fremu_pty, fremu_control.
start_fremu() {
  local dir=$1 where
  mkdir -p "$dir"
  # The outer time-out only guards against a run that never ends.
  timeout 900 "$fremu" --port 0 --pty --control-port 0 --no-stdin \
    --state "$dir/register.json" --tape "$dir/tape.txt" >"$dir/fremu.out" 2>"$dir/fremu.err" &
  fremu_pid=$!
  where=$(python3 "$here/scripts/fremu.py" where --pid "$fremu_pid" "$dir/fremu.out" \
    tcp.port pty control.port) || { echo "the emulator did not start"; cat "$dir/fremu.err"; return 1; }
  head -n 1 "$dir/fremu.out"
  read -r fremu_port fremu_pty fremu_control <<<"$where"
  [[ -n $fremu_control && -e $fremu_pty ]]
}

# fremu_ask <json>: one control request; prints the reply line.
fremu_ask() {
  timeout 20 python3 "$here/scripts/fremu.py" ask "$fremu_control" "$1"
}

# fremu_journal <option...>: the emulator's documents as the run expects them
# (scripts/fremu.py journal --help).
fremu_journal() {
  timeout 60 python3 "$here/scripts/fremu.py" journal "$fremu_control" "$@"
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
