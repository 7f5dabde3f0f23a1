#!/usr/bin/env bash
# Overlapping runs of the real tool, as the download process may start them: rounds of ten writers released
# together, one for every slot of every block and one for the audio data set, each with a version of its own. After
# every round the document must parse and hold the version of every run that exited 0, no run may exit 1 but by the
# lock's time-out, no temporary file may be left and exactly one lock file must exist. Then the same rounds with one
# writer killed at a random instant (the others all land; its temporary file is gone after the next run), a lock
# holder stopped past the wait limit (the others give up with the time-out message and write nothing; the holder
# completes once it goes on), rounds with something other than a lock file in its place, or writers of a second
# identity, or a world-writable directory (every run either stores its version or is refused, as the case says), and
# two processes saving one file through the library in loops.
# Usage: scripts/fault/concurrent_runs.sh [rounds]   (default: MORVANE_CONCURRENT_ROUNDS, or 20;
# MORVANE_CONCURRENT_SEED seeds the kill instants)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/simulated_unit.sh"
build_tool python3 util-linux

rounds=${1:-${MORVANE_CONCURRENT_ROUNDS:-20}}
RANDOM=${MORVANE_CONCURRENT_SEED:-19}
work="$fault_build/concurrent"
rm -rf "$work"
mkdir -p "$work/lib"
runner="$fault_build/kill_runner"
c++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -Werror -o "$runner" "$here/kill_runner.cpp"
c++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -Werror -I"$fault_source" -o "$work/save_loop" "$here/save_loop.cpp" \
    "$fault_source/updater/durable_file.cpp" "$fault_source/utils/fd_io.cpp" \
    "$fault_source/utils/system_calls.cpp"

slots=("3 0" "4 0" "4 1" "5 0" "6 0" "7 0" "8 0" "8 1" "9 0" audio)
gate="$work/gate"
timed_out="timed out after"
lost=0 written=0 spurious=0 timeouts=0 refused=0 failures=0 total=0

fail() {
    failures=$((failures + 1))
    echo "FAIL: $*" >&2
}

# start_writer <slot index> <version> [runner words...]: one run of the tool on the slot, held at the gate until the
# round is released; its pid goes to pids[slot].
declare -a pids=()
start_writer() {
    local i=$1 version=$2 args block slot
    shift 2
    printf '{"Version": "%s"}' "$version" >"$work/v$i.json"
    if [ "${slots[$i]}" = audio ]; then
        args=(0 0 "$work/v$i.json" "SET_$version")
    else
        read -r block slot <<<"${slots[$i]}"
        args=("$block" "$slot" "$work/v$i.json")
    fi
    echo "${slots[$i]/ /:} $version" >"$work/slot$i"
    (flock -s "${writer_gate:-$gate}" true && exec "$@" "$tool" "${args[@]}") >"$work/out$i" 2>"$work/log$i" &
    pids[i]=$!
}

# finish_writer <slot index>: waits for the run and adds its exit status to its line of the round's record.
finish_writer() {
    local status=0
    wait "${pids[$1]}" || status=$?
    # A run under the kill runner reports its own end.
    if grep -q '^killed' "$work/out$1"; then
        status=killed
    elif grep -q '^exited' "$work/out$1"; then
        status=$(awk '/^exited/ {print $2}' "$work/out$1")
    fi
    total=$((total + 1))
    if [ "$status" = 1 ]; then
        if grep -q "$timed_out" "$work/log$1"; then
            timeouts=$((timeouts + 1))
        elif grep -q "Locking the Version file(.*) failed(" "$work/log$1"; then
            refused=$((refused + 1))
        else
            spurious=$((spurious + 1))
        fi
    fi
    echo "$(cat "$work/slot$1") $status" >>"$work/record"
}

# release: lets every writer held at the gate go at once (those at the first gate an instant earlier).
release() {
    sleep 0.3 # until every writer waits at the gate
    flock -u "$first_fd"
    flock -u "$gate_fd"
}

