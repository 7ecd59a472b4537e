#!/usr/bin/env bash
# The shipped Linux library on an older system: Debian 11's C library (glibc
# 2.31, unpacked by `scripts/setup.sh full` into .deps/bullseye-root) and its own
# loader, which runs the host of tests/native (linked as the library is) with no
# file of this machine's C library in reach (--inhibit-cache, the root's folders
# only) and every symbol bound at load (LD_BIND_NOW=1). Checks: the library's
# floor (glibc 2.28); the root's C library is 2.31; the library and the host
# resolve inside the root; the native build's library, linked against this
# machine's glibc, fails the floor check and is refused in the root (so both
# do tell); the working day
# (tests/native/working_day.py: outputs, the refused receipt thrown and caught
# inside, GetLastError, journal, tape, log) in the root, then on this machine.
# Builds the native-old-glibc preset first. Without the root (setup could not
# make it) a skip line says why.
# Ends with one line: "old-glibc: N passed, M failed". Exit status 0 only when nothing failed.
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
deps=${FR_DEPS_DIR:-$here/.deps}
root=${FR_GLIBC_ROOT:-$deps/bullseye-root}
note=$deps/bullseye-root-left-out
build=${FR_OLD_GLIBC_BUILD_DIR:-$here/build/native-old-glibc}
native=${FR_NATIVE_BUILD_DIR:-$here/build/native}
lib=$build/release/fr_norvane1c83_lin_x64.so
host=$build/tests/native/native_host
fremu=$native/tools/fremu/fremu
newer_lib=$native/native/fr_norvane1c83_lin_x64.so

if [[ ! -f $root/.complete ]]; then
  why="no Debian 11 C library in $root"
  [[ -f $note ]] && why="$why: $(cat "$note")"
  echo "old-glibc: skipped the older-system run ($why; scripts/setup.sh full makes it)"
  exit 0
fi

passed=0
failed=0
work=$(mktemp -d "${TMPDIR:-/tmp}/fr-old-glibc.XXXXXX")
trap 'rm -rf "$work"' EXIT
pass() { passed=$((passed + 1)); echo "  ok   $1"; }
fail() { failed=$((failed + 1)); echo "  FAIL $1"; [[ -n ${2:-} ]] && sed 's/^/       /' "$2"; }
step() {
  local name=$1
  shift
  if "$@" >"$work/out" 2>&1; then pass "$name"; else fail "$name" "$work/out"; fi
}

if ! { cmake --preset native-old-glibc >/dev/null && cmake --build --preset native-old-glibc; } >"$work/build" 2>&1; then
  fail "the native-old-glibc build" "$work/build"
  echo "old-glibc: $passed passed, $failed failed"
  exit 1
fi
grep '^glibc floor:' "$work/build" | sed 's/^/  /'
for f in "$lib" "$host" "$fremu"; do
  if [[ ! -f $f ]]; then
    fail "built: $f (the native build makes fremu)"
    echo "old-glibc: $passed passed, $failed failed"
    exit 1
  fi
done

loader=$root/lib64/ld-linux-x86-64.so.2
libs=$root/lib/x86_64-linux-gnu:$root/usr/lib/x86_64-linux-gnu
# in_root <program> <args...>: run by the root's loader, with the root's libraries only.
in_root() { LD_BIND_NOW=1 "$loader" --inhibit-cache --library-path "$libs" "$@"; }

step "the shipped library asks for glibc 2.28 at most" bash "$here/scripts/glibc-floor.sh" "$lib"
grep -h '^glibc floor' "$work/out" | sed 's/^/       /'
step "the host is linked for the same floor" bash "$here/scripts/glibc-floor.sh" "$host"

root_version() { in_root "$root/lib/x86_64-linux-gnu/libc.so.6" | head -n1 | tee /dev/stderr | grep -q 'version 2\.31\.'; }
step "the root's C library is glibc 2.31" root_version
sed 's/^/       /' "$work/out"

# Every object the library and the host need is found inside the root.
resolves_inside() {
  local file=$1 listing
  listing=$(in_root --list "$file") || return 1
  echo "$listing"
  ! grep '=>' <<<"$listing" | grep -v "=> $root/" | grep -q .
}
step "the library resolves inside the root" resolves_inside "$lib"
step "the host resolves inside the root" resolves_inside "$host"

# The library of the native build asks for this machine's glibc: the root refuses it.
newer_refused() {
  local status=0
  echo '{"raw":"GetInfo"}' | FR_COMMON_APPDATA=$work in_root "$host" "$newer_lib" >"$work/newer" 2>&1 || status=$?
  cat "$work/newer"
  [[ $status -ne 0 ]] && grep -q "version \`GLIBC_2\.3[0-9]' not found" "$work/newer"
}
# The check itself fails on that library, naming what it asks of newer releases.
floor_refuses() { ! bash "$here/scripts/glibc-floor.sh" "$newer_lib"; }
if [[ -f $newer_lib ]]; then
  step "the floor check refuses the native build's library" floor_refuses
  grep -c '^  .* (GLIBC_2\.[0-9]*)$' "$work/out" | sed 's/^/       symbols named: /'
  step "the native build's library is refused in the root" newer_refused
  grep -o "version \`GLIBC_[0-9.]*' not found" "$work/out" | head -n1 | sed 's/^/       /'
fi

day() {
  local label=$1
  shift
  step "$label: working day through the library" python3 "$here/tests/native/working_day.py" \
    --label "$label" --fremu "$fremu" --examples "$here/examples" --log-dir "{data}/fr_norvane1c83" \
    env FR_COMMON_APPDATA="{data}" FR_NO_MESSAGE_BOX=1 LD_BIND_NOW=1 "$@"
  grep -h 'host ran\| failed$' "$work/out" | sed 's/^/       /'
}
day "debian 11 root" "$loader" --inhibit-cache --library-path "$libs" "$host" "$lib"
day "this machine" "$host" "$lib"

echo "old-glibc: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
