#!/usr/bin/env bash
# Checks what integrators get: the manual page renders without warnings; the installed CMake package and pkg-config
# files let a consumer build and run against the libraries, for the host and for armhf; so do the examples of the
# guides in docs/, whose code and shown output must match the pages; the Debian packages install side by side and an
# outside tool builds against them (scripts/check_consumer.sh). Expects the host-release and armhf presets built
# (scripts/test.sh).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_ARMHF_PACKAGES[@]}" man-db groff-base dpkg
cd "$root"

work=$(mktemp -d /tmp/morvane_package_XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== manual page"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l man/morvane.1 2>&1 >/dev/null || true)
if [ -n "$warnings" ]; then
  echo "man reports warnings:" >&2
  echo "$warnings" >&2
  exit 1
fi
echo "morvane(1) renders without warnings"

for preset in host-release armhf; do
  echo "== $preset: install"
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
  prefix="$work/$preset/prefix"
  cmake --install "build/$preset" --prefix "$prefix" >/dev/null
  toolchain=()
  runner=()
  if [ "$preset" = armhf ]; then
    toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-armhf.cmake")
    runner=(qemu-arm -L /)
  fi
  echo "== $preset: the guides' examples, built against the installed package and run"
  cmake -S examples -B "$work/$preset/examples" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" "${toolchain[@]}" \
    -DCMAKE_CXX_FLAGS=-Werror >/dev/null
  cmake --build "$work/$preset/examples" >/dev/null
  # The updater is not installed; its guide's example comes from the tree's own build.
  cp "build/$preset/tests/updater_store_version" "$work/$preset/examples/"
  scripts/check_docs.sh "$work/$preset/examples" "${runner[@]}"
  test -f "$prefix/share/man/man1/morvane.1"
  test -f "$prefix/share/doc/morvane/status.md"
  "${runner[@]}" "$prefix/bin/morvane" 2>/dev/null && { echo "installed tool accepted no arguments" >&2; exit 1; }
done

echo "== pkg-config consumers (host): examples built with the flags pkg-config gives, one per library"
prefix="$work/host-release/prefix"
multiarch=$(gcc -print-multiarch)
export PKG_CONFIG_PATH="$prefix/lib/$multiarch/pkgconfig"
for example in jsondoc/read_document utils/checksums logging/platform_log; do
  # shellcheck disable=SC2046 # (pkg-config's flags are separate words)
  g++ -std=c++17 -Iexamples "examples/$example.cpp" -o "$work/pc_consumer" \
    $(pkg-config --cflags --libs morvane-jsondoc morvane-utils morvane-logging)
  "$work/pc_consumer" >/dev/null
done

echo "== Debian packages and an outside tool's project against them"
bash scripts/check_consumer.sh
