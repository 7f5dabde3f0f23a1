#!/usr/bin/env bash
# Builds everything and runs every test: on the host, then cross-built for the armhf unit under qemu.
# Usage: scripts/test.sh [--host-only]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"

host_only=0
[ "${1:-}" = "--host-only" ] && host_only=1

packages=("${MORVANE_HOST_PACKAGES[@]}")
[ "$host_only" -eq 1 ] || packages+=("${MORVANE_ARMHF_PACKAGES[@]}")
morvane_ensure_packages "${packages[@]}"

jobs=$(nproc)

echo "== host build and tests"
cmake -S "$root" -B "$root/build/host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build/host" -j "$jobs"
ctest --test-dir "$root/build/host" --output-on-failure -j "$jobs"

[ "$host_only" -eq 1 ] && exit 0

echo "== armhf cross build and tests under qemu"
cmake -S "$root" -B "$root/build/armhf" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-armhf.cmake"
cmake --build "$root/build/armhf" -j "$jobs"
ctest --test-dir "$root/build/armhf" --output-on-failure -j "$jobs"
