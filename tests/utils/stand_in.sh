#!/bin/sh
# Stand-in for a system program (installed in the build tree under the program's name): adds how it was called to the
# test's log file (STAND_IN_LOG) as a message of level S, then exits with the code the test gives in STAND_IN_EXIT.
if [ -n "$STAND_IN_LOG" ]; then
    printf 'S %s\0' "$(basename "$0") $*" >>"$STAND_IN_LOG"
fi
exit "${STAND_IN_EXIT:-0}"
