#!/usr/bin/env bash
# Power cuts below the page cache: the real tool runs in a small virtual machine (Debian's kernel under TCG) on a
# file system whose every write, flush and FUA is logged by dm-log-writes; every state a power cut could leave
# inside a run is then rebuilt from the log and checked (scripts/powercut/scenario.sh says how). Builds of the tool
# whose save skips a sync must be caught somewhere, or the rig proves nothing.
# Usage: scripts/ci_power.sh   (work files in build/power; MORVANE_POWER_CASES_FIRST and MORVANE_POWER_CASES_SECOND
# replace the cases of either machine, as space-separated FS:OPTIONS:SAVE; MORVANE_POWER_PREPARE_ONLY=1 stops once the
# kernel, the tools and the initramfs are in place)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"
work=$root/build/power
rig=$root/scripts/powercut
saves=(none no-file-fsync no-dir-fsync)
# Two machines side by side, one per core, with about the same work: ext4 with default options and the real save
# under noauto_da_alloc; f2fs, and the weakened saves under noauto_da_alloc.
first_cases="ext4:defaults:none ext4:defaults:no-file-fsync ext4:defaults:no-dir-fsync ext4:noauto_da_alloc:none"
second_cases="f2fs:defaults:none f2fs:defaults:no-file-fsync f2fs:defaults:no-dir-fsync"
second_cases+=" ext4:noauto_da_alloc:no-file-fsync ext4:noauto_da_alloc:no-dir-fsync"
started=$(date +%s)

morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" qemu-system-x86 busybox-static f2fs-tools e2fsprogs \
    e2fsck-static dmsetup kmod cpio gcc libc6-dev linux-libc-dev
mkdir -p "$work"

echo "== power cuts: Debian's current kernel, unpacked (never installed on this host)"
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}
package=$(kernel_package)
if [ -z "$package" ] || ! apt-cache show "$package" >/dev/null 2>&1; then
    apt-get update -qq
    package=$(kernel_package)
