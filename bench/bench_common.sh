# Sourced by the benchmark scripts (after scripts/deps.sh, with $root set): the one host build they share.

MORVANE_BENCH_PACKAGES=(libbenchmark-dev nlohmann-json3-dev libjsoncpp-dev rapidjson-dev jq time)
BENCH_LIBRARIES=(jsondoc nlohmann jsoncpp rapidjson)
BENCH_BUILD="$root/build/bench"
# The simulated unit of the tool's timing; the JSON benchmarks do not use it, but both scripts configure the same
# build, so they must agree on it.
BENCH_UNIT="$BENCH_BUILD/unit"

bench_configure_host() {
  (cd "$root" && cmake --preset bench -B "$BENCH_BUILD" -DUNIT_ROOT="$BENCH_UNIT" >/dev/null)
}
