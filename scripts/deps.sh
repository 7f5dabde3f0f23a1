# Sourced by the scripts: makes sure the Debian packages a build needs are there.
# As root it installs what is missing; otherwise it prints the exact command and stops.

MORVANE_HOST_PACKAGES=(cmake ninja-build g++ make pkg-config tar zlib1g-dev libgtest-dev libgmock-dev
  android-liblog-dev jq)
MORVANE_ARMHF_PACKAGES=(g++-arm-linux-gnueabihf qemu-user libc6:armhf libstdc++6:armhf zlib1g-dev:armhf
  libgtest-dev:armhf libgmock-dev:armhf android-liblog-dev:armhf)

morvane_missing_packages() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      printf '%s\n' "$package"
    fi
  done
}

# morvane_ensure_packages <package...>
morvane_ensure_packages() {
  local missing needs_armhf=0
  mapfile -t missing < <(morvane_missing_packages "$@")
  [ "${#missing[@]}" -eq 0 ] && return 0
  if printf '%s\n' "${missing[@]}" | grep -q ':armhf$'; then
    needs_armhf=1
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with:" >&2
    [ "$needs_armhf" -eq 1 ] && echo "  sudo dpkg --add-architecture armhf" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  if [ "$needs_armhf" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx armhf; then
    dpkg --add-architecture armhf
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
