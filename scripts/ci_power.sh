#!/usr/bin/env bash
# Power cuts below the page cache: the real tool runs in a small virtual machine (Debian's kernel under TCG) on a
# file system whose every write, flush and FUA is logged by dm-log-writes; every state a power cut could leave
# inside a run is then rebuilt from the log and checked (scripts/powercut/scenario.sh says how). Builds of the tool
# whose save skips a sync must be caught somewhere, or the rig proves nothing.
# The machine is either the unit's own architecture (armhf: 32-bit ARM, the armhf preset's build of the tool) or the
# host's (amd64, the host-release preset's build); scripts/powercut/machine.sh builds and boots it.
# Usage: scripts/ci_power.sh [ARCH...]   (ARCH amd64 or armhf, both by default; work files in build/power/ARCH;
# MORVANE_POWER_CASES_FIRST and MORVANE_POWER_CASES_SECOND replace the cases of either machine, as space-separated
# FS:OPTIONS:SAVE)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"
# shellcheck source=scripts/powercut/machine.sh
source "$root/scripts/powercut/machine.sh"
# Two machines side by side, one per core, with about the same work: ext4 with default options and the real save
# under noauto_da_alloc; f2fs, and the weakened saves under noauto_da_alloc.
first_cases="ext4:defaults:none ext4:defaults:no-file-fsync ext4:defaults:no-dir-fsync ext4:noauto_da_alloc:none"
second_cases="f2fs:defaults:none f2fs:defaults:no-file-fsync f2fs:defaults:no-dir-fsync"
second_cases+=" ext4:noauto_da_alloc:no-file-fsync ext4:noauto_da_alloc:no-dir-fsync"
first_cases=${MORVANE_POWER_CASES_FIRST:-$first_cases}
second_cases=${MORVANE_POWER_CASES_SECOND:-$second_cases}
architectures=("$@")
[ "${#architectures[@]}" -gt 0 ] || architectures=(amd64 armhf)
started=$(date +%s)
power_ensure_packages "${architectures[@]}"
power_traps

# verdict: no broken state with the real save; each weakened save broken somewhere.
verdict() {
    local status=0 results name cases expected got caught
    results=$(cat "$work/first.log" "$work/second.log" | grep -a -o 'powercut: .*' | tr -d '\r')
    echo "$results" | grep -v '^powercut: note' || true
    for name in first second; do
        cases=${name}_cases
        expected=$(wc -w <<<"${!cases}")
        got=$(grep -a -c 'powercut: result ' "$work/$name.log" || true)
        if [ "$got" -ne "$expected" ]; then
            echo "power cuts ($arch): the $name machine finished $got of $expected cases (console: $work/$name.log)" >&2
            status=1
        fi
    done
    echo "== power cuts ($arch): weakened saves"
    for save in "${power_saves[@]}"; do
        caught=$(echo "$results" |
            awk -v s="$save" '$2 == "result" && $5 == "save=" s ":" && $NF > 0 {print $3 " (" $4 ")"}' |
            paste -sd, | sed 's/,/, /g')
        if [ "$save" = none ]; then
            if [ -n "$caught" ]; then
                echo "power cuts ($arch): FAIL: the real save left broken states on $caught" >&2
                status=1
            fi
        elif [ -n "$caught" ]; then
            echo "   save=$save caught on: $caught"
        else
            echo "power cuts ($arch): FAIL: save=$save was caught nowhere" >&2
            status=1
        fi
    done
    return "$status"
}

status=0
for arch in "${architectures[@]}"; do
    power_prepare "$arch"
    echo "== power cuts ($arch): two machines ($(($(date +%s) - started)) s after the start)"
    # shellcheck disable=SC2086 # (one argument per case)
    power_machine first "" $first_cases &
    first=$!
    # shellcheck disable=SC2086
    power_machine second "" $second_cases &
    wait "$first" "$!"
    verdict || status=1
done
echo "== power cuts: $(($(date +%s) - started)) s in all"
if [ "$status" -ne 0 ]; then
    exit 1
fi
echo "power cuts: no broken state with the real save, every weakened save caught (${architectures[*]})"
