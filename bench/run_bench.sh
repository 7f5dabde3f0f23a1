#!/usr/bin/env bash
# Times the tool's whole run against its floor and against a shell equivalent, on a simulated unit:
#   tool   the Release tool storing the version of block 4, system slot 1 (load, update, durable save, sync)
#   floor  /bin/sh -c sync, the external command every save ends with, started the same way
#   jq     a shell script with jq that makes the same change to the same document, then renames it and syncs
#   start  the tool refused at once (no arguments: the usage message, status 1): its process start and exit alone
# The four alternate, in a rotating order, so that the load of a shared machine falls on all of them alike.
# Then the tool's peak resident memory, and the size of the stripped armhf executable and of its libraries.
# Usage: bench/run_bench.sh [rounds]   (default 41)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
source "$root/bench/bench_common.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_ARMHF_PACKAGES[@]}" "${MORVANE_BENCH_PACKAGES[@]}"
export LC_ALL=C

rounds=${1:-41}
bench_configure_host
cmake --build "$BENCH_BUILD" -j2 --target morvane >/dev/null
tool="$BENCH_BUILD/app/morvane"

# ---- the simulated unit
document="$BENCH_UNIT/data/tiv/swdl/VersionInfo.json"
flash="$BENCH_BUILD/bench/flash"
rm -rf "$BENCH_UNIT" "$flash"
mkdir -p "$(dirname "$document")" "$BENCH_UNIT/var/volatile/tmp" "$flash"
cp "$root/bench/version.json" "$document"
version_file="$flash/block4.json"
printf '{"Version": "NAD_APPL_0202_R2024.07_B0212"}' >"$version_file"

# The same change with jq: read the version file, set slot 1 of block 4, replace the document, sync.
jq_equivalent=(/bin/sh -c 'jq -c --slurpfile file "$2" \
  "(.NAD_Version_Info[] | select(.BlockID == 4)).System1_Version = \$file[0].Version" "$1" >"$1.tmp" \
  && mv "$1.tmp" "$1" && sync' jq_equivalent "$document" "$version_file")
floor=(/bin/sh -c sync)

# Runs a command with its output discarded; prints its wall time in microseconds. A run that ends with another
# status than expected (EXPECT, default 0) stops the script.
time_us() {
  local start=$EPOCHREALTIME status=0
  "$@" >/dev/null 2>&1 || status=$?
  local end=$EPOCHREALTIME
  if [ "$status" -ne "${EXPECT:-0}" ]; then
    echo "run_bench.sh: status $status: $*" >&2
    exit 1
  fi
  echo $((${end/./} - ${start/./}))
}

median_ms() {
  sort -n | awk '{v[NR] = $1} END {m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.2f", m / 1000}'
}

# A first run of each warms the page cache, so that no series starts cold.
time_us "$tool" 4 1 "$version_file" >/dev/null
time_us "${floor[@]}" >/dev/null
time_us "${jq_equivalent[@]}" >/dev/null
"$tool" 4 1 "$version_file" 2>/dev/null
jq -e '.NAD_Version_Info[] | select(.BlockID == 4) | .System1_Version == "NAD_APPL_0202_R2024.07_B0212"' \
  "$document" >/dev/null || { echo "run_bench.sh: the tool did not store the version" >&2; exit 1; }

samples="$BENCH_BUILD/bench/results"
mkdir -p "$samples"
: >"$samples/tool.us"
: >"$samples/floor.us"
: >"$samples/jq.us"
: >"$samples/start.us"
echo "== $rounds rounds of tool, floor, jq and start, alternating"
kinds=(tool floor jq start)
for ((round = 0; round < rounds; round++)); do
  for ((k = 0; k < 4; k++)); do
    case ${kinds[(round + k) % 4]} in
      tool) time_us "$tool" 4 1 "$version_file" >>"$samples/tool.us" ;;
      floor) time_us "${floor[@]}" >>"$samples/floor.us" ;;
      jq) time_us "${jq_equivalent[@]}" >>"$samples/jq.us" ;;
      start) EXPECT=1 time_us "$tool" >>"$samples/start.us" ;;
    esac
  done
done

tool_ms=$(median_ms <"$samples/tool.us")
floor_ms=$(median_ms <"$samples/floor.us")
jq_ms=$(median_ms <"$samples/jq.us")
start_ms=$(median_ms <"$samples/start.us")
awk -v t="$tool_ms" -v f="$floor_ms" -v j="$jq_ms" -v s="$start_ms" 'BEGIN {
  printf "median tool %.2f ms, floor %.2f ms, jq %.2f ms, start %.2f ms\n", t, f, j, s
  printf "tool/floor %.2f, tool/jq %.2f\n", t / f, t / j
  printf "goal tool below jq: %s (tool/jq %.2f)\n", (t < j ? "met" : "MISSED"), t / j
  printf "goal tool - floor <= 3 ms: %s (%.2f ms, of which %.2f ms the start and exit of the tool itself)\n",
    (t - f <= 3 ? "met" : "MISSED"), t - f, s
}' | tee "$samples/run_report.txt"

echo
echo "== peak resident memory of one tool run"
peak=$(/usr/bin/time -f %M "$tool" 4 1 "$version_file" 2>&1 >/dev/null | tail -n 1)
echo "tool: $peak KiB" | tee -a "$samples/run_report.txt"

# ---- the unit's executable
echo
echo "== stripped armhf sizes (Release cross build in build-bench-arm)"
arm_build="$root/build-bench-arm"
cmake -S "$root" -B "$arm_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-armhf.cmake" >/dev/null
cmake --build "$arm_build" -j2 --target morvane >/dev/null
stripped=$(mktemp -d)
trap 'rm -rf "$stripped"' EXIT

# Size in bytes of a stripped copy; static archives keep the symbols that linking needs.
stripped_size() {
  local copy
  copy="$stripped/$(basename "$1")"
  cp "$1" "$copy"
  case $copy in
    *.a) arm-linux-gnueabihf-strip --strip-debug "$copy" ;;
    *) arm-linux-gnueabihf-strip --strip-unneeded "$copy" ;;
  esac
  stat -c %s "$copy"
}

{
  printf '%-28s %10s\n' "file" "bytes"
  printf '%-28s %10s\n' "morvane (executable)" "$(stripped_size "$arm_build/app/morvane")"
  echo "static libraries linked into it:"
  while IFS= read -r archive; do
    printf '  %-26s %10s\n' "$(basename "$archive")" "$(stripped_size "$archive")"
  done < <(find "$arm_build"/{app,common,jsondoc,logging,updater,utils} -maxdepth 1 -name '*.a' | sort)
  echo "shared libraries it needs at run time:"
  total=0
  while IFS= read -r needed; do
    library=$(arm-linux-gnueabihf-g++ -print-file-name="$needed")
    [ -e "$library" ] || library=$(find /usr/lib/arm-linux-gnueabihf /lib/arm-linux-gnueabihf \
      /usr/arm-linux-gnueabihf/lib -name "$needed" 2>/dev/null | head -n 1)
    size=$(stripped_size "$(readlink -f "$library")")
    total=$((total + size))
    printf '  %-26s %10s\n' "$needed" "$size"
  done < <(arm-linux-gnueabihf-readelf -d "$arm_build/app/morvane" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
  printf '  %-26s %10s\n' "(all shared)" "$total"
} | tee -a "$samples/run_report.txt"
