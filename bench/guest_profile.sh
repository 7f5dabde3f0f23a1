#!/usr/bin/env bash
# Guest instructions per function of one jsondoc operation on the unit's build, counted from qemu-arm's own block
# trace (no profiler runs under the emulator, and Debian's qemu-user has no plugins): each block's instructions
# as translated, times the number of times it ran. Deterministic; some 8 minutes for a 2 MiB document.
#
# Usage: bench/guest_profile.sh parse|write FILE   ("write" is given less the parse of the same document)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/deps.sh"
source "$root/bench/bench_common.sh"

case "${1:-}" in
  parse | write) ;;
  *)
    echo "usage: bench/guest_profile.sh parse|write FILE" >&2
    exit 2
    ;;
esac
operation=$1
file=$(realpath -- "$2")
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" "${MORVANE_ARMHF_PACKAGES[@]}" "${MORVANE_BENCH_PACKAGES[@]}" \
  "${MORVANE_BENCH_ARMHF_PACKAGES[@]}"
bench_configure_armhf
cmake --build "$BENCH_ARMHF_BUILD" -j2 --target json_profile >/dev/null
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

# Prints "instructions symbol" per function: blocks are keyed by their start address, whose size the in_asm log
# gives at translation and whose runs the exec log gives, one line per run (nochain makes every run visible).
count() {
  qemu-arm -d in_asm,exec,nochain -D /dev/fd/3 "$BENCH_ARMHF_BUILD/bench/json_profile" "$1" "$file" 3>&1 \
    >/dev/null 2>/dev/null |
    awk '
      /^IN:/ { block = 1; start = ""; next }
      block && /^0x[0-9a-f]+:/ { a = substr($1, 3, length($1) - 3); sub(/^0+/, "", a)
                                  if (start == "") { start = a; size[start] = 0 } size[start]++; next }
      block && /^$/ { block = 0; next }
      /^Trace/ { split(substr($0, index($0, "[") + 1), f, "/"); pc = f[2]; sub(/^0+/, "", pc)
                 runs[pc]++; name[pc] = substr($0, index($0, "] ") + 2); next }
      END { for (pc in runs) by[name[pc]] += runs[pc] * size[pc]; for (s in by) print by[s], s }'
}
count parse >"$work/parse"
if [ "$operation" = write ]; then
  # The parse's own total comes free with it, so that one run gives both figures.
  echo "parse $(basename -- "$file"): $(awk '{ t += $1 } END { print t }' "$work/parse") guest instructions"
  count write >"$work/write"
  # The parse's counts taken away function by function.
  awk 'NR == FNR { base[substr($0, index($0, " ") + 1)] = $1; next }
       { s = substr($0, index($0, " ") + 1); n = $1 - base[s]; if (n > 0) print n, s }' "$work/parse" "$work/write" \
    >"$work/result"
else
  mv "$work/parse" "$work/result"
fi
total=$(awk '{ t += $1 } END { print t }' "$work/result")
echo "$operation $(basename -- "$file"): $total guest instructions"
sort -rn "$work/result" | head -25 | c++filt | awk -v t="$total" '{ n = $1; $1 = ""; printf "%6.2f%% %s\n", 100 * n / t, substr($0, 1, 150) }'
