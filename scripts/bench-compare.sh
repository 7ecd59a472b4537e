#!/usr/bin/env bash
# The TCP link's exchange benchmark (bench/link_bench.cpp) on two commits, side by
# side in one run: scripts/bench-compare.sh BASE [OTHER] (OTHER: the work tree as it
# is). Each commit is built in the bench preset in a worktree of its own under
# ${FR_COMPARE_DIR:-/tmp/fr-bench-compare}; a commit older than the benchmark gets
# this tree's benchmark source, so both run the same measurement. The runs
# alternate (A B A B ...) so that a machine growing busier weighs on both alike.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
base=${1:?usage: scripts/bench-compare.sh BASE [OTHER]}
other=${2:-}
rounds=${FR_COMPARE_ROUNDS:-3}
work=${FR_COMPARE_DIR:-/tmp/fr-bench-compare}
mkdir -p "$work"

if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_NOHASHDIR=1
fi

# Builds fr_bench_link of commit $1 in folder $2 (a worktree) and prints its path.
build_at() {
  local commit=$1 tree=$2
  if [[ ! -d "$tree" ]]; then
    git -C "$here" worktree add --detach "$tree" "$commit" >&2
  else
    git -C "$tree" checkout -q --detach "$commit"
  fi
  if [[ ! -f "$tree/bench/link_bench.cpp" ]]; then
    cp "$here/bench/link_bench.cpp" "$tree/bench/"
    sed -n '/^# The TCP link on loopback/,/^  -Wl,--wrap/p' "$here/bench/CMakeLists.txt" \
      >>"$tree/bench/CMakeLists.txt"
  fi
  (cd "$tree" && CCACHE_BASEDIR="$tree" cmake --preset bench >/dev/null &&
    CCACHE_BASEDIR="$tree" cmake --build --preset bench --target fr_bench_link >&2)
  echo "$tree/build/bench/bench/fr_bench_link"
}

a=$(build_at "$base" "$work/a")
if [[ -n "$other" ]]; then
  b=$(build_at "$other" "$work/b")
  b_name=$other
else
  (cd "$here" && cmake --preset bench >/dev/null && cmake --build --preset bench --target fr_bench_link >&2)
  b="$here/build/bench/bench/fr_bench_link"
  b_name="work tree"
fi

out="$work/results"
rm -rf "$out"
mkdir -p "$out"
for i in $(seq 1 "$rounds"); do
  "$a" --benchmark_out="$out/a$i.json" --benchmark_out_format=json >/dev/null
  "$b" --benchmark_out="$out/b$i.json" --benchmark_out_format=json >/dev/null
done

python3 - "$out" "$rounds" "$base" "$b_name" <<'EOF'
import json, statistics, sys
out, rounds, a_name, b_name = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
keys = ["real_time", "driver_cpu_us_per_exchange", "socket_calls_per_exchange"]
labels = ["wall per exchange, us", "driver CPU per exchange, us", "socket calls per exchange"]
def medians(side):
    rows = [json.load(open(f"{out}/{side}{i}.json"))["benchmarks"][0] for i in range(1, rounds + 1)]
    return [statistics.median(r[k] / (1000.0 if k == "real_time" else 1.0) for r in rows) for k in keys]
a, b = medians("a"), medians("b")
print(f"| medians of {rounds} runs | {a_name} | {b_name} | ratio |")
print("|---|---|---|---|")
for label, x, y in zip(labels, a, b):
    print(f"| {label} | {x:.2f} | {y:.2f} | {y / x if x else float('nan'):.2f} |")
EOF
