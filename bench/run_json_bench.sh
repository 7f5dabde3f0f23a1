#!/usr/bin/env bash
# Builds the JSON benchmarks (Release) and runs them: jsondoc and the three compared libraries on the same inputs,
# throughput and ratios from one run, then each library's peak memory for the generated documents, measured in a
# process of its own.
# Usage: bench/run_json_bench.sh [--armhf] [--mib=N] [Google Benchmark options, e.g. --benchmark_filter=canada]
#   --armhf  the unit's build (cross-built, Release) run under qemu-user instead of the host's
#   --mib=N  size of the generated documents in MiB: 20 by default, 2 with --armhf (the emulator is some ten
#            times slower than the host)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
source "$root/bench/bench_common.sh"

armhf=0
mib=
while [ $# -gt 0 ]; do
  case "$1" in
    --armhf) armhf=1 ;;
    --mib=*) mib=${1#--mib=} ;;
    *) break ;;
  esac
  shift
done

if [ "$armhf" -eq 1 ]; then
  morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_ARMHF_PACKAGES[@]}" "${MORVANE_BENCH_PACKAGES[@]}" \
    "${MORVANE_BENCH_ARMHF_PACKAGES[@]}"
  bench_configure_armhf
  build=$BENCH_ARMHF_BUILD
  run=("${BENCH_ARMHF_EMULATOR[@]}")
  machine="armhf under ${run[*]}"
  mib=${mib:-2}
else
  morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_BENCH_PACKAGES[@]}"
  bench_configure_host
  build=$BENCH_BUILD
  run=()
  machine="the host ($(uname -m))"
  mib=${mib:-20}
fi
case "$mib" in
  '' | *[!0-9]* | 0*)
    echo "run_json_bench.sh: --mib takes a positive whole number of MiB" >&2
    exit 2
    ;;
esac

cmake --build "$build" -j2 --target json_bench json_peak_memory bench_generate >/dev/null
results="$build/bench/results"
data="$build/bench/data-${mib}mib"
mkdir -p "$results"
# The same size gives the same bytes on either architecture.
"${run[@]}" "$build/bench/bench_generate" "$data" "$mib"

echo "== throughput on $machine (Google Benchmark; the machine is shared, so each case runs three times and the"
echo "   median counts)"
"${run[@]}" "$build/bench/json_bench" --generated-data="$data" --benchmark_min_time=0.3 --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_out="$results/json_bench.json" --benchmark_out_format=json \
  "$@" >"$results/json_bench.txt"
jq -r --arg machine "$machine" -f "$root/bench/report.jq" "$results/json_bench.json" | tee "$results/json_report.txt"

# Maximum resident size in KiB of one run of the probe. Under qemu-user that is the emulator's process, into which
# the guest's memory is mapped; the run parsing nothing carries the emulator's own share, so the difference is the
# guest's (the code a library adds to the emulator's translations is below 0.1 MiB).
peak_kib() {
  local log
  log=$(mktemp)
  if ! /usr/bin/time -v "${run[@]}" "$build/bench/json_peak_memory" "$1" "$2" 2>"$log"; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  awk -F': ' '/Maximum resident set size/ {print $2}' "$log"
  rm -f "$log"
}

echo
echo "== peak memory of one parse from an input file stream on $machine (/usr/bin/time -v, one process per library)"
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
