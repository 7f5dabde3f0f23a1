#!/usr/bin/env bash
# Starts the real tool on a block update again and again and kills it with SIGKILL at instants spread over its run:
# two in three up to the instant an undisturbed run replaces the document, the rest over the whole run. After every
# kill the document must be the old one or the new one, byte for byte. A kill between the creation of the temporary
# file and the rename leaves that file behind; the next complete save removes such leftovers, and a last
# undisturbed run must succeed and leave none.
# Usage: scripts/fault/crash_kills.sh [runs]   (default: MORVANE_KILL_RUNS, or 300; MORVANE_KILL_SEED seeds the spread)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/simulated_unit.sh"
build_tool

runs=${1:-${MORVANE_KILL_RUNS:-300}}
RANDOM=${MORVANE_KILL_SEED:-6}
runner="$fault_build/kill_runner"
c++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -Werror -o "$runner" "$(dirname "${BASH_SOURCE[0]}")/kill_runner.cpp"
log="$fault_build/crash_kills.log"

# The instants of an undisturbed run (the median of five): when the document is replaced, and when the tool ends.
reset_unit
saves=()
ends=()
for _ in 1 2 3 4 5; do
    printf '%s' "$doc_old" >"$document"
    read -r replaced exited < <("$runner" measure "$document" "$tool" 4 1 "$version_file" 2>>"$log")
    [ "$(document_state)" = new ] || { echo "FAIL: an undisturbed run left the $(document_state) document" >&2; exit 1; }
    saves+=("$replaced")
    ends+=("$exited")
done
save_end=$(printf '%s\n' "${saves[@]}" | sort -n | sed -n 3p)
run_end=$(printf '%s\n' "${ends[@]}" | sort -n | sed -n 3p)
echo "== crash kills: undisturbed run replaces the document after ${save_end} us and ends after ${run_end} us"

# random_below <n>: a number from 0 to n-1, from two draws of the seeded generator.
random_below() {
    echo $(((RANDOM * 32768 + RANDOM) % $1))
}

declare -A outcomes=()
failures=0
inside=0
for ((i = 1; i <= runs; i++)); do
    if ((i % 3 == 0)); then
        delay=$(random_below $((run_end + 1)))
    else
        delay=$(random_below $((save_end + 1)))
    fi
    printf '%s' "$doc_old" >"$document"
    before=$(leftovers)
    result=$("$runner" kill "$delay" "$tool" 4 1 "$version_file" 2>>"$log")
    state=$(document_state)
    left=$(($(leftovers) - before))
    case "$result,$state,$left" in
        "exited 0,new,$((-before))") outcome="finished before the kill" ;;
        "killed,old,0") outcome="killed before the save" ;;
        "killed,old,1") outcome="killed inside the save (temporary file left, old document)"; inside=$((inside + 1)) ;;
        "killed,new,0" | "killed,new,-"*) outcome="killed after the rename (new document)" ;;
        *)
            outcome="FAILED"
            failures=$((failures + 1))
            echo "FAIL: run $i, kill after $delay us: $result, $state document, $left new temporary files" >&2
            ;;
    esac
    outcomes[$outcome]=$((${outcomes[$outcome]:-0} + 1))
done

# The leftovers of the killed saves (one more, should the last runs have cleaned up) must not disturb a complete
# run, which removes them.
printf '%s' "$doc_old" >"$document"
: >"$swdl/.VersionInfo.json.Last01"
before=$(leftovers)
status=0
"$tool" 4 1 "$version_file" 2>>"$log" || status=$?
if [ "$status" -ne 0 ] || [ "$(document_state)" != new ] || [ "$(leftovers)" -ne 0 ]; then
    failures=$((failures + 1))
    echo "FAIL: a run beside $before leftovers ended with $status, the $(document_state) document and $(leftovers) left" >&2
fi

echo "== crash kills: $runs runs, $inside kills inside the save window, $before temporary files left before the last"
for outcome in "${!outcomes[@]}"; do
    echo "   ${outcomes[$outcome]} x $outcome"
done | sort -rn
if [ "$failures" -ne 0 ]; then
    echo "crash kills: $failures failed checks (tool output in $log)" >&2
    exit 1
fi
echo "crash kills: every document was complete"
