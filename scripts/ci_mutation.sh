#!/usr/bin/env bash
# A few mutants of the logging module, so that the mutation check itself keeps working: each one gets an outcome,
# and the tree it reads is left as it was.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" python3
count=4
sources() { (cd "$root" && find app logging common updater utils jsondoc -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(sources)
report=$(python3 "$root/scripts/mutation.py" --tree "$root" --count "$count" --seed 11 --modules logging \
    --jobs "$(nproc)" --timeout 60)
echo "$report"
awk -v n="$count" '$1 == "logging" && $2 + $3 + $4 == n {found = 1} END {exit !found}' <<<"$report" ||
    { echo "mutation smoke: not every mutant got an outcome" >&2; exit 1; }
[ "$(sources)" = "$before" ] || { echo "mutation smoke: the tree's sources changed" >&2; exit 1; }
echo "mutation smoke: $count mutants run, the tree untouched"
