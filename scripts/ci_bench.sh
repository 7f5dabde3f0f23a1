#!/usr/bin/env bash
# CI step for the benchmarks: builds them (Release, warnings as errors under CI=true) for the host and for the unit
# (armhf, run under qemu-user) and runs each case once on small generated documents, so that the benchmark code
# keeps compiling on both and every library keeps reading every input. It times nothing and judges no speed
# (bench/README.md has the real runs); only the memory instruments at the end of each smoke run check bounds of
# their own.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
source "$root/bench/bench_common.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_ARMHF_PACKAGES[@]}" "${MORVANE_BENCH_PACKAGES[@]}" \
  "${MORVANE_BENCH_ARMHF_PACKAGES[@]}"

# smoke NAME BUILD_DIR [EMULATOR...]: builds the configured tree and runs every case of it.
smoke() {
  local name=$1 build=$2
  shift 2
  cmake --build "$build" -j "$(nproc)" --target json_bench json_peak_memory bench_generate json_thread_memory \
    json_release_memory
  local data="$build/bench/smoke-data" results="$build/bench/smoke.json" failed library
  "$@" "$build/bench/bench_generate" "$data" 1
  "$@" "$build/bench/json_bench" --generated-data="$data" --benchmark_min_time=0.001 \
    --benchmark_out="$results" --benchmark_out_format=json >/dev/null
  failed=$(jq -r '.benchmarks[] | select(.error_occurred == true) | "\(.name): \(.error_message)"' "$results")
  if [ -n "$failed" ]; then
    echo "$name benchmark cases that failed:" >&2
    echo "$failed" >&2
    exit 1
  fi
  for library in none "${BENCH_LIBRARIES[@]}"; do
    "$@" "$build/bench/json_peak_memory" "$library" "$data/nested.json"
  done
  # The two memory instruments judge their own bounds: a document parsed by one thread and released by another 200
  # times levels off, and a 24 MB document's memory goes back once it is released.
  "$@" "$build/bench/json_thread_memory" "$data/nested.json" 200
  "$@" "$build/bench/json_release_memory" 24 "$data/nested.json" "$data/strings.json" "$data/numbers.json"
  echo "$name benchmarks: $(jq '.benchmarks | length' "$results") cases ran once each, none failed"
}

build="$root/build/ci-bench"
(cd "$root" && cmake --preset bench -B "$build")
smoke host "$build"

build="$root/build/ci-bench-armhf"
(cd "$root" && cmake --preset bench-armhf -B "$build")
smoke armhf "$build" "${BENCH_ARMHF_EMULATOR[@]}"
