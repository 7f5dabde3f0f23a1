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

cd "$root"
jobs=$(nproc)
presets=(host-release)
[ "$host_only" -eq 1 ] || presets+=(armhf)
for preset in "${presets[@]}"; do
  echo "== $preset: build and tests"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
