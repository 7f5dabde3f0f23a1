#!/usr/bin/env bash
# jsondoc's golden outputs (scripts/golden/check_golden.sh), on the host and on armhf under qemu, against the
# reference revision below: every document, number and stream setting of the driver must give the same bytes.
# Usage: scripts/ci_golden.sh [REVISION]   (default: the reference)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_ARMHF_PACKAGES[@]}"

# The last revision whose outputs were judged right. A change that alters an output on purpose moves it to itself
# and says in its message which outputs changed and why.
reference=${1:-ea83b5bf5bf29c0ead3b70dad3696a1bdda9ea93}
if ! git -C "$root" cat-file -e "$reference^{commit}" 2>/dev/null; then
  git -C "$root" fetch --quiet --unshallow origin || git -C "$root" fetch --quiet origin "$reference"
fi
bash "$root/scripts/golden/check_golden.sh" "$reference" host armhf
