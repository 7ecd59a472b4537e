#!/usr/bin/env bash
# scripts/test-all.sh over a makefile of stand-in stages: every stage runs even
# after one fails, the table names each with its result, skip lines are counted,
# and the status says whether any failed.
#
#   test_all_test.sh CASE   runs one case
set -u

here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/fr-test-all.XXXXXX")
trap 'rm -rf "$work"' EXIT
cat >"$work/Makefile" <<'MK'
good:
	@echo good ran >>ran
bad:
	@echo bad ran >>ran; exit 3
skips:
	@echo skips ran >>ran; echo "wine: skipped x86: the 32-bit loader does not start"
reads:
	@read -r line; echo "reads got '$$line'" >>ran
MK

# Each case's stage logs in a folder of its own: cases run side by side, and a
# FR_TEST_LOG_DIR of the run around them would be shared.
run() {
  (cd "$work" && FR_TEST_LOG_DIR="$work/logs" MAKE=make timeout 60 \
    bash "$here/scripts/test-all.sh" "$@") >"$work/out" 2>&1
}
problems=()
expect() { "$@" || problems+=("expected: $*"); }
row() { grep -qE "^$1 +$2" "$work/out"; }

case_every_stage_runs_after_a_failure() {
  run good bad skips good
  expect [ $? -ne 0 ]
  expect [ "$(cat "$work/ran" | tr '\n' ,)" = "good ran,bad ran,skips ran,good ran," ]
  expect row good passed
  expect row bad FAILED
  expect row skips 'passed +[0-9]+\.[0-9] +1 skipped'
  expect grep -q '^total ' "$work/out"
  expect grep -q 'wine: skipped x86: the 32-bit loader does not start' "$work/out"
  expect [ "$(tail -n 1 "$work/out")" = "stages: 3 passed, 1 failed" ]
}

case_all_passing_exits_zero() {
  run good skips
  expect [ $? -eq 0 ]
  expect [ "$(tail -n 1 "$work/out")" = "stages: 2 passed, 0 failed" ]
}

case_a_stage_gets_no_standard_input() {
  echo "typed" | run reads
  expect [ $? -eq 0 ]
  expect [ "$(cat "$work/ran")" = "reads got ''" ]
}

case_no_stage_is_a_usage_error() {
  run
  expect [ $? -eq 2 ]
}

"case_$1"
if [[ ${#problems[@]} -eq 0 ]]; then echo "ok   $1"; exit 0; fi
echo "FAIL $1"; printf '     %s\n' "${problems[@]}"; sed 's/^/     | /' "$work/out"
exit 1
