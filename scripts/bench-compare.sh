#!/usr/bin/env bash
# Earlier commits beside the work tree, in one run: scripts/bench-compare.sh COMMIT...
# Prints two Markdown tables: the TCP link's exchange (bench/link_bench.cpp: wall
# time, driver CPU and socket calls per exchange) and a 100-position receipt through
# frhost against this tree's emulator (scripts/bench_compare_receipt.py). Each commit
# is built in the bench preset in a worktree of its own under
# ${FR_COMPARE_DIR:-/tmp/fr-bench-compare}; a commit older than the link benchmark
# gets this tree's source of it, so every build runs the same measurement. The runs
# alternate (A B A B ...) so that a machine growing busier weighs on all alike.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
if [[ $# -eq 0 ]]; then
  echo "usage: scripts/bench-compare.sh COMMIT... (each beside the work tree)" >&2
  exit 2
fi
rounds=${FR_COMPARE_ROUNDS:-5}
work=${FR_COMPARE_DIR:-/tmp/fr-bench-compare}
mkdir -p "$work"
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_NOHASHDIR=1
fi

# Builds the link benchmark and frhost of the tree in $1.
build_tree() {
  (cd "$1" && CCACHE_BASEDIR="$1" cmake --preset bench >/dev/null &&
    CCACHE_BASEDIR="$1" cmake --build --preset bench --target fr_bench_link frhost >&2)
}

names=() trees=()
i=0
for commit in "$@"; do
  i=$((i + 1))
  tree="$work/tree$i"
  if [[ -d "$tree" ]]; then
    git -C "$tree" checkout -q --detach "$commit"
  else
    git -C "$here" worktree add --detach "$tree" "$commit" >&2
  fi
  if [[ ! -f "$tree/bench/link_bench.cpp" ]]; then
    cp "$here/bench/link_bench.cpp" "$tree/bench/"
    sed -n '/^# The TCP link on loopback/,/^  -Wl,--wrap/p' "$here/bench/CMakeLists.txt" \
      >>"$tree/bench/CMakeLists.txt"
  fi
  build_tree "$tree"
  names+=("$(git -C "$tree" log -1 --format=%h)")
  trees+=("$tree")
done
build_tree "$here"
names+=("work tree")
trees+=("$here")

out="$work/results"
rm -rf "$out"
mkdir -p "$out"
for r in $(seq 1 "$rounds"); do
  for k in "${!trees[@]}"; do
    "${trees[$k]}/build/bench/bench/fr_bench_link" --benchmark_out="$out/link-$k-$r.json" \
      --benchmark_out_format=json >>"$out/runs.log" 2>&1
  done
done

python3 - "$out" "$rounds" "${names[@]}" <<'EOF'
import json, statistics, sys
out, rounds, names = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
rows = [("wall per exchange, µs", "real_time", 1e-3), ("driver CPU per exchange, µs",
        "driver_cpu_us_per_exchange", 1.0), ("socket calls per exchange",
        "socket_calls_per_exchange", 1.0)]
data = [[json.load(open(f"{out}/link-{k}-{r}.json"))["benchmarks"][0] for r in range(1, rounds + 1)]
        for k in range(len(names))]
print(f"| TCP exchange on loopback, medians of {rounds} | " + " | ".join(names) + " |")
print("|---|" + "---|" * len(names))
for label, key, scale in rows:
    print(f"| {label} | " + " | ".join(f"{statistics.median(e[key] * scale for e in d):.1f}"
                                        for d in data) + " |")
EOF
echo
args=()
for k in "${!trees[@]}"; do
  args+=("${names[$k]}=${trees[$k]}/build/bench/tools/frhost/frhost")
done
(cd "$here" && cmake --build --preset bench --target fremu >&2)
python3 "$here/scripts/bench_compare_receipt.py" "$here/build/bench/tools/fremu/fremu" \
  "$((rounds * 2))" "${args[@]}"
