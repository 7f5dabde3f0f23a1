#!/bin/sh
# Stand-in for a system program (installed in the build tree under the program's name): notes how it was called,
# then ends as the test asks through STAND_IN_EXIT, a number or "signal".
if [ -n "$STAND_IN_RECORD" ]; then
    echo "$(basename "$0") $*" >>"$STAND_IN_RECORD"
fi
case "${STAND_IN_EXIT:-0}" in
    signal) kill -KILL $$ ;;
    *) exit "${STAND_IN_EXIT:-0}" ;;
esac
