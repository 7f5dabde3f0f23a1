#!/usr/bin/env bash
# CI step for the benchmarks: builds them (Release, warnings as errors under CI=true) and runs each case once on
# small generated documents, so that the benchmark code keeps compiling and every library keeps reading every
# input. It times nothing and judges no speed (bench/README.md has the real runs); only the memory instruments
# at the end check bounds of their own.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" libbenchmark-dev nlohmann-json3-dev libjsoncpp-dev \
  rapidjson-dev jq

build="$root/build/ci-bench"
(cd "$root" && cmake --preset bench -B "$build")
cmake --build "$build" -j "$(nproc)" --target json_bench json_peak_memory bench_generate json_thread_memory \
  json_release_memory

data="$build/bench/smoke-data"
"$build/bench/bench_generate" "$data" 1
results="$build/bench/smoke.json"
"$build/bench/json_bench" --generated-data="$data" --benchmark_min_time=0.001 \
  --benchmark_out="$results" --benchmark_out_format=json >/dev/null
failed=$(jq -r '.benchmarks[] | select(.error_occurred == true) | "\(.name): \(.error_message)"' "$results")
if [ -n "$failed" ]; then
  echo "benchmark cases that failed:" >&2
  echo "$failed" >&2
  exit 1
fi
for library in none jsondoc nlohmann jsoncpp rapidjson; do
  "$build/bench/json_peak_memory" "$library" "$data/nested.json"
done
# The two memory instruments judge their own bounds: a document parsed by one thread and released by another 200
# times levels off, and a 24 MB document's memory goes back once it is released.
"$build/bench/json_thread_memory" "$data/nested.json" 200
"$build/bench/json_release_memory" 24 "$data/nested.json" "$data/strings.json" "$data/numbers.json"
echo "benchmarks: $(jq '.benchmarks | length' "$results") cases ran once each, none failed"
