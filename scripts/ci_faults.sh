#!/usr/bin/env bash
# The tool under faults, on a host build for a simulated unit in build/faults: every system call of a block update
# failed once (strace), SIGKILL at spread instants, overlapping runs, and valgrind's memcheck. Each script also runs on
# its own.
# Usage: scripts/ci_faults.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/fault/save_faults.sh"
bash "$root/scripts/fault/crash_kills.sh"
bash "$root/scripts/fault/concurrent_runs.sh"
bash "$root/scripts/fault/memcheck.sh"
