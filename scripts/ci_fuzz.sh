#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 in build/fuzz and runs each one for a bounded time from its seed corpus
# (fuzz/corpus/<target>). Any finding (a crash, a sanitizer report, a violated property, a leak, a slow input) fails
# the run; the input that caused it is kept in build/fuzz/findings/<target>/.
# Usage: scripts/ci_fuzz.sh [seconds per target]   (default: MORVANE_FUZZ_SECONDS, or 60)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/deps.sh"
morvane_ensure_packages "${MORVANE_HOST_PACKAGES[@]}" clang-14 libclang-rt-14-dev

seconds=${1:-${MORVANE_FUZZ_SECONDS:-60}}
build="$root/build/fuzz"
targets=(parser_fuzzer updater_fuzzer)

(cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
cmake --build "$build" --target "${targets[@]}" -j 2

# The updater target saves with fsync thousands of times a second: a memory file system keeps that cheap.
scratch=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm

failed=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    findings="$build/findings/$target"
    log="$build/$target.log"
    mkdir -p "$corpus" "$findings"
    status=0
    # New inputs go to the first directory, so the seeds in the source tree stay as they are.
    TMPDIR="$scratch" "$build/fuzz/$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -dict="$root/fuzz/json.dict" -artifact_prefix="$findings/" "$corpus" "$root/fuzz/corpus/$target" >"$log" 2>&1 ||
        status=$?
    runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 executions in \2 s/p' "$log")
    if [ "$status" -ne 0 ]; then
        failed=1
        echo "== $target: FINDING (exit status $status); inputs kept in $findings:" >&2
        ls "$findings" >&2
        grep -E -A30 "^==[0-9]+==ERROR|property violated|runtime error|ERROR: libFuzzer" "$log" | head -60 >&2
    else
        echo "== $target: ${runs:-no count}, no finding (log: $log)"
    fi
done
exit "$failed"
