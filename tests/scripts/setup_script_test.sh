#!/usr/bin/env bash
# scripts/setup.sh against a stand-in apt: dpkg, dpkg-query, apt-get and the Wine
# loaders are small scripts on PATH that answer from files and record every call,
# so the decisions (what is asked for, what is refused, what is left out) are seen
# without touching the machine's packages.
#
#   setup_script_test.sh CASE   runs one case; without CASE, every case
set -u

here=$(cd "$(dirname "$0")/../.." && pwd)
setup=$here/scripts/setup.sh

# ---- The stand-in tools.

make_fakes() {
  fake=$(mktemp -d "${TMPDIR:-/tmp}/fr-setup-test.XXXXXX")
  mkdir -p "$fake/bin" "$fake/wine" "$fake/deps" "$fake/sources"
  : >"$fake/installed"
  : >"$fake/foreign"
  : >"$fake/calls"
  : >"$fake/removes"
  cat >"$fake/bin/dpkg-query" <<'SH'
#!/usr/bin/env bash
# Answers -W -f='${binary:Package} ${Status}\n' for each package named.
status=0
for pkg in "$@"; do
  [[ $pkg == -* ]] && continue
  if grep -qxF -- "$pkg" "$FAKE/installed"; then
    echo "$pkg install ok installed"
  else
    echo "dpkg-query: no packages found matching $pkg" >&2
    status=1
  fi
done
exit $status
SH
  cat >"$fake/bin/dpkg" <<'SH'
#!/usr/bin/env bash
echo "dpkg $*" >>"$FAKE/calls"
case $1 in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) cat "$FAKE/foreign" ;;
  --add-architecture) echo "$2" >>"$FAKE/foreign" ;;
esac
SH
  # Simulation: "Inst" for each package, "Remv" for each line of removes when the
  # call names wine32:i386 (the resolver that makes room by removing), an error
  # for any package listed in broken.
  cat >"$fake/bin/apt-get" <<'SH'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE/calls"
[[ $1 == update ]] && exit "${FAKE_UPDATE_STATUS:-0}"
[[ $1 == source ]] && exit 0
simulate=0 pin=""
pkgs=()
shift
while [[ $# -gt 0 ]]; do
  case $1 in
    -s) simulate=1 ;;
    -t) pin=$2; shift ;;
    -*) ;;
    *) pkgs+=("$1") ;;
  esac
  shift
done
for p in "${pkgs[@]}"; do
  if grep -qxF -- "$p${pin:+@$pin}" "$FAKE/broken" 2>/dev/null || grep -qxF -- "$p" "$FAKE/broken" 2>/dev/null; then
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
if [[ $simulate -eq 1 ]]; then
  for p in "${pkgs[@]}"; do echo "Inst $p (1.0 Debian:12)"; done
  if printf '%s\n' "${pkgs[@]}" | grep -qx 'wine32:i386'; then
    while read -r r; do [[ -n $r ]] && echo "Remv $r [1.0]"; done <"$FAKE/removes"
  fi
  exit 0
fi
printf '%s\n' "${pkgs[@]}" >>"$FAKE/installed"
SH
  printf '#!/bin/sh\nexec "$@"\n' >"$fake/bin/sudo"
  printf '#!/bin/sh\necho wine-8.0\n' >"$fake/wine/wine64"
  printf '#!/bin/sh\necho wine-8.0\n' >"$fake/wine/wine"
  chmod +x "$fake/bin/"* "$fake/wine/"*
  mkdir -p "$fake/deps/pugixml-1.13/src"
  : >"$fake/deps/pugixml-1.13/src/pugixml.cpp"
}

demo_list=(cmake ninja-build make g++ libpugixml-dev nlohmann-json3-dev libgtest-dev libgmock-dev python3
  libcpp-httplib-dev libqrencode-dev)
full_list=(clang libclang-rt-14-dev lld clang-format clang-tidy libbenchmark-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 libwine:amd64
  dpkg-dev zip valgrind ccache chromium zbar-tools fonts-dejavu-core)

have() { printf '%s\n' "$@" >>"$fake/installed"; }

# run_setup <profile>: the script against the stand-ins; output in $fake/out.
run_setup() {
  FAKE=$fake PATH=$fake/bin:$PATH FR_DEPS_DIR=$fake/deps FR_APT_SOURCES_DIR=$fake/sources \
    FR_WINE_LIB_DIR=$fake/wine FR_SETUP_UPDATE_PAUSE=0 \
    timeout 60 bash "$setup" "$1" >"$fake/out" 2>&1
}

problems=()
expect() { "$@" || problems+=("expected: $*"); }
calls_match() { grep -qE -- "$1" "$fake/calls"; }
no_call() { ! grep -qE -- "$1" "$fake/calls"; }
said() { grep -qF -- "$1" "$fake/out"; }
is_installed() { grep -qxF -- "$1" "$fake/installed"; }

# ---- The cases.

case_demo_present_asks_nothing() {
  have "${demo_list[@]}"
  run_setup demo
  expect [ $? -eq 0 ]
  expect no_call '^apt-get'
  expect [ ! -s "$fake/out" ]
}

case_demo_installs_only_its_own() {
  have cmake make g++ python3
  run_setup demo
  expect [ $? -eq 0 ]
  expect calls_match '^apt-get update'
  expect calls_match '^apt-get install -y -qq --no-install-recommends ninja-build libpugixml-dev nlohmann-json3-dev libgtest-dev libgmock-dev libcpp-httplib-dev libqrencode-dev$'
  expect no_call 'mingw|wine|clang|i386'
  expect no_call '^dpkg --add-architecture'
  expect no_call '^apt-get source'
  expect [ -z "$(ls "$fake/sources")" ]
}

