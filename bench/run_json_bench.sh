#!/usr/bin/env bash
# Builds the JSON benchmarks (Release) and runs them: jsondoc and the three compared libraries on the same inputs,
# throughput and ratios from one run, then each library's peak memory for the generated 20 MB documents, measured
# in a process of its own.
# Usage: bench/run_json_bench.sh [Google Benchmark options, e.g. --benchmark_filter=canada]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
source "$root/bench/bench_common.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_BENCH_PACKAGES[@]}"

bench_configure_host
cmake --build "$BENCH_BUILD" -j2 --target json_bench json_peak_memory bench_data >/dev/null
results="$BENCH_BUILD/bench/results"
mkdir -p "$results"

echo "== throughput (Google Benchmark; the machine is shared, so each case runs three times and the median counts)"
"$BENCH_BUILD/bench/json_bench" --benchmark_min_time=0.3 --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_out="$results/json_bench.json" --benchmark_out_format=json \
  "$@" >"$results/json_bench.txt"
jq -r -f "$root/bench/report.jq" "$results/json_bench.json" | tee "$results/json_report.txt"

# Maximum resident size in KiB of one run of the probe.
peak_kib() {
  local log
  log=$(mktemp)
  if ! /usr/bin/time -v "$BENCH_BUILD/bench/json_peak_memory" "$1" "$2" 2>"$log"; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  awk -F': ' '/Maximum resident set size/ {print $2}' "$log"
  rm -f "$log"
}

echo
echo "== peak memory of one parse from an input file stream (/usr/bin/time -v, one process per library)"
data="$BENCH_BUILD/bench/data"
{
  printf '%-10s %9s' input MB
  for library in "${BENCH_LIBRARIES[@]}"; do printf ' %12s' "$library"; done
  printf ' %18s\n' "jsondoc/nlohmann"
  for input in numbers strings nested; do
    file="$data/$input.json"
    size=$(stat -c %s "$file")
    base=$(peak_kib none "$file")
    printf '%-10s %9.1f' "$input" "$(awk -v s="$size" 'BEGIN {print s / 1e6}')"
    declare -A per_byte=()
    for library in "${BENCH_LIBRARIES[@]}"; do
      peak=$(peak_kib "$library" "$file")
      per_byte[$library]=$(awk -v p="$peak" -v b="$base" -v s="$size" 'BEGIN {printf "%.2f", (p - b) * 1024 / s}')
      printf ' %12s' "${per_byte[$library]}"
    done
    awk -v j="${per_byte[jsondoc]}" -v n="${per_byte[nlohmann]}" \
      'BEGIN {r = j / n; printf " %13.2f %s\n", r, (r <= 1 ? "met" : "MISSED")}'
    unset per_byte
  done
  echo "(bytes of memory per byte of input: peak resident size less that of the same process parsing nothing;"
  echo " goal: jsondoc/nlohmann <= 1)"
} | tee "$results/memory_report.txt"