# check_document <what>: the document parses; prints "lost written" for the runs of the record: the runs that exited
# 0 without their version in the document, and the runs that failed with it there.
check_document() {
    /usr/bin/python3 - "$document" "$work/record" <<'PYTHON' || { echo "broken broken"; }
import json, sys
document = json.load(open(sys.argv[1]))
lost = written = 0
for line in open(sys.argv[2]):
    slot, version, status = line.split()
    if slot == "audio":
        audio = document["Audio_DataSet_Version_Info"]
        there = audio["Version"] == version and audio["DataSetName"] == "SET_" + version
    else:
        block, system = slot.split(":")
        there = any(entry["BlockID"] == int(block) and entry.get("System%s_Version" % system) == version
                    for entry in document["NAD_Version_Info"])
    lost += status == "0" and not there
    written += status not in ("0", "killed") and there
print(lost, written)
PYTHON
}

temporaries() { find "$swdl" -maxdepth 1 -name '.VersionInfo.json.*' ! -name '*.lock' -printf '%f\n' | sort; }
locks() { find "$swdl" -maxdepth 1 -name '*.lock' | wc -l; }

# end_round <what>: the checks every round ends with; the temporary files that may stay behind are passed as
# "allowed" (a killed writer's).
end_round() {
    local what=$1 allowed=${2:-0} result left
    result=$(check_document)
    if [ "$result" = "broken broken" ]; then
        fail "$what: the document does not parse"
        return
    fi
    lost=$((lost + ${result% *}))
    written=$((written + ${result#* }))
    [ "$result" = "0 0" ] || fail "$what: $result (versions of successful runs missing, versions of failed runs there)"
    left=$(temporaries | wc -l)
    [ "$left" -le "$allowed" ] || fail "$what: $left temporary files left"
    [ "$(locks)" -eq 1 ] || fail "$what: $(locks) lock files"
}

reset_unit
exec {gate_fd}>"$gate" {first_fd}>"$gate.first"

echo "== concurrent runs: $rounds rounds of ${#slots[@]} writers released together"
for ((round = 1; round <= rounds; round++)); do
    flock -x "$gate_fd"
    : >"$work/record"
    for i in "${!slots[@]}"; do start_writer "$i" "R${round}W$i"; done
    release
    for i in "${!slots[@]}"; do finish_writer "$i"; done
    end_round "round $round"
done
echo "   $total runs: $lost versions lost, $spurious spurious failures, $timeouts time-outs, $written failed runs written"
plain_lost=$lost plain_spurious=$spurious plain_total=$total

echo "== concurrent runs: $rounds rounds with one writer killed at a random instant"
read -r save_end _ < <("$runner" measure "$document" "$tool" 4 0 "$version_file" 2>/dev/null)
previous=""
inside=0 killed=0
for ((round = 1; round <= rounds; round++)); do
    flock -x "$gate_fd"
    flock -x "$first_fd"
    : >"$work/record"
    victim=$((RANDOM % ${#slots[@]}))
    delay=$(((RANDOM * 32768 + RANDOM) % (save_end + 1)))
    for i in "${!slots[@]}"; do
        # The victim goes first, so that the kill falls anywhere in its run while the others wait for the lock.
        if [ "$i" -eq "$victim" ]; then
            writer_gate="$gate.first" start_writer "$i" "K${round}W$i" "$runner" kill "$delay"
        else
            start_writer "$i" "K${round}W$i"
        fi
    done
    release
    for i in "${!slots[@]}"; do finish_writer "$i"; done
    end_round "kill round $round" 1
    for name in $previous; do
        [ ! -e "$swdl/$name" ] || fail "kill round $round: the temporary file $name of the round before is still there"
    done
    previous=$(temporaries)
    [ -z "$previous" ] || inside=$((inside + 1))
    grep -q '^killed' "$work/out$victim" && killed=$((killed + 1))
done
echo "   $killed writers killed, $inside rounds ending with a temporary file left (the later saves of a round remove it): $((lost - plain_lost)) versions lost," \
    "$((spurious - plain_spurious)) spurious failures"
status=0
"$tool" 4 0 "$version_file" 2>"$work/log-last" || status=$?
if [ "$status" -ne 0 ] || [ -n "$(temporaries)" ]; then
    fail "the run after the kills: status $status, $(temporaries | wc -l) temporary files left"
fi

echo "== concurrent runs: a lock holder stopped past the wait limit"
: >"$work/record"
printf '{"Version": "HOLDER"}' >"$work/holder.json"
"$runner" stop 35 "$swdl/.VersionInfo.json.lock" "$tool" 4 1 "$work/holder.json" >"$work/holder" 2>"$work/log-holder" &
holder=$!
for _ in $(seq 200); do
    grep -q . "$work/holder" && break
    sleep 0.05
done
if grep -q '^stopped' "$work/holder"; then
    flock -x "$gate_fd"
    for i in "${!slots[@]}"; do
        [ "${slots[$i]}" = "4 1" ] || start_writer "$i" "S$i"
    done
    release
    for i in "${!slots[@]}"; do
        [ "${slots[$i]}" = "4 1" ] && continue
        finish_writer "$i"
        grep -q "$timed_out" "$work/log$i" || fail "writer $i waiting for the stopped holder did not time out"
    done
else
    fail "the holder never held the lock: $(cat "$work/holder")"
fi
wait "$holder" || true
grep -q '^exited 0' "$work/holder" || fail "the stopped holder did not complete: $(cat "$work/holder")"
echo "4:1 HOLDER 0" >>"$work/record"
end_round "the stopped holder"

# lock_case <stored|refused> <what> <setup> [runner words...]: rounds of writers released together on a fresh unit
# whose document directory the setup commands prepared, every second writer started through the runner words; every
# run must end as the case says, and none that exited 0 may have lost its version.
case_rounds=${MORVANE_LOCK_CASE_ROUNDS:-3}
lock_case() {
    local expected=$1 what=$2 setup=$3 i round before
    shift 3
    reset_unit
    (cd "$swdl" && eval "$setup")
    for ((round = 1; round <= case_rounds; round++)); do
        flock -x "$gate_fd"
        : >"$work/record"
        before="$total $refused"
        for i in "${!slots[@]}"; do
            if [ $# -gt 0 ] && [ $((i % 2)) -eq 1 ]; then
                start_writer "$i" "C${round}W$i" "$@"
            else
                start_writer "$i" "C${round}W$i"
            fi
        done
        release
        for i in "${!slots[@]}"; do finish_writer "$i"; done
        end_round "$what, round $round"
        if [ "$expected" = refused ]; then
            [ "$((refused - ${before#* }))" -eq "${#slots[@]}" ] || fail "$what: not every run refused the lock"
        elif grep -qv ' 0$' "$work/record"; then
            fail "$what: runs that did not store: $(grep -v ' 0$' "$work/record" | head -3)"
        fi
    done
}

echo "== concurrent runs: the lock file's place taken, a second writer identity, world-writable directories"
lock_case refused "a link at the lock file's place" "ln -s missing .VersionInfo.json.lock"
lock_case refused "a directory at the lock file's place" "mkdir .VersionInfo.json.lock"
lock_case refused "a FIFO at the lock file's place" "mkfifo .VersionInfo.json.lock"
# The lock file an earlier run left as root's alone: the first run as root opens it up to the document's group.
service=(setpriv --reuid=65534 --regid=65534 --clear-groups)
lock_case stored "writers as root and as a service user of the document's group" \
    "chgrp 65534 . VersionInfo.json && chmod 775 . && chmod 664 VersionInfo.json && touch .VersionInfo.json.lock &&
     chmod 600 .VersionInfo.json.lock && '$tool' 4 0 '$version_file' 2>/dev/null" "${service[@]}"
lock_case refused "a world-writable directory that anyone may rename the lock file in" \
    "touch .VersionInfo.json.lock && chmod 777 ."
lock_case stored "a sticky world-writable directory" "chmod 1777 ."
echo "   $refused runs refused the lock, as their cases say"

echo "== concurrent runs: two processes saving one file through the library"
loops=()
"$work/save_loop" "$work/lib/file" "first content" "second" 400 2>"$work/lib-1" &
loops+=($!)
"$work/save_loop" "$work/lib/file" "second" "first content" 400 2>"$work/lib-2" &
loops+=($!)
for pid in "${loops[@]}"; do
    wait "$pid" || fail "a library save loop failed: $(cat "$work/lib-1" "$work/lib-2" | head -3)"
done
[ "$(find "$work/lib" -mindepth 1 | wc -l)" -eq 1 ] || fail "the library saves left $(ls -A "$work/lib")"

echo "== concurrent runs: $total runs; plain rounds: $plain_lost versions lost and $plain_spurious spurious failures" \
    "in $plain_total runs; all rounds: $lost lost, $spurious spurious failures, $timeouts time-outs"
if [ "$failures" -ne 0 ]; then
    echo "concurrent runs: $failures failed checks (tool logs in $work)" >&2
    exit 1
fi
echo "concurrent runs: no version lost, no spurious failure"