case_full_present_asks_nothing() {
  have "${demo_list[@]}" "${full_list[@]}" wine32:i386 libwine:i386
  # Debian 11's C library unpacked by an earlier run.
  mkdir -p "$fake/deps/bullseye-root" && touch "$fake/deps/bullseye-root/.complete"
  run_setup full
  expect [ $? -eq 0 ]
  expect no_call '^apt-get'
  expect [ ! -s "$fake/out" ]
}

# The resolver makes room for the 32-bit loader by removing the 64-bit one: that
# plan is never carried out, and wine32 is left out with one line.
case_full_refuses_a_plan_that_removes_wine64() {
  have "${demo_list[@]}" "${full_list[@]}"
  printf '%s\n' wine64 libwine:amd64 >"$fake/removes"
  run_setup full
  expect [ $? -eq 0 ]
  expect calls_match '^apt-get install -s .*-t bookworm wine wine64 libwine:amd64 wine32:i386 libwine:i386'
  expect no_call '^apt-get install -y -qq'
  expect is_installed wine64
  expect [ "$(grep -c 'wine32:i386 left out' "$fake/out")" -eq 1 ]
  expect said 'apt would remove wine64 libwine:amd64'
  expect said 'the 32-bit Wine pass will be skipped'
  # The next run does not try again the same day, and asks nothing.
  : >"$fake/calls"
  run_setup full
  expect [ $? -eq 0 ]
  expect no_call '^apt-get'
}

case_full_leaves_out_an_uninstallable_wine32() {
  have "${demo_list[@]}" "${full_list[@]}"
  echo wine32:i386 >"$fake/broken"
  FAKE_UPDATE_STATUS=100 run_setup full
  expect [ $? -eq 0 ]
  expect [ "$(grep -c '^apt-get update' "$fake/calls")" -eq 3 ]
  expect said 'wine32:i386 left out (Unable to correct problems'
  expect no_call '^apt-get install -y -qq'
  expect grep -q 'Unable to correct problems' "$fake/deps/wine32-left-out"
}

# A fresh machine: both bitnesses named in one pinned call, then the rest.
case_full_installs_both_bitnesses_together() {
  have "${demo_list[@]}"
  run_setup full
  expect [ $? -eq 0 ]
  expect calls_match '^dpkg --add-architecture i386'
  expect calls_match '^apt-get install -y -qq --no-install-recommends -t bookworm wine wine64 libwine:amd64 wine32:i386 libwine:i386$'
  expect no_call '^apt-get install -y -qq --no-install-recommends clang.* wine '
  expect calls_match '^apt-get install -y -qq --no-install-recommends clang .*valgrind ccache chromium zbar-tools fonts-dejavu-core$'
  expect is_installed wine32:i386
  expect is_installed zip
  expect [ ! -e "$fake/deps/wine32-left-out" ]
}

# When the pinned call cannot be solved, the unpinned one is tried.
case_full_falls_back_to_the_unpinned_call() {
  have "${demo_list[@]}" "${full_list[@]}"
  echo 'wine32:i386@bookworm' >"$fake/broken"
  run_setup full
  expect [ $? -eq 0 ]
  expect calls_match '^apt-get install -y -qq --no-install-recommends wine wine64 libwine:amd64 wine32:i386 libwine:i386$'
  expect is_installed wine32:i386
}

case_full_fails_when_a_required_package_cannot_be_installed() {
  have "${demo_list[@]}" wine32:i386
  echo clang >"$fake/broken"
  run_setup full
  expect [ $? -ne 0 ]
  expect said 'cannot install clang'
  expect no_call '^apt-get install -y -qq'
}

case_full_reports_a_32bit_loader_that_does_not_start() {
  have "${demo_list[@]}" "${full_list[@]}"
  printf '#!/bin/sh\nexit 126\n' >"$fake/wine/wine"
  run_setup full
  expect [ $? -eq 0 ]
  expect is_installed wine32:i386
  expect said 'the 32-bit Wine loader'
  expect said 'does not start on this machine'
}

case_full_fails_when_the_64bit_loader_does_not_start() {
  have "${demo_list[@]}" "${full_list[@]}"
  printf '#!/bin/sh\nexit 1\n' >"$fake/wine/wine64"
  run_setup full
  expect [ $? -ne 0 ]
  expect said '64-bit Wine loader'
}

case_unknown_profile_is_refused() {
  run_setup everything
  expect [ $? -eq 2 ]
  expect no_call '^apt-get'
}

# ---- The runner.

run_case() {
  make_fakes
  problems=()
  "case_$1"
  if [[ ${#problems[@]} -eq 0 ]]; then
    echo "ok   $1"
    rm -rf "$fake"
    return 0
  fi
  echo "FAIL $1"
  printf '     %s\n' "${problems[@]}"
  echo "     output:"; sed 's/^/       /' "$fake/out"
  echo "     calls:"; sed 's/^/       /' "$fake/calls"
  rm -rf "$fake"
  return 1
}

if [[ $# -gt 0 ]]; then
  run_case "$1"
  exit
fi
passed=0 failed=0
for c in $(declare -F | sed -n 's/^declare -f case_//p'); do
  if run_case "$c"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "setup: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
