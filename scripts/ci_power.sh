#!/usr/bin/env bash
# Power cuts below the page cache: the real tool runs in a small virtual machine (Debian's kernel under TCG) on a
# file system whose every write, flush and FUA is logged by dm-log-writes; every state a power cut could leave
# inside a run is then rebuilt from the log and checked (scripts/powercut/scenario.sh says how). Builds of the tool
# whose save skips a sync must be caught somewhere, or the rig proves nothing.
# The machine is either the unit's own architecture (armhf: 32-bit ARM, the armhf preset's build of the tool) or the
# host's (amd64, the host-release preset's build); kernel and guest userland are Debian packages of that
# architecture, downloaded and unpacked into build/power/cache, never installed.
# Usage: scripts/ci_power.sh [ARCH...]   (ARCH amd64 or armhf, both by default; work files in build/power/ARCH;
# MORVANE_POWER_CASES_FIRST and MORVANE_POWER_CASES_SECOND replace the cases of either machine, as space-separated
# FS:OPTIONS:SAVE)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"
rig=$root/scripts/powercut
saves=(none no-file-fsync no-dir-fsync)
# Two machines side by side, one per core, with about the same work: ext4 with default options and the real save
# under noauto_da_alloc; f2fs, and the weakened saves under noauto_da_alloc.
first_cases="ext4:defaults:none ext4:defaults:no-file-fsync ext4:defaults:no-dir-fsync ext4:noauto_da_alloc:none"
second_cases="f2fs:defaults:none f2fs:defaults:no-file-fsync f2fs:defaults:no-dir-fsync"
second_cases+=" ext4:noauto_da_alloc:no-file-fsync ext4:noauto_da_alloc:no-dir-fsync"
first_cases=${MORVANE_POWER_CASES_FIRST:-$first_cases}
second_cases=${MORVANE_POWER_CASES_SECOND:-$second_cases}
# The guest's programs; the tool's own libraries come from the host's (multiarch) packages it was built against.
userland_packages=(busybox-static e2fsck-static e2fsprogs f2fs-tools dmsetup)
modules=(virtio_pci virtio_blk crc32c_generic ext4 dm-mod dm-log-writes dm-snapshot f2fs)
architectures=("$@")
[ "${#architectures[@]}" -gt 0 ] || architectures=(amd64 armhf)
started=$(date +%s)

# settings <arch>: what differs between the two machines.
settings() {
    case $1 in
        amd64)
            kernel_flavour=amd64 preset=host-release cc=gcc user_qemu=qemu-x86_64 console=ttyS0
            loader=/lib64/ld-linux-x86-64.so.2 machine_package=qemu-system-x86
            machine_command=(qemu-system-x86_64 -machine "pc,accel=tcg" -cpu qemu64)
            ;;
        armhf)
            # The LPAE kernel finds virt's PCI above 4 GiB, where the plain one needs highmem=off.
            kernel_flavour=armmp-lpae preset=armhf cc=arm-linux-gnueabihf-gcc user_qemu=qemu-arm console=ttyAMA0
            loader=/lib/ld-linux-armhf.so.3 machine_package=qemu-system-arm
            machine_command=(qemu-system-arm -machine "virt,accel=tcg" -cpu cortex-a15)
            ;;
        *)
            echo "power cuts: unknown architecture '$1' (amd64 or armhf)" >&2
            exit 2
            ;;
    esac
}

packages=("${MORVANE_HOST_PACKAGES[@]}" kmod cpio gcc libc6-dev linux-libc-dev qemu-user)
for arch in "${architectures[@]}"; do
    settings "$arch"
    packages+=("$machine_package")
    [ "$arch" = armhf ] && packages+=("${MORVANE_ARMHF_PACKAGES[@]}")
done
morvane_ensure_packages "${packages[@]}"