fi
[ -n "$package" ] || { echo "power cuts: no concrete kernel package behind linux-image-amd64" >&2; exit 1; }
kernel_version=${package#linux-image-}
kernel=$work/kernel/$kernel_version
if [ ! -e "$kernel/done" ]; then
    rm -rf "$kernel"
    mkdir -p "$kernel"
    # A stale package list may name a version the archive no longer has.
    (cd "$kernel" && { apt-get download "$package" >/dev/null 2>&1 ||
        { apt-get update -qq && apt-get download "$package" >/dev/null 2>&1; }; })
    dpkg-deb -x "$kernel"/*.deb "$kernel/tree"
    depmod -b "$kernel/tree" "$kernel_version"
    rm -f "$kernel"/*.deb
    touch "$kernel/done"
fi

echo "== power cuts: the tool for a unit at /unit, once per save"
mkdir -p "$work/bin"
for save in "${saves[@]}"; do
    cmake -S "$root" -B "$work/tool" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_BUILD_TESTS=OFF \
        -DUNIT_ROOT=/unit -DMORVANE_WEAKENED_SAVE="$save" >/dev/null
    cmake --build "$work/tool" --target morvane -j 2 >/dev/null
    cp "$work/tool/app/morvane" "$work/bin/morvane-$save"
done
cmake -S "$root" -B "$work/tool" -DMORVANE_WEAKENED_SAVE=none >/dev/null
# Static, like the file system checker below: loading shared libraries is slow under emulation, and both run once per
# checked state.
gcc -std=c11 -static -O2 -Wall -Wextra -Wpedantic -Werror -o "$work/bin/replay_log" "$rig/replay_log.c"

echo "== power cuts: initramfs"
image=$work/initramfs
rm -rf "$image"
mkdir -p "$image/bin" "$image/powercut/bin" "$image/etc"
cp /bin/busybox "$image/bin/busybox"
cp "$rig/init" "$image/init"
cp "$rig/scenario.sh" "$rig/sh-marking" "$image/powercut/"
cp /etc/mke2fs.conf "$image/etc/"
cp "$work"/bin/* "$image/powercut/bin/"
ln -s /powercut/bin/replay_log "$image/bin/replay_log"
programs=("$image"/powercut/bin/*)
cp /sbin/e2fsck.static "$image/bin/e2fsck"
for program in dmsetup mkfs.ext4 mkfs.f2fs fsck.f2fs; do
    path=$(command -v "$program" || PATH=/usr/sbin:/sbin command -v "$program")
    cp -L "$path" "$image/bin/$program"
    programs+=("$image/bin/$program")
done
# Shared libraries at the paths the host's loader found them (ldd fails on the static ones, which need none).
libraries=$( (ldd "${programs[@]}" 2>/dev/null || true) | grep -o '/[^ ]*\.so[^ ]*' | sort -u)
for library in $libraries; do
    mkdir -p "$image$(dirname "$library")"
    cp -L "$library" "$image$library"
done
xargs -n1 dirname <<<"$libraries" | sort -u | paste -sd: >"$image/powercut/library-path"
# Modules with their dependencies first, as modprobe would load them.
for module in virtio_pci virtio_blk crc32c_generic ext4 dm-mod dm-log-writes dm-snapshot f2fs; do
    modprobe -d "$kernel/tree" -S "$kernel_version" --show-depends "$module" | awk '$1 == "insmod" {print $2}'
done | awk '!seen[$0]++' | while read -r module; do
    mkdir -p "$image$(dirname "${module#"$kernel/tree"}")"
    cp "$module" "$image${module#"$kernel/tree"}"
    echo "${module#"$kernel/tree"}"
done >"$image/powercut/modules"
(cd "$image" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"
# Other instruments boot the same machine with a scenario of their own (scripts/powercut/unchanged_writes.sh).
[ -z "${MORVANE_POWER_PREPARE_ONLY:-}" ] || exit 0

# machine <name> <cases...>: boots one machine with its own four disks and keeps its console in <name>.log.
machine() {
    local name=$1 disks=()
    shift
    # The cases go in a second archive after the shared one; the kernel unpacks both.
    rm -rf "$work/$name.cases"
    mkdir -p "$work/$name.cases/powercut"
    echo "$*" >"$work/$name.cases/powercut/configurations"
    (cd "$work/$name.cases" && find . | cpio -o -H newc --quiet | gzip -1) | cat "$work/initramfs.gz" - \
        >"$work/$name.initramfs.gz"
    for disk in data log base cow; do
        rm -f "$work/$name.disk-$disk"
        truncate -s "$([ "$disk" = log ] && echo 256M || echo 64M)" "$work/$name.disk-$disk"
        # Discards punch holes, so a discarded range reads as zeroes, as the replay writes it.
        disks+=(-drive "file=$work/$name.disk-$disk,if=none,id=$disk,format=raw,cache=unsafe,discard=unmap"
            -device "virtio-blk-pci,drive=$disk")
    done
    local booted=$SECONDS
    # Generous: a loaded host slows emulation several times over (about 2 minutes per machine on a quiet one).
    timeout 1500 qemu-system-x86_64 -machine pc,accel=tcg -cpu qemu64 -m 768 -smp 1 -nographic -no-reboot \
        -kernel "$kernel/tree/boot/vmlinuz-$kernel_version" -initrd "$work/$name.initramfs.gz" \
        -append "console=ttyS0 quiet panic=-1 rdinit=/init" "${disks[@]}" </dev/null >"$work/$name.log" 2>&1 || true
    echo "power cuts: the $name machine ran $((SECONDS - booted)) s"
}

echo "== power cuts: two machines ($(($(date +%s) - started)) s after the start)"
first_cases=${MORVANE_POWER_CASES_FIRST:-$first_cases}
second_cases=${MORVANE_POWER_CASES_SECOND:-$second_cases}
# shellcheck disable=SC2086 # (one argument per case)
machine first $first_cases &
first=$!
# shellcheck disable=SC2086
machine second $second_cases &
wait "$first" "$!"

# Verdict: no broken state with the real save; each weakened save broken somewhere.
status=0
results=$(cat "$work/first.log" "$work/second.log" | grep -a -o 'powercut: .*' | tr -d '\r')
echo "$results" | grep -v '^powercut: note' || true
for name in first second; do
    cases=${name}_cases
    expected=$(wc -w <<<"${!cases}")
    got=$(grep -a -c 'powercut: result ' "$work/$name.log" || true)
    if [ "$got" -ne "$expected" ]; then
        echo "power cuts: the $name machine finished $got of $expected cases (console: $work/$name.log)" >&2
        status=1
    fi
done
echo "== power cuts: weakened saves"
for save in "${saves[@]}"; do
    caught=$(echo "$results" | awk -v s="$save" '$2 == "result" && $5 == "save=" s ":" && $NF > 0 {print $3 " (" $4 ")"}' |
        paste -sd, | sed 's/,/, /g')
    if [ "$save" = none ]; then
        if [ -n "$caught" ]; then
            echo "power cuts: FAIL: the real save left broken states on $caught" >&2
            status=1
        fi
    elif [ -n "$caught" ]; then
        echo "   save=$save caught on: $caught"
    else
        echo "power cuts: FAIL: save=$save was caught nowhere" >&2
        status=1
    fi
done
echo "== power cuts: $(($(date +%s) - started)) s in all"
if [ "$status" -ne 0 ]; then
    exit 1
fi
echo "power cuts: no broken state with the real save, every weakened save caught"
