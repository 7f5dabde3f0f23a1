# shellcheck shell=bash disable=SC2034 # (the variables are for the scripts that source this file)
# Sourced by the fault scripts: builds the real tool for a simulated unit inside the build tree and gives the
# documents a run starts from and may end with.
#
# MORVANE_FAULT_BUILD overrides the build directory (default build/faults); the unit lives in its "unit" folder, so
# nothing outside the build tree is ever written.

fault_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/deps.sh
source "$fault_source/scripts/deps.sh"

fault_build=${MORVANE_FAULT_BUILD:-$fault_source/build/faults}
unit="$fault_build/unit"
tool="$fault_build/app/morvane"
swdl="$unit/data/tiv/swdl"
document="$swdl/VersionInfo.json"
version_file="$fault_build/flash/block4.json"

# The document before the run, and the two a complete run may leave: the update of block 4, slot 1 on it, and the
# same update on the defaults, which is what a run writes when it could not read the document; and the update of the
# audio data set (to SET_B) on it.
nad_old='[{"BlockID": 3, "System0_Version": "0200"}, {"BlockID": 4, "System0_Version": "0201", "System1_Version": "0201"}, {"BlockID": 5, "System0_Version": "0300"}, {"BlockID": 6, "System0_Version": "0300"}, {"BlockID": 7, "System0_Version": "0300"}, {"BlockID": 8, "System0_Version": "0410", "System1_Version": "0410"}, {"BlockID": 9, "System0_Version": "0300"}]'
nad_fresh='[{"BlockID": 3, "System0_Version": "----"}, {"BlockID": 4, "System0_Version": "----", "System1_Version": "0202"}, {"BlockID": 5, "System0_Version": "----"}, {"BlockID": 6, "System0_Version": "----"}, {"BlockID": 7, "System0_Version": "----"}, {"BlockID": 8, "System0_Version": "----", "System1_Version": "----"}, {"BlockID": 9, "System0_Version": "----"}]'
gto='{"Active_System": 1, "System0_Version": "0100", "System1_Version": "0101"}'
audio='{"BlockID": 28928, "DataSetName": "SET_A", "Version": "0102"}'
doc_old="{\"Audio_DataSet_Version_Info\": $audio, \"GTO_Version_Info\": $gto, \"NAD_Version_Info\": $nad_old}"
doc_new=${doc_old/'"System1_Version": "0201"'/'"System1_Version": "0202"'}
doc_audio=${doc_old/'"DataSetName": "SET_A", "Version": "0102"'/'"DataSetName": "SET_B", "Version": "0202"'}
doc_fresh="{\"Audio_DataSet_Version_Info\": {\"BlockID\": 28928, \"DataSetName\": \"------------\", \"Version\": \"----\"}, \"GTO_Version_Info\": {\"Active_System\": 0, \"System0_Version\": \"----\", \"System1_Version\": \"----\"}, \"NAD_Version_Info\": $nad_fresh}"

# build_tool: a host build of the tool alone whose unit file system starts at $unit.
build_tool() {
    morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "$@"
    cmake -S "$fault_source" -B "$fault_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_BUILD_TESTS=OFF \
        -DUNIT_ROOT="$unit" >/dev/null
    cmake --build "$fault_build" --target morvane -j 2 >/dev/null
}

# reset_unit: an empty unit holding the old document, the version file of the update, and the known documents to
# compare with.
reset_unit() {
    rm -rf "$unit"
    mkdir -p "$swdl" "$unit/var/volatile/tmp" "$(dirname "$version_file")" "$fault_build/expected"
    printf '%s' "$doc_old" >"$document"
    printf '%s' '{"Version": "0202"}' >"$version_file"
    printf '%s' "$doc_old" >"$fault_build/expected/old"
    printf '%s' "$doc_new" >"$fault_build/expected/new"
    printf '%s' "$doc_fresh" >"$fault_build/expected/fresh"
    printf '%s' "$doc_audio" >"$fault_build/expected/audio"
}

# document_state: which of the known documents is on disk (old, new, fresh, audio), byte for byte; else missing or
# broken.
document_state() {
    local known
    if [ ! -f "$document" ]; then
        echo missing
        return
    fi
    for known in old new fresh audio; do
        if cmp -s "$document" "$fault_build/expected/$known"; then
            echo "$known"
            return
        fi
    done
    echo broken
}

# leftovers: the temporary files of interrupted saves in the document's directory (not the runs' lock file).
leftovers() {
    find "$swdl" -maxdepth 1 -name '.VersionInfo.json.*' ! -name '.VersionInfo.json.lock' | wc -l
}
