#!/usr/bin/env bash
# The glue in integration/ driven by the real download frameworks from Debian, SWUpdate and RAUC: each installs blocks
# and the audio data set and has morvane record them, first with a host build whose unit lives in the build tree, then
# with the armhf build under qemu-user in the same glue. Needs root (RAUC mounts its bundles on loop devices).
# Usage: scripts/ci_integration.sh [host|armhf]...   (default: both; MORVANE_INTEGRATION_BUILD overrides the build
# directory, build/integration)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_ARMHF_PACKAGES[@]}" swupdate rauc squashfs-tools \
    openssl dbus cpio util-linux coreutils

build=${MORVANE_INTEGRATION_BUILD:-$root/build/integration}
flavors=("$@")
[ "${#flavors[@]}" -gt 0 ] || flavors=(host armhf)
status=0
for flavor in "${flavors[@]}"; do
    case $flavor in
        host) toolchain=() runner="" ;;
        armhf) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-armhf.cmake") runner="qemu-arm -L /" ;;
        *) echo "unknown build: $flavor (host or armhf)" >&2; exit 2 ;;
    esac
    echo "== integration: building morvane ($flavor)"
    cmake -S "$root" -B "$build/$flavor" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DMORVANE_BUILD_TESTS=OFF -DUNIT_ROOT="$build/unit" >/dev/null
    cmake --build "$build/$flavor" --target morvane -j 2 >/dev/null
    for framework in swupdate rauc; do
        MORVANE_UNIT="$build/unit" MORVANE_TOOL="$build/$flavor/app/morvane" MORVANE_RUNNER="$runner" \
            bash "$root/scripts/integration/$framework.sh" || status=1
    done
done
exit "$status"
