#!/usr/bin/env bash
# Runs the benchmarks of the bench preset and writes docs/PERFORMANCE.md from what
# they measured. `make bench` configures and builds first; run alone, this script
# expects build/bench (or FR_BENCH_DIR) to be built. With FR_BENCH_BASE="COMMIT..."
# the page also sets those commits beside the work tree (scripts/bench-compare.sh).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build_dir="${FR_BENCH_DIR:-$here/build/bench}"
out_dir="$build_dir/results"
report="${FR_BENCH_REPORT:-$here/docs/PERFORMANCE.md}"
memory_sizes=(1 10 100 1000 10000)

for exe in bench/fr_bench_device bench/fr_bench_link bench/fr_bench_receipt bench/fr_bench_memory; do
  if [[ ! -x "$build_dir/$exe" ]]; then
    echo "bench: $build_dir/$exe is missing; run 'make bench'" >&2
    exit 1
  fi
done

rm -rf "$out_dir"
mkdir -p "$out_dir"
# Other work on the machine skews the timings; the page says how busy it was.
cut -d' ' -f1-3 /proc/loadavg >"$out_dir/loadavg_start"

echo "bench: per-exchange cost on an in-memory link"
"$build_dir/bench/fr_bench_device" --benchmark_min_time=0.5 \
  --benchmark_out="$out_dir/device.json" --benchmark_out_format=json

echo "bench: one exchange of the TCP link on loopback"
"$build_dir/bench/fr_bench_link" \
  --benchmark_out="$out_dir/link.json" --benchmark_out_format=json

echo "bench: receipts on loopback TCP and on the paced pseudo-terminal"
"$build_dir/bench/fr_bench_receipt" \
  --benchmark_out="$out_dir/receipt.json" --benchmark_out_format=json

echo "bench: peak memory, one process per receipt size"
: >"$out_dir/memory.jsonl"
for n in "${memory_sizes[@]}"; do
  "$build_dir/bench/fr_bench_memory" "$n" | tee -a "$out_dir/memory.jsonl"
done

if [[ -n "${FR_BENCH_BASE:-}" ]]; then
  echo "bench: $FR_BENCH_BASE beside the work tree"
  # shellcheck disable=SC2086 # one or more commits
  bash "$here/scripts/bench-compare.sh" $FR_BENCH_BASE >"$out_dir/compare.md"
  cat "$out_dir/compare.md"
fi

cut -d' ' -f1-3 /proc/loadavg >"$out_dir/loadavg_end"
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build_dir/CMakeCache.txt" | head -n1)
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build_dir/CMakeCache.txt" | head -n1)
python3 "$here/scripts/bench_report.py" \
  --results "$out_dir" \
  --compiler "$("${compiler:-c++}" --version | head -n1)" \
  --build-type "${build_type:-unknown}" \
  --output "$report"
echo "bench: wrote $report"
