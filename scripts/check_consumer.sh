#!/usr/bin/env bash
# Checks the packages as an outside tool's developer meets them: the development packages of amd64 and armhf
# install side by side (with the tool, which runs) into a throwaway root; an own project (scripts/consumer) built against that
# root with find_package installs a program that starts on the host with no LD_LIBRARY_PATH; the same project
# cross-built for armhf with the installed toolchain file runs under qemu; a jsondoc-only project configures and
# runs where the log library is missing, while asking for everything there fails and names the missing library.
# Expects the host-release and armhf presets built (scripts/test.sh); scripts/check_package.sh runs it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_ARMHF_PACKAGES[@]}" dpkg file
cd "$root"

work=$(mktemp -d /tmp/morvane_consumer_XXXXXX)
trap 'rm -rf "$work"' EXIT

for preset in host-release armhf; do
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
  (cd "build/$preset" && cpack -G DEB >/dev/null)
done
tool_deb=$(ls build/host-release/morvane_*_amd64.deb)
dev_amd64=$(ls build/host-release/libmorvane-dev_*_amd64.deb)
dev_armhf=$(ls build/armhf/libmorvane-dev_*_armhf.deb)

echo "== the tool and both development packages, side by side in a throwaway root"
# Its own package database: the machine's own packages stay as they are. Dependencies are the machine's.
target="$work/root"
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
touch "$target/var/lib/dpkg/status"
dpkg --root="$target" --add-architecture armhf
dpkg --root="$target" --force-depends --force-not-root --log=/dev/null -i "$tool_deb" "$dev_amd64" "$dev_armhf" \
  >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }
for package in morvane:amd64 libmorvane-dev:amd64 libmorvane-dev:armhf; do
  dpkg-query --admindir="$target/var/lib/dpkg" -W -f='${db:Status-Status}\n' "$package" | grep -qx installed ||
    { echo "$package is not installed" >&2; exit 1; }
done
if dpkg-deb --contents "$tool_deb" | grep -q '/include/\|\.a$\|/cmake/'; then
  echo "the tool's package holds development files" >&2
  exit 1
fi
echo "morvane, libmorvane-dev:amd64 and libmorvane-dev:armhf installed together"
dpkg-deb --field "$(ls build/armhf/morvane_*_armhf.deb)" Architecture | grep -qx armhf
set +e
"$target/usr/bin/morvane" 2>"$work/log"
status=$?
set -e
grep -q "Usage: morvane BlockID SystemID Path_to_VersionFile" "$work/log"
[ "$status" -eq 1 ]
echo "the installed tool runs and answers a usage error with status 1"

prefix="$target/usr"
toolchain="$prefix/share/morvane/toolchain-armhf.cmake"
strict=(-G Ninja -DCMAKE_PREFIX_PATH="$prefix" "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Wpedantic -Werror")

# consumer <name> <expected machine> <runner...>: builds and installs the project, runs the installed program.
consumer() {
  local name=$1 machine=$2
  shift 2
  local build="$work/$name"
  cmake --build "$build" >/dev/null
  cmake --install "$build" --prefix "$build/installed" >/dev/null
  local program=$build/installed/bin/consumer
  file -L "$program" | grep -q "$machine" || { echo "$name: not a $machine program" >&2; exit 1; }
  # No LD_LIBRARY_PATH: the run path the package gave it must lead to the log library.
  (cd "$work" && env -u LD_LIBRARY_PATH "$@" "$program" "$work/$name.json" 2>"$work/$name.log") |
    grep -qx "consumer: ok" || { cat "$work/$name.log" >&2; exit 1; }
  echo "$name: the installed program runs"
}

echo "== host: an own project built against the installed package"
cmake -S scripts/consumer -B "$work/host" "${strict[@]}" >/dev/null
consumer host x86-64

echo "== armhf: the same project cross-built with the installed toolchain file, run under qemu"
cmake -S scripts/consumer -B "$work/armhf" "${strict[@]}" -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
consumer armhf ARM qemu-arm -L /

echo "== jsondoc alone, where the log library is missing"
missing_log=(-DCMAKE_IGNORE_PATH="/usr/lib/$(gcc -print-multiarch)/android")
cmake -S scripts/consumer -B "$work/jsondoc" "${strict[@]}" "${missing_log[@]}" -DCONSUMER_JSONDOC_ONLY=ON >/dev/null
cmake --build "$work/jsondoc" >/dev/null
"$work/jsondoc/consumer_jsondoc" | grep -qx '{"Version": "2.4.1"}'
if cmake -S scripts/consumer -B "$work/all" "${strict[@]}" "${missing_log[@]}" >"$work/all.log" 2>&1; then
  echo "asking for every component succeeded without the log library" >&2
  exit 1
fi
tr -s ' \n' ' ' <"$work/all.log" | grep -q "component logging needs the Android log library" ||
  { cat "$work/all.log" >&2; exit 1; }
echo "jsondoc alone configures and runs; asking for logging names the missing library"
