# Sourced by the benchmark scripts (after scripts/deps.sh, with $root set): the builds they share.

MORVANE_BENCH_PACKAGES=(libbenchmark-dev nlohmann-json3-dev libjsoncpp-dev rapidjson-dev jq time)
# The header-only libraries serve both architectures; Google Benchmark and JsonCpp are built per architecture.
MORVANE_BENCH_ARMHF_PACKAGES=(libbenchmark-dev:armhf libjsoncpp-dev:armhf)
BENCH_LIBRARIES=(jsondoc nlohmann jsoncpp rapidjson)
BENCH_BUILD="$root/build/bench"
# The simulated unit of the tool's timing; the JSON benchmarks do not use it, but both scripts configure the same
# build, so they must agree on it.
BENCH_UNIT="$BENCH_BUILD/unit"
# The unit's build of the JSON benchmarks, run under qemu-user with the armhf libraries of the host's multiarch tree.
BENCH_ARMHF_BUILD="$root/build/bench-armhf"
BENCH_ARMHF_EMULATOR=(qemu-arm -L /)

bench_configure_host() {
  (cd "$root" && cmake --preset bench -B "$BENCH_BUILD" -DUNIT_ROOT="$BENCH_UNIT" >/dev/null)
}

bench_configure_armhf() {
  (cd "$root" && cmake --preset bench-armhf -B "$BENCH_ARMHF_BUILD" >/dev/null)
}
