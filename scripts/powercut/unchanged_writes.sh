#!/usr/bin/env bash
# What a run of the tool writes to the device, for a run that changes the document and one that records the version
# the document already holds: bytes, writes and flushes that reach the block device (from dm-log-writes, in the
# power-cut machine of each architecture, on ext4 and f2fs), and the run's own system calls (strace on the host). An
# unchanged run must write no data to the device; the script fails otherwise.
# Usage: scripts/powercut/unchanged_writes.sh [ARCH...]   (ARCH amd64 or armhf, both by default; work files in
# build/power/ARCH and build/unchanged)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"
# shellcheck source=scripts/powercut/machine.sh
source "$root/scripts/powercut/machine.sh"
mine=$root/build/unchanged
architectures=("$@")
[ "${#architectures[@]}" -gt 0 ] || architectures=(amd64 armhf)
power_ensure_packages "${architectures[@]}"
morvane_ensure_packages strace
power_traps

echo "== unchanged writes: system calls of both runs on the host"
mkdir -p "$mine/unit/data/tiv/swdl"
cmake -S "$root" -B "$mine/tool" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_BUILD_TESTS=OFF \
    -DUNIT_ROOT="$mine/unit" >/dev/null
cmake --build "$mine/tool" --target morvane -j 2 >/dev/null
printf '{"Version": "0101"}' >"$mine/1.json"
printf '{"Version": "0202"}' >"$mine/2.json"
rm -f "$mine/unit/data/tiv/swdl/VersionInfo.json"
"$mine/tool/app/morvane" 4 1 "$mine/1.json" 2>/dev/null
# calls <name>: fsyncs, renames and bytes written to files (not the log on standard error) by a run and its children.
calls() {
    strace -f -qq -e trace=fsync,fdatasync,sync,rename,renameat,renameat2,write -o "$mine/$1.strace" \
        "$mine/tool/app/morvane" 4 1 "$mine/2.json" 2>/dev/null
    awk -v run="$1" '
        /fsync\(|fdatasync\(/ {fsyncs++} / sync\(\)/ {syncs++} /rename(at2?)?\(/ {renames++}
        / write\([0-9]+,/ && !/ write\(2,/ {n = $NF; if (n > 0) bytes += n}
        END {printf "unchanged writes: %s run: %d fsyncs, %d sync, %d renames, %d bytes written\n",
             run, fsyncs, syncs, renames, bytes}' "$mine/$1.strace"
}
calls changing
calls unchanged | tee "$mine/unchanged.calls"
grep -q ' 0 renames, 0 bytes written$' "$mine/unchanged.calls" ||
    { echo "unchanged writes: FAIL: a run that changed nothing renamed or wrote a file" >&2; exit 1; }


# One machine per architecture, side by side; each reads its cases from the scenario's arguments.
for arch in "${architectures[@]}"; do
    echo "== unchanged writes ($arch): the power-cut machine's kernel, tools and initramfs"
    power_prepare "$arch" >/dev/null
    power_machine unchanged "$power_rig/unchanged_scenario.sh" ext4 f2fs >/dev/null &
done
wait
status=0
for arch in "${architectures[@]}"; do
    echo "== unchanged writes ($arch): bytes that reach the device, in the power-cut machine"
    log=$root/build/power/$arch/unchanged.log
    results=$(grep -a -o 'unchanged writes: .*' "$log" | tr -d '\r' || true)
    echo "$results"
    if [ "$(grep -c ' result ' <<<"$results")" -ne 2 ]; then
        echo "unchanged writes ($arch): the machine did not finish both file systems (console: $log)" >&2
        status=1
    elif grep ' result ' <<<"$results" | grep -qv 'unchanged run: 0 bytes'; then
        echo "unchanged writes ($arch): FAIL: a run that changed nothing wrote data to the device" >&2
        status=1
    fi
done
[ "$status" -eq 0 ] || exit 1
echo "unchanged writes: no data reached the device from a run that changed nothing (${architectures[*]})"
