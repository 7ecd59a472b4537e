#!/usr/bin/env bash
# The end-to-end test programs of the native build under Valgrind's memcheck:
# every invalid access, use of an uninitialised value and every definite or
# indirect leak fails the run. (The AddressSanitizer suite of `make test` checks
# leaks too; this is the second, independent opinion.)
#
#   scripts/memcheck.sh [BUILD_DIR]     default build/native
#
# Ends with one line: "memcheck: N passed, M failed".
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/native}"
# The programs that drive the driver end to end, and the links and device under them.
programs=(driver documents frhost fault_matrix transport device host equipment emulator)

work="$(mktemp -d "${TMPDIR:-/tmp}/fr_memcheck.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export FR_COMMON_APPDATA="$work/data"
mkdir -p "$FR_COMMON_APPDATA"

passed=0
failed=0
for name in "${programs[@]}"; do
  for program in "$build/tests/$name"/*_tests; do
    [ -x "$program" ] || continue
    log="$work/$(basename "$program").log"
    # The program tests of the emulator start the fremu binary by a path CTest
    # hands them; they are covered by the emulator's in-process tests here.
    filter='-EmulatorProgram.*'
    start=$(date +%s)
    if valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect \
        --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
        "$program" --gtest_filter="$filter" >"$log" 2>&1; then
      passed=$((passed + 1))
      echo "memcheck: $(basename "$program") clean ($(( $(date +%s) - start )) s," \
        "$(grep -c '^\[       OK \]' "$log" || true) tests)"
    else
      failed=$((failed + 1))
      echo "memcheck: $(basename "$program") FAILED" >&2
      grep -E '==[0-9]+==|FAILED' "$log" | head -40 >&2
    fi
  done
done

echo "memcheck: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
