#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz", clang with libFuzzer and the sanitizers)
# and runs each on a copy of its seed corpus for SECONDS (default 20). A crash,
# a sanitizer report, a leak or a stuck input fails the run; the input is left
# in build/fuzz/findings/<target>/ to be kept as a regression test.
#
#   scripts/fuzz.sh [SECONDS]
set -uo pipefail

seconds="${1:-20}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"
targets=(fuzz_answer fuzz_log_text fuzz_settings_file fuzz_host_params fuzz_host_xml)

cd "$root" && cmake --preset fuzz >/dev/null || exit 1
cmake --build "$build" --target "${targets[@]}" -j2 || exit 1

work="$(mktemp -d "${TMPDIR:-/tmp}/fr_fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# Settings files and the log go to a private folder, never to a system one; in
# memory when the system has such a folder, as every settings write is synced.
data_base="$work"
[ -d /dev/shm ] && [ -w /dev/shm ] && data_base="/dev/shm"
export FR_COMMON_APPDATA="$(mktemp -d "$data_base/fr_fuzz_data.XXXXXX")"
trap 'rm -rf "$work" "$FR_COMMON_APPDATA"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

passed=0
failed=0
for target in "${targets[@]}"; do
  corpus="$work/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  cp -r "$root/fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
  kept="$root/tests/fuzz_regressions/inputs/$target"
  [ -d "$kept" ] && cp -r "$kept/." "$corpus/"
  log="$build/findings/$target.log"
  echo "fuzz: $target for ${seconds}s"
  # -timeout: one input may take this long before it counts as stuck.
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
    passed=$((passed + 1))
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^/  /"
  else
    failed=$((failed + 1))
    echo "fuzz: $target FAILED, see $log" >&2
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -5 >&2
  fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
