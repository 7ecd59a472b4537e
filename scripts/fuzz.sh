#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz", clang with libFuzzer and the sanitizers)
# and runs each on a copy of its seed corpus and the kept findings, FUZZ_JOBS
# targets at a time (default one). A crash, a sanitizer report, a leak or a stuck input fails the run; the
# input is left in <build>/findings/<target>/ to be kept as a regression test in
# tests/fuzz_regressions/inputs/<target>/.
#
#   scripts/fuzz.sh [SECONDS]      each target for SECONDS (default 20)
#
# Environment:
#   FUZZ_RUNS=N        each target for N executions instead of a time
#                      (FUZZ_RUNS=1000000 is the documented long run)
#   FUZZ_TARGETS="a b" only these targets (default: all five)
#   FUZZ_BUILD_DIR=dir build folder (default build/fuzz)
#   FUZZ_CORPUS_DIR=dir keep the grown corpora there (default: a temporary folder)
#   FUZZ_NICE=N        run the targets at this niceness (default 0)
#   FUZZ_SEED=N        the fuzzer's random seed (default: a new one each run)
#   FUZZ_JOBS=N        this many targets at once (default 1)
set -uo pipefail

seconds="${1:-20}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi
runs="${FUZZ_RUNS:-}"
if [ -n "$runs" ] && ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz: FUZZ_RUNS must be a positive count" >&2
  exit 2
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build/fuzz}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
all_targets=(fuzz_answer fuzz_log_text fuzz_settings_file fuzz_host_params fuzz_host_xml)
read -r -a targets <<<"${FUZZ_TARGETS:-${all_targets[*]}}"

cd "$root" && cmake --preset fuzz -B "$build" >/dev/null || exit 1
cmake --build "$build" --target "${targets[@]}" -j2 || exit 1

work="$(mktemp -d "${TMPDIR:-/tmp}/fr_fuzz.XXXXXX")"
# Settings files and the log go to a private folder, never to a system one; in
# memory when the system has such a folder, as every settings write is synced.
data_base="$work"
[ -d /dev/shm ] && [ -w /dev/shm ] && data_base="/dev/shm"
export FR_COMMON_APPDATA="$(mktemp -d "$data_base/fr_fuzz_data.XXXXXX")"
trap 'rm -rf "$work" "$FR_COMMON_APPDATA"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

if [ -n "$runs" ]; then
  limit=(-runs="$runs")
  echo "fuzz: ${#targets[@]} target(s), $runs executions each"
else
  limit=(-max_total_time="$seconds")
fi

# run_target <target>: one target; its report goes to <build>/findings/<target>.report
# and its status is the run's.
run_target() {
  local target=$1
  local corpus="${FUZZ_CORPUS_DIR:-$work/corpus}/$target"
  local findings="$build/findings/$target"
  local report="$build/findings/$target.report"
  mkdir -p "$corpus" "$findings"
  cp -r "$root/fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
  local kept="$root/tests/fuzz_regressions/inputs/$target"
  [ -d "$kept" ] && cp -r "$kept/." "$corpus/"
  local log="$build/findings/$target.log"
  # A folder of its own: targets that run side by side must not share settings files.
  local data="$FR_COMMON_APPDATA/$target"
  mkdir -p "$data"
  if [ -n "$runs" ]; then echo "fuzz: $target for $runs executions"; else
    echo "fuzz: $target for ${seconds}s"; fi >"$report"
  local flags=()
  # The XML target keeps emulator threads alive between inputs, and the leak check
  # after a single input has reported their live link buffers as lost (once in
  # some 200,000 inputs, never again on replay). Its leaks are checked once, at
  # exit, after the sessions and their threads are gone.
  [ "$target" = fuzz_host_xml ] && flags+=(-detect_leaks=0)
  [ -n "${FUZZ_SEED:-}" ] && flags+=(-seed="$FUZZ_SEED")
  # -timeout: one input may take this long before it counts as stuck.
  if FR_COMMON_APPDATA="$data" nice -n "${FUZZ_NICE:-0}" "$build/fuzz/$target" "${limit[@]}" -timeout=25 \
      -rss_limit_mb=4096 -max_len=4096 -print_final_stats=1 -artifact_prefix="$findings/" \
      "${flags[@]}" "$corpus" >"$log" 2>&1; then
    {
      # The closing figures: executions, rate, peak memory, and what the corpus grew to.
      grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" |
        sed "s/^/  /"
      grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n1 | grep -oE 'corp: [^ ]+' | sed "s/^/  /"
      echo "  seconds: $(grep -oE 'Done [0-9]+ runs in [0-9]+ second' "$log" | grep -oE '[0-9]+ second' |
        grep -oE '[0-9]+')"
    } >>"$report"
    return 0
  fi
  {
    echo "fuzz: $target FAILED, see $log"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -5
  } >>"$report"
  return 1
}

# FUZZ_JOBS targets at a time: each is one process on one core, so on an
# otherwise idle machine every target gets the time it would get alone.
jobs_at_once="${FUZZ_JOBS:-1}"
[[ "$jobs_at_once" =~ ^[1-9][0-9]*$ ]] || jobs_at_once=1
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_at_once" ]; do wait -n || true; done
  rm -f "$build/findings/$target.status"
  (run_target "$target"; echo $? >"$build/findings/$target.status") &
done
wait

passed=0
failed=0
for target in "${targets[@]}"; do
  if [ "$(cat "$build/findings/$target.status" 2>/dev/null)" = 0 ]; then
    passed=$((passed + 1))
    cat "$build/findings/$target.report"
  else
    failed=$((failed + 1))
    cat "$build/findings/$target.report" >&2
  fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
