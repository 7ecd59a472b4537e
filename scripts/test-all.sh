#!/usr/bin/env bash
# make test: runs each stage (a make target) in the order given, every one even
# when an earlier one failed, and ends with one table: stage, result, minutes.
# Exit status 0 only when every stage passed.
#
#   scripts/test-all.sh STAGE...
#
# A stage's lines of the form "<word>: skipped <why>" are counted in its row.
# FR_TEST_LOG_DIR keeps each stage's output there (default: a temporary folder,
# removed at the end).
set -u

if [[ $# -eq 0 ]]; then
  echo "usage: $0 STAGE..." >&2
  exit 2
fi
make=${MAKE:-make}
logs=${FR_TEST_LOG_DIR:-}
keep=1
if [[ -z $logs ]]; then
  logs=$(mktemp -d "${TMPDIR:-/tmp}/fr-test.XXXXXX")
  keep=0
fi
mkdir -p "$logs"

names=() results=() minutes=() notes=()
passed=0 failed=0
run_start=$(date +%s)
for stage in "$@"; do
  echo "==== $stage"
  start=$(date +%s)
  log=$logs/$stage.log
  # No standard input: a stage that would wait for it fails instead of hanging.
  "$make" --no-print-directory "$stage" </dev/null 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  seconds=$(($(date +%s) - start))
  skipped=$(grep -cE '^[A-Za-z0-9_-]+: skipped ' "$log")
  names+=("$stage")
  minutes+=("$(printf '%d.%d' $((seconds / 60)) $((seconds % 60 * 10 / 60)))")
  if [[ $status -eq 0 ]]; then
    results+=(passed)
    passed=$((passed + 1))
  else
    results+=(FAILED)
    failed=$((failed + 1))
  fi
  if [[ $skipped -gt 0 ]]; then notes+=("$skipped skipped"); else notes+=(""); fi
done
total=$(($(date +%s) - run_start))

echo
printf '%-16s %-12s %7s  %s\n' stage result minutes ""
printf '%-16s %-12s %7s  %s\n' ---------------- ------------ ------- ""
for i in "${!names[@]}"; do
  printf '%-16s %-12s %7s  %s\n' "${names[$i]}" "${results[$i]}" "${minutes[$i]}" "${notes[$i]}"
done
printf '%-16s %-12s %7s\n' total "" "$(printf '%d.%d' $((total / 60)) $((total % 60 * 10 / 60)))"
for i in "${!names[@]}"; do
  [[ -n ${notes[$i]} ]] && grep -E '^[A-Za-z0-9_-]+: skipped ' "$logs/${names[$i]}.log" | sed 's/^/  /'
done
[[ $keep -eq 1 ]] && echo "stage output: $logs" || rm -rf "$logs"
echo "stages: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
