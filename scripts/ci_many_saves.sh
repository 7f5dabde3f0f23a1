#!/usr/bin/env bash
# Many saves in a row: the tool records several hundred versions one after another on a simulated unit (both slots,
# every block, the audio data set, repeats of what is already stored, a refused slot now and then), and after each
# run the whole document must be the one this script expects, byte for byte; the read-only views must agree with it.
# Faults in counters or flags show only after many updates, never in a single run.
# Usage: scripts/ci_many_saves.sh [runs]   (default 320; work files in build/many_saves)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}"
runs=${1:-320}
work=$root/build/many_saves
unit=$work/unit
cmake -S "$root" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF -DUNIT_ROOT="$unit" \
    >/dev/null
cmake --build "$work/build" -j "$(nproc)" --target morvane >/dev/null
tool=$work/build/app/morvane
document=$unit/data/tiv/swdl/VersionInfo.json
rm -rf "$unit"
mkdir -p "$unit/data/tiv/swdl" "$unit/var/volatile/tmp"

# The model this script keeps on its own: what the document must hold.
declare -A version=([3.0]=---- [4.0]=---- [4.1]=---- [5.0]=---- [6.0]=---- [7.0]=---- [8.0]=---- [8.1]=---- [9.0]=----)
audio_version=---- audio_name=------------

expected() {
    local nad="" block entry
    for block in 3 4 5 6 7 8 9; do
        entry="{\"BlockID\": $block, \"System0_Version\": \"${version[$block.0]//\//\\/}\""
        [ -n "${version[$block.1]:-}" ] && entry+=", \"System1_Version\": \"${version[$block.1]//\//\\/}\""
        nad+="${nad:+, }$entry}"
    done
    printf '{"Audio_DataSet_Version_Info": {"BlockID": 28928, "DataSetName": "%s", "Version": "%s"}, ' \
        "$audio_name" "${audio_version//\//\\/}"
    printf '"GTO_Version_Info": {"Active_System": 0, "System0_Version": "----", "System1_Version": "----"}, '
    printf '"NAD_Version_Info": [%s]}' "$nad"
}

fail() {
    echo "many saves: FAIL at run $run ($*): $arguments" >&2
    exit 1
}

blocks=(3 4 4 5 6 7 8 8 9)
slots=(0 0 1 0 0 0 0 1 0)
unchanged=0 refused=0 previous=""
for ((run = 1; run <= runs; run++)); do
    # Every third run repeats the one before, which gives a slot the version it already holds.
    if ((run % 3 != 0)); then
        text="1.$(((run * 7) % 5))/r$(((run * 3) % 4))"
        pick=$((run % 11))
    fi
    printf '{"Version": "%s"}' "$text" >"$work/version.json"
    status=0
    if ((pick == 9)); then
        arguments="0 0 $work/version.json SET_$((run % 3))"
        audio_version=$text audio_name=SET_$((run % 3))
    elif ((pick == 10 && run % 4 == 0)); then
        arguments="5 1 $work/version.json"  # a block held once has no slot 1
        status=1
        refused=$((refused + 1))
    else
        index=$((pick < 9 ? pick : run % 9))
        arguments="${blocks[$index]} ${slots[$index]} $work/version.json"
        version[${blocks[$index]}.${slots[$index]}]=$text
    fi
    before=$(stat -c %i "$document" 2>/dev/null || echo none)
    # shellcheck disable=SC2086 # (the arguments, split as the download process passes them)
    "$tool" $arguments 2>>"$work/log" && got=0 || got=$?
    [ "$got" -eq "$status" ] || fail "exit status $got, expected $status"
    want=$(expected)
    [ "$(cat "$document")" = "$want" ] || fail "document differs: $(cat "$document") instead of $want"
    if [ "$want" = "$previous" ]; then
        [ "$(stat -c %i "$document")" = "$before" ] || fail "an unchanged document was written again"
        unchanged=$((unchanged + 1))
    fi
    previous=$want
    # The read-only views say the same as the document.
    shown=$("$tool" --show=json 2>>"$work/log") || fail "--show=json failed"
    # Not recorded is null there, the placeholder in the document.
    [ "$(jq -S -c 'del(.Document, .Schema_Version) | .Audio_DataSet_Version_Info.DataSetName //= "------------" |
        walk(if . == null then "----" else . end)' <<<"$shown")" = "$(jq -S -c . <<<"$want")" ] ||
        fail "--show=json differs from the document: $shown"
    eval "$("$tool" --show=shell 2>>"$work/log")" || fail "--show=shell failed"
    [ "${MORVANE_AUDIO_DATASET_VERSION:-----}" = "$audio_version" ] || fail "--show=shell differs from the document"
done
echo "many saves: $runs runs ($unchanged left the document unchanged, $refused refused): every document as expected"
