#!/usr/bin/env bash
# Fails, one at a time, every openat, read, write, fsync, close and rename the real tool makes during a block update
# (the N-th call of each, for every N the run reaches) by injecting an error with strace, and checks what each run
# leaves: exit status 1 where the document could not be read or the save failed, 0 only with the new document on
# disk, the document byte-identical to the old or the new one, and no temporary file. Then fails the "sync" child's
# fork and exec: the run still succeeds; and the read of a rejected document's dump: the run goes on.
# Usage: scripts/fault/save_faults.sh        (builds the tool under build/faults; needs strace)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/simulated_unit.sh"
build_tool strace

work="$fault_build/save_faults"
rm -rf "$work"
mkdir -p "$work"

# run_traced <trace file> <strace options...>: one block update under strace; prints the exit status.
run_traced() {
    local trace=$1 status=0
    shift
    strace -f -qq -o "$trace" "$@" "$tool" 4 1 "$version_file" 2>"$work/log" || status=$?
    echo "$status"
}

# The calls of an undisturbed run, numbered per system call as strace counts them for the tool's own process, each
# with its part in the run: the loader's calls, the load, the save's steps, and what comes after the save.
reset_unit
baseline_status=$(run_traced "$work/baseline" -e trace=openat,read,write,fsync,close,rename)
if [ "$baseline_status" != 0 ] || [ "$(document_state)" != new ]; then
    echo "FAIL: the undisturbed run ended with $baseline_status and a $(document_state) document" >&2
    cat "$work/log" >&2
    exit 1
fi
awk -v versionfile="$version_file" '
    NR == 1 { main = $1 }
    $1 != main || $2 !~ /^(openat|read|write|fsync|close|rename)\(/ { next }
    {
        call = $2; sub(/\(.*/, "", call); n = ++count[call]
        args = $0; sub(/^[0-9]+ +[a-z]+\(/, "", args)
        result = $0; sub(/.*= /, "", result); sub(/ .*/, "", result)
        fd = args; sub(/[,)].*/, "", fd)
        label = phase
        if (call == "openat" && (index(args, "\".VersionInfo.json.lock\"") || index(args, "O_PATH"))) { label = "lock-open" }
        else if (call == "openat" && index(args, "/VersionInfo.json\"") && phase == "loader") { label = "document-open"; doc = result; phase = "load" }
        else if (phase == "load" && call == "read" && fd == doc) { label = "document-read" }
        else if (call == "openat" && index(args, "\"" versionfile "\"")) { label = "versionfile-open"; version = result; doc = "" }
        else if (phase == "load" && call == "read" && fd == version) { label = "versionfile-read" }
        else if (call == "openat" && index(args, "/VersionInfo.json\"") && phase == "load") { label = "compare-open"; version = ""; compare = result }
        else if (phase == "load" && call == "read" && fd == compare) { label = "compare-read" }
        else if (call == "openat" && index(args, "/.VersionInfo.json.")) { label = "temporary-open"; temp = result; phase = "save" }
        else if (phase == "save" && fd == temp && call != "openat") { label = "temporary-" call; if (call == "close") temp = "" }
        else if (call == "rename") { label = "rename"; phase = "renamed" }
        else if (phase == "renamed" && call == "openat" && index(args, "O_DIRECTORY")) { label = "directory-open"; dir = result }
        else if (phase == "renamed" && fd == dir && call == "fsync") { label = "directory-fsync" }
        else if (phase == "renamed" && fd == dir && call == "close") { label = "directory-close"; phase = "after-save" }
        print call, n, label
    }
' phase=loader "$work/baseline" >"$work/calls"

# expected <label>: the exit status and document a run must end with when that call fails ("any" for the loader,
# whose failures end the process before the tool runs or are ignored by it).
expected() {
    case "$1" in
        temporary-* | rename | versionfile-*) echo "1 old" ;;
        directory-open | directory-fsync) echo "1 new" ;;
        document-*) echo "1 old" ;; # a document that is there but cannot be read is never replaced
        lock-open) echo "1 old" ;;  # a lock that cannot be taken ends the run before the load
        compare-*) echo "0 new" ;;  # the look at the old content only spares an unchanged save; the save goes on
        loader) echo "any" ;;
        *) echo "0 new" ;;
    esac
}

