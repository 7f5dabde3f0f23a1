#!/usr/bin/env bash
# Runs the tool's main job on a simulated unit: a host build whose unit file system lives under build/demo/unit.
# Shows each run's log (from the platform log library, on standard error) and the version document around it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}"

unit="$root/build/demo/unit"
build="$root/build/demo/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF -DUNIT_ROOT="$unit" >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvane >/dev/null
tool="$build/app/morvane"

rm -rf "$unit"
mkdir -p "$unit/data/tiv/swdl" "$unit/var/volatile/tmp" "$root/build/demo/flash"
document="$unit/data/tiv/swdl/VersionInfo.json"
cat >"$document" <<'JSON'
{"NAD_Version_Info": [
  {"BlockID": 3, "System0_Version": "0200"},
  {"BlockID": 4, "System0_Version": "0201", "System1_Version": "0201"},
  {"BlockID": 5, "System0_Version": "0300"},
  {"BlockID": 6, "System0_Version": "0300"},
  {"BlockID": 7, "System0_Version": "0300"},
  {"BlockID": 8, "System0_Version": "0410", "System1_Version": "0410"},
  {"BlockID": 9, "System0_Version": "0300"}],
 "GTO_Version_Info": {"Active_System": 1, "System0_Version": "0100", "System1_Version": "0101"},
 "Audio_DataSet_Version_Info": {"BlockID": 28928, "DataSetName": "SET_A", "Version": "0102"}}
JSON
printf '{"Version": "0202"}' >"$root/build/demo/flash/block4.json"
printf '{"Version": "AUD_0103"}' >"$root/build/demo/flash/audio.json"
printf '{"Name": "no version here"}' >"$root/build/demo/flash/broken.json"

show_document() {
  echo "--- version document ($1):"
  cat "$document"
  echo
}

run() {
  echo
  echo "\$ morvane $*"
  set +e
  "$tool" "$@"
  local status=$?
  set -e
  echo "--- exit status: $status"
}

echo "(Successful runs log their notes at verbose priority, which the log library hides by default.)"
show_document "before"
run 4 1 "$root/build/demo/flash/block4.json"
show_document "after the update of block 4, system slot 1"
run 8 0 "$root/build/demo/flash/broken.json"
show_document "after the failed update: unchanged"
run 4 1 "$root/build/demo/flash/audio.json" SET_B
show_document "after the audio data set update"
