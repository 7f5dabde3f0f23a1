#!/usr/bin/env bash
# What a run of the tool writes to the device, for a run that changes the document and one that records the version
# the document already holds: bytes, writes and flushes that reach the block device (from dm-log-writes, in the
# power-cut machine, on ext4 and f2fs), and the run's own system calls (strace on the host). An unchanged run must
# write no data to the device; the script fails otherwise.
# Usage: scripts/powercut/unchanged_writes.sh   (work files in build/power and build/unchanged)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"
work=$root/build/power
mine=$root/build/unchanged
morvane_ensure_packages strace

echo "== unchanged writes: the power-cut machine's kernel, tools and initramfs"
MORVANE_POWER_PREPARE_ONLY=1 bash "$root/scripts/ci_power.sh" >/dev/null

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

echo "== unchanged writes: bytes that reach the device, in the power-cut machine"
rm -rf "$mine/cases"
mkdir -p "$mine/cases/powercut"
cp "$root/scripts/powercut/unchanged_scenario.sh" "$mine/cases/powercut/scenario.sh"
echo "ext4 f2fs" >"$mine/cases/powercut/configurations"
(cd "$mine/cases" && find . | cpio -o -H newc --quiet | gzip -1) | cat "$work/initramfs.gz" - >"$mine/initramfs.gz"
disks=()
for disk in data log; do
    rm -f "$mine/disk-$disk"
    truncate -s "$([ "$disk" = log ] && echo 256M || echo 64M)" "$mine/disk-$disk"
    disks+=(-drive "file=$mine/disk-$disk,if=none,id=$disk,format=raw,cache=unsafe" -device "virtio-blk-pci,drive=$disk")
done
kernel=$(find "$work/kernel" -path '*/tree/boot/vmlinuz-*' | head -n 1)
timeout 1500 qemu-system-x86_64 -machine pc,accel=tcg -cpu qemu64 -m 768 -smp 1 -nographic -no-reboot \
    -kernel "$kernel" -initrd "$mine/initramfs.gz" -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
    "${disks[@]}" </dev/null >"$mine/machine.log" 2>&1 || true
results=$(grep -a -o 'unchanged writes: .*' "$mine/machine.log" | tr -d '\r' || true)
echo "$results"
if [ "$(grep -c ' result ' <<<"$results")" -ne 2 ]; then
    echo "unchanged writes: the machine did not finish both file systems (console: $mine/machine.log)" >&2
    exit 1
fi
if grep ' result ' <<<"$results" | grep -qv 'unchanged run: 0 bytes'; then
    echo "unchanged writes: FAIL: a run that changed nothing wrote data to the device" >&2
    exit 1
fi
echo "unchanged writes: no data reached the device from a run that changed nothing"