declare -A outcomes=()
failures=0
runs=0
injected=0

# check <what> <status> <expectation>: the invariants of every run, then the expectation of the failed call.
check() {
    local what=$1 status=$2 expectation=$3 state problem=""
    state=$(document_state)
    outcomes["status $status, $state document"]=$((${outcomes["status $status, $state document"]:-0} + 1))
    if [ "$status" -gt 128 ]; then
        problem="ended by signal $((status - 128))"
    elif [ "$(leftovers)" -ne 0 ]; then
        problem="left a temporary file"
    elif [ "$state" = broken ] || [ "$state" = missing ]; then
        problem="left a $state document"
    elif [ "$status" = 0 ] && [ "$state" = old ]; then
        problem="succeeded without storing the update"
    elif [ "$expectation" != any ] && [ "$expectation" != "$status $state" ]; then
        problem="ended with status $status and the $state document, expected $expectation"
    fi
    if [ -n "$problem" ]; then
        failures=$((failures + 1))
        echo "FAIL: $what: $problem" >&2
        sed 's/^/    /' "$work/log" >&2
    fi
}

# inject <syscall> <N> <errno> <label> <expectation> [strace options]: fails the N-th call and checks the run.
inject() {
    local call=$1 n=$2 error=$3 label=$4 expectation=$5 status
    shift 5
    reset_unit
    [ -z "${start_document:-}" ] || printf '%s' "$start_document" >"$document"
    status=$(run_traced "$work/trace" "$@" -e trace="$call" -e inject="$call:error=$error:when=$n")
    runs=$((runs + 1))
    if grep -q "INJECTED" "$work/trace"; then
        injected=$((injected + 1))
    else
        failures=$((failures + 1))
        echo "FAIL: $call #$n ($label): no call was failed" >&2
    fi
    check "$call #$n ($label) failing with $error" "$status" "$expectation"
}

declare -A errors=([openat]=EMFILE [read]=EIO [write]=ENOSPC [fsync]=EIO [close]=EIO [rename]=ENOSPC)
while read -r call n label; do
    inject "$call" "$n" "${errors[$call]}" "$label" "$(expected "$label")"
    # An interrupted write is resumed, so the save goes through.
    if [ "$label" = temporary-write ]; then
        inject write "$n" EINTR "$label" "0 new"
    fi
done <"$work/calls"

# The "sync" child that follows the save: neither a failed fork nor a failed exec may fail the run.
inject clone 1 EAGAIN "fork of the sync child" "0 new"
grep -q "Sync Failed" "$work/log" || { failures=$((failures + 1)); echo "FAIL: the failed fork was not logged" >&2; }
inject execve 1 ENOENT "exec of the sync child" "0 new" -P /bin/sh
grep -q "execve failed" "$work/log" || { failures=$((failures + 1)); echo "FAIL: the failed exec was not logged" >&2; }
# A rejected document is read twice, whole (two reads) and for its dump: a failed dump is logged and the run goes on.
start_document='{}' inject read 3 EIO "read of a rejected document's dump" "0 fresh" -P "$document"
grep -q "Reading the stream failed(Input/output error)" "$work/log" ||
    { failures=$((failures + 1)); echo "FAIL: the failed dump was not logged" >&2; }

echo "== save faults: $runs runs, $injected faults injected, $(grep -vc ' loader$' "$work/calls") calls after the loader"
awk '{ print $3 }' "$work/calls" | sort | uniq -c | sed 's/^/   calls: /'
for outcome in "${!outcomes[@]}"; do
    echo "   outcome: ${outcomes[$outcome]} x $outcome"
done | sort
if [ "$failures" -ne 0 ]; then
    echo "save faults: $failures failed checks" >&2
    exit 1
fi
echo "save faults: all checks passed"