# Whatever way the script ends, no machine keeps running and no scratch image stays behind.
cleanup() {
    local pidfile
    for pidfile in "$root"/build/power/*/*.pid; do
        [ -e "$pidfile" ] || continue
        kill "$(cat "$pidfile")" 2>/dev/null || true
        rm -f "$pidfile"
    done
    wait
    rm -rf "$root"/build/power/*/*.disk-* "$root"/build/power/*/*.cases "$root"/build/power/*/*initramfs*
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# download <dir> <package...>: the packages' files unpacked in <dir>/tree, fetched again only when the archive's
# versions differ from the unpacked ones.
download() {
    local dir=$1 key
    shift
    # A stale package list may name versions the archive no longer has.
    key=$(apt-get download --print-uris "$@" 2>/dev/null | awk '{print $2}' | sort) || key=""
    if [ -e "$dir/done" ] && [ -n "$key" ] && [ "$(cat "$dir/done")" = "$key" ]; then
        return 0
    fi
    rm -rf "$dir"
    mkdir -p "$dir"
    if ! (cd "$dir" && apt-get download "$@" >/dev/null 2>&1); then
        apt-get update -qq
        (cd "$dir" && apt-get download "$@" >/dev/null)
        key=$(apt-get download --print-uris "$@" 2>/dev/null | awk '{print $2}' | sort)
    fi
    local deb
    for deb in "$dir"/*.deb; do
        dpkg-deb -x "$deb" "$dir/tree"
    done
    rm -f "$dir"/*.deb
    echo "$key" >"$dir/done"
}

# dependencies <arch> <package...>: the packages with everything they depend on, for that architecture.
dependencies() {
    local arch=$1 native
    shift
    native=$(dpkg --print-architecture)
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
        --no-enhances "${@/%/:$arch}" | grep -v '^[ <]' | sort -u |
        awk -v arch="$arch" -v native="$native" '
            $0 ~ ":" arch "$" {print; next}
            arch == native && $0 !~ ":" {print $0 ":" arch}' | sort -u
}

# in_tree <tree> <path>: the file that <path> names inside <tree>, links followed inside it, or nothing.
in_tree() {
    local tree=$1 path=$2 target hops=0
    while [ -L "$tree$path" ] && [ "$hops" -lt 16 ]; do
        target=$(readlink "$tree$path")
        case $target in
            /*) path=$target ;;
            *) path=$(dirname "$path")/$target ;;
        esac
        hops=$((hops + 1))
    done
    [ -f "$tree$path" ] && echo "$tree$path"
}

# program <tree> <name>: the path of a program in an unpacked userland.
program() {
    local directory
    for directory in sbin usr/sbin bin usr/bin; do
        in_tree "$1" "/$directory/$2" && return 0
    done
    echo "power cuts: no $2 in $1" >&2
    return 1
}

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
        # Discards punch holes, so a discarded range reads as zeroes, as the replay writes it. PCI disks come up
        # in the order given, as the scenario's /dev/vda to /dev/vdd.
        disks+=(-drive "file=$work/$name.disk-$disk,if=none,id=$disk,format=raw,cache=unsafe,discard=unmap"
            -device "virtio-blk-pci,drive=$disk")
    done
    local booted=$SECONDS
    # Generous: a loaded host slows emulation several times over (about 2 minutes per machine on a quiet one).
    timeout 1500 "${machine_command[@]}" -m 768 -smp 1 -nographic -no-reboot \
        -kernel "$kernel/tree/boot/vmlinuz-$kernel_version" -initrd "$work/$name.initramfs.gz" \
        -append "console=$console quiet panic=-1 rdinit=/init" "${disks[@]}" </dev/null >"$work/$name.log" 2>&1 &
    echo $! >"$work/$name.pid"
    wait $! || true
    rm -f "$work/$name.pid" "$work/$name".disk-*
    echo "power cuts ($arch): the $name machine ran $((SECONDS - booted)) s"
}

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
    for save in "${saves[@]}"; do
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

# rig <arch>: the kernel, the tool and the userland of one architecture, its two machines and their verdict.
rig() {
    settings "$1"
    arch=$1
    work=$root/build/power/$arch
    local cache=$root/build/power/cache/$arch
    mkdir -p "$work"

    echo "== power cuts ($arch): Debian's current $kernel_flavour kernel, unpacked (never installed on this host)"
    local meta=linux-image-$kernel_flavour:$arch package
    package=$(apt-cache depends "$meta" 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    if [ -z "$package" ]; then
        apt-get update -qq
        package=$(apt-cache depends "$meta" 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    fi
    [ -n "$package" ] || { echo "power cuts: no concrete kernel package behind $meta" >&2; return 1; }
    package=${package%%:*}
    kernel_version=${package#linux-image-}
    kernel=$cache/kernel
    download "$kernel" "$package:$arch"
    [ -e "$kernel/tree/lib/modules/$kernel_version/modules.dep" ] || depmod -b "$kernel/tree" "$kernel_version"

    echo "== power cuts ($arch): the guest's programs, unpacked"
    local userland=$cache/userland
    # shellcheck disable=SC2046 # (one package a line)
    download "$userland" $(dependencies "$arch" "${userland_packages[@]}")
    userland=$userland/tree

    echo "== power cuts ($arch): the tool for a unit at /unit, once per save ($preset preset)"
    mkdir -p "$work/bin"
    for save in "${saves[@]}"; do
        cmake --preset "$preset" -S "$root" -B "$work/tool" -DMORVANE_BUILD_TESTS=OFF -DUNIT_ROOT=/unit \
            -DMORVANE_WEAKENED_SAVE="$save" >/dev/null
        cmake --build "$work/tool" --target morvane -j 2 >/dev/null
        cp "$work/tool/app/morvane" "$work/bin/morvane-$save"
    done
    cmake -S "$root" -B "$work/tool" -DMORVANE_WEAKENED_SAVE=none >/dev/null
    # Static, like the file system checker below: loading shared libraries is slow under emulation, and both run once
    # per checked state.
    "$cc" -std=c11 -static -O2 -Wall -Wextra -Wpedantic -Werror -o "$work/bin/replay_log" "$rig/replay_log.c"

    echo "== power cuts ($arch): initramfs"
    local image=$work/initramfs
    rm -rf "$image"
    mkdir -p "$image/bin" "$image/powercut/bin" "$image/etc"
    cp "$(program "$userland" busybox)" "$image/bin/busybox"
    cp "$rig/init" "$image/init"
    cp "$rig/scenario.sh" "$rig/sh-marking" "$image/powercut/"
    cp "$userland/etc/mke2fs.conf" "$image/etc/"
    cp "$work"/bin/* "$image/powercut/bin/"
    ln -s /powercut/bin/replay_log "$image/bin/replay_log"
    local programs=("$image"/powercut/bin/*) name
    cp "$(program "$userland" e2fsck.static)" "$image/bin/e2fsck"
    for name in dmsetup mkfs.ext4 mkfs.f2fs fsck.f2fs; do
        cp "$(program "$userland" "$name")" "$image/bin/$name"
        programs+=("$image/bin/$name")
    done
    # Shared libraries at the paths the guest's loader finds them: those of the unpacked userland first, then the
    # host's packages of that architecture (the tool's). The static programs need none.
    local libraries library source
    libraries=$(for name in "${programs[@]}"; do
        readelf -l "$name" | grep -q 'program interpreter' || continue
        "$user_qemu" -L "$userland" "$loader" --list "$name"
    done | grep -o '/[^ ]*\.so[^ ]*' | sort -u)
    for library in $libraries; do
        source=$(in_tree "$userland" "$library") || source=$library
        mkdir -p "$image$(dirname "$library")"
        cp -L "$source" "$image$library"
    done
    xargs -n1 dirname <<<"$libraries" | sort -u | paste -sd: >"$image/powercut/library-path"
    # Modules with their dependencies first, as modprobe would load them.
    for name in "${modules[@]}"; do
        modprobe -d "$kernel/tree" -S "$kernel_version" --show-depends "$name" | awk '$1 == "insmod" {print $2}'
    done | awk '!seen[$0]++' | while read -r name; do
        mkdir -p "$image$(dirname "${name#"$kernel/tree"}")"
        cp "$name" "$image${name#"$kernel/tree"}"
        echo "${name#"$kernel/tree"}"
    done >"$image/powercut/modules"
    (cd "$image" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"
    rm -rf "$image"

    echo "== power cuts ($arch): two machines ($(($(date +%s) - started)) s after the start)"
    # shellcheck disable=SC2086 # (one argument per case)
    machine first $first_cases &
    local first=$!
    # shellcheck disable=SC2086
    machine second $second_cases &
    wait "$first" "$!"
    verdict || status=1
}

status=0
for arch in "${architectures[@]}"; do
    rig "$arch"
done
echo "== power cuts: $(($(date +%s) - started)) s in all"
if [ "$status" -ne 0 ]; then
    exit 1
fi
echo "power cuts: no broken state with the real save, every weakened save caught (${architectures[*]})"
