# shellcheck shell=bash
# Sourced by the instruments that boot the power-cut machine (scripts/ci_power.sh, unchanged_writes.sh beside this
# file): the machine of one architecture with Debian's kernel under TCG, the tool's builds, the guest's programs
# and libraries in an initramfs, and the machine stopped and its disks removed however the caller ends.
# The caller sets root (the checkout) and sources scripts/deps.sh first. Architectures: amd64 (the host-release
# preset's build of the tool) and armhf (the unit's: a 32-bit ARM kernel and the armhf preset's build). Kernel and
# guest programs are that architecture's Debian packages, unpacked into build/power/cache/ARCH, never installed.
power_rig=${root:?}/scripts/powercut
power_saves=(none no-file-fsync no-dir-fsync)
# The guest's programs; the tool's own libraries come from the host's (multiarch) packages it was built against.
power_userland_packages=(busybox-static e2fsck-static e2fsprogs f2fs-tools dmsetup)
power_modules=(virtio_pci virtio_blk crc32c_generic ext4 dm-mod dm-log-writes dm-snapshot f2fs)

# power_settings <arch>: what differs between the two machines.
power_settings() {
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

# power_ensure_packages <arch...>: the host's packages that building and booting those machines need.
power_ensure_packages() {
    local packages=("${MORVANE_HOST_PACKAGES[@]}" kmod cpio gcc libc6-dev linux-libc-dev qemu-user) arch
    for arch in "$@"; do
        power_settings "$arch"
        packages+=("$machine_package")
        [ "$arch" = armhf ] && packages+=("${MORVANE_ARMHF_PACKAGES[@]}")
    done
    morvane_ensure_packages "${packages[@]}"
}

# Whatever way the script ends, no machine keeps running and no scratch image stays behind.
power_cleanup() {
    local pidfile
    for pidfile in "$root"/build/power/*/*.pid; do
        [ -e "$pidfile" ] || continue
        kill "$(cat "$pidfile")" 2>/dev/null || true
        rm -f "$pidfile"
    done
    wait
    rm -rf "$root"/build/power/*/*.disk-* "$root"/build/power/*/*.cases "$root"/build/power/*/*initramfs*
}
# power_traps: the caller's exit, interrupted or not, runs power_cleanup.
power_traps() {
    trap power_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
}

# power_download <dir> <package...>: the packages' files unpacked in <dir>/tree, fetched again only when the archive's
# versions differ from the unpacked ones.
power_download() {
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

# power_dependencies <arch> <package...>: the packages with everything they depend on, for that architecture.
power_dependencies() {
    local arch=$1 native
    shift
    native=$(dpkg --print-architecture)
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
        --no-enhances "${@/%/:$arch}" | grep -v '^[ <]' | sort -u |
        awk -v arch="$arch" -v native="$native" '
            $0 ~ ":" arch "$" {print; next}
            arch == native && $0 !~ ":" {print $0 ":" arch}' | sort -u
}

# power_in_tree <tree> <path>: the file that <path> names inside <tree>, links followed inside it, or nothing.
power_in_tree() {
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

# power_program <tree> <name>: the path of a program in an unpacked userland.
power_program() {
    local directory
    for directory in sbin usr/sbin bin usr/bin; do
        power_in_tree "$1" "/$directory/$2" && return 0
    done
    echo "power cuts: no $2 in $1" >&2
    return 1
}

# power_prepare <arch>: the kernel, the tool and the userland of one architecture and the machine's initramfs;
# sets work (build/power/ARCH) and what power_machine needs.
power_prepare() {
    power_settings "$1"
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
    [ -n "$package" ] || { echo "power cuts: no concrete kernel package behind $meta" >&2; exit 1; }
    package=${package%%:*}
    kernel_version=${package#linux-image-}
    kernel=$cache/kernel
    power_download "$kernel" "$package:$arch"
    [ -e "$kernel/tree/lib/modules/$kernel_version/modules.dep" ] || depmod -b "$kernel/tree" "$kernel_version"

    echo "== power cuts ($arch): the guest's programs, unpacked"
    local userland=$cache/userland
    # shellcheck disable=SC2046 # (one package a line)
    power_download "$userland" $(power_dependencies "$arch" "${power_userland_packages[@]}")
    userland=$userland/tree

    echo "== power cuts ($arch): the tool for a unit at /unit, once per save ($preset preset)"
    mkdir -p "$work/bin"
    for save in "${power_saves[@]}"; do
        cmake --preset "$preset" -S "$root" -B "$work/tool" -DMORVANE_BUILD_TESTS=OFF -DUNIT_ROOT=/unit \
            -DMORVANE_WEAKENED_SAVE="$save" >/dev/null
        cmake --build "$work/tool" --target morvane -j 2 >/dev/null
        cp "$work/tool/app/morvane" "$work/bin/morvane-$save"
    done
    cmake -S "$root" -B "$work/tool" -DMORVANE_WEAKENED_SAVE=none >/dev/null
    # Static, like the file system checker below: loading shared libraries is slow under emulation, and both run once
    # per checked state.
    "$cc" -std=c11 -static -O2 -Wall -Wextra -Wpedantic -Werror -o "$work/bin/replay_log" "$power_rig/replay_log.c"

    echo "== power cuts ($arch): initramfs"
    local image=$work/initramfs
    rm -rf "$image"
    mkdir -p "$image/bin" "$image/powercut/bin" "$image/etc"
    cp "$(power_program "$userland" busybox)" "$image/bin/busybox"
    cp "$power_rig/init" "$image/init"
    cp "$power_rig/scenario.sh" "$power_rig/sh-marking" "$image/powercut/"
    cp "$userland/etc/mke2fs.conf" "$image/etc/"
    cp "$work"/bin/* "$image/powercut/bin/"
    ln -s /powercut/bin/replay_log "$image/bin/replay_log"
    local programs=("$image"/powercut/bin/*) name
    cp "$(power_program "$userland" e2fsck.static)" "$image/bin/e2fsck"
    for name in dmsetup mkfs.ext4 mkfs.f2fs fsck.f2fs; do
        cp "$(power_program "$userland" "$name")" "$image/bin/$name"
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
        source=$(power_in_tree "$userland" "$library") || source=$library
        mkdir -p "$image$(dirname "$library")"
        cp -L "$source" "$image$library"
    done
    xargs -n1 dirname <<<"$libraries" | sort -u | paste -sd: >"$image/powercut/library-path"
    # Modules with their dependencies first, as modprobe would load them.
    for name in "${power_modules[@]}"; do
        modprobe -d "$kernel/tree" -S "$kernel_version" --show-depends "$name" | awk '$1 == "insmod" {print $2}'
    done | awk '!seen[$0]++' | while read -r name; do
        mkdir -p "$image$(dirname "${name#"$kernel/tree"}")"
        cp "$name" "$image${name#"$kernel/tree"}"
        echo "${name#"$kernel/tree"}"
    done >"$image/powercut/modules"
    (cd "$image" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"
    rm -rf "$image"
}

# power_machine <name> <scenario> <configurations...>: boots one machine of the prepared architecture with its own
# four disks, running the scenario (scenario.sh when empty) over the configurations; its console goes to
# build/power/ARCH/<name>.log.
power_machine() {
    local name=$1 scenario=$2 disks=()
    shift 2
    # The cases, and another scenario, go in a second archive after the shared one; the kernel unpacks both, the
    # second over the first.
    rm -rf "$work/$name.cases"
    mkdir -p "$work/$name.cases/powercut"
    echo "$*" >"$work/$name.cases/powercut/configurations"
    [ -z "$scenario" ] || cp "$scenario" "$work/$name.cases/powercut/scenario.sh"
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
    rm -rf "$work/$name.pid" "$work/$name".disk-* "$work/$name.cases" "$work/$name.initramfs.gz"
    echo "power cuts ($arch): the $name machine ran $((SECONDS - booted)) s"
}
