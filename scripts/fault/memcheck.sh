#!/usr/bin/env bash
# Runs the real tool under valgrind's memcheck on a simulated unit: a block update, an audio data set update, a
# rejected document (which is dumped into the log and replaced), a failed update and a usage error. Every run must
# end with the tool's own exit status and without a memory error or a leak (definite, indirect or possible).
# Usage: scripts/fault/memcheck.sh   (builds the tool under build/faults; needs valgrind)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/simulated_unit.sh"
build_tool valgrind

valgrind_error=99
logs="$fault_build/memcheck"
rm -rf "$logs"
mkdir -p "$logs"
failures=0

# memcheck <name> <expected exit status> <expected document> <tool arguments...>
memcheck() {
    local name=$1 expected_status=$2 expected_document=$3 status=0
    shift 3
    valgrind --quiet --error-exitcode="$valgrind_error" --leak-check=full \
        --errors-for-leak-kinds=definite,indirect,possible --show-leak-kinds=definite,indirect,possible \
        --child-silent-after-fork=yes --log-file="$logs/$name.valgrind" "$tool" "$@" 2>"$logs/$name.log" || status=$?
    if [ "$status" -eq "$valgrind_error" ]; then
        failures=$((failures + 1))
        echo "FAIL: $name: memcheck found errors:" >&2
        cat "$logs/$name.valgrind" >&2
    elif [ "$status" -ne "$expected_status" ] || [ "$(document_state)" != "$expected_document" ]; then
        failures=$((failures + 1))
        echo "FAIL: $name: exit status $status and the $(document_state) document, expected $expected_status and" \
            "the $expected_document document" >&2
    else
        echo "   $name: exit status $status, no memory error, no leak"
    fi
}

echo "== memcheck of the tool"
reset_unit
memcheck block-update 0 new 4 1 "$version_file"
reset_unit
memcheck failed-update 1 old 4 1 "$fault_build/flash/missing.json"
reset_unit
memcheck usage-error 1 old 4 1
reset_unit
printf '%s' '{"NAD_Version_Info": [], "GTO_Version_Info": {}}' >"$document"
memcheck rejected-document 0 fresh 4 1 "$version_file"
reset_unit
memcheck audio-update 0 audio 4 1 "$version_file" SET_B

if [ "$failures" -ne 0 ]; then
    echo "memcheck: $failures failed runs (valgrind reports in $logs)" >&2
    exit 1
fi
echo "memcheck: no memory error and no leak in any run"
