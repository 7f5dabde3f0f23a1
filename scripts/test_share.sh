#!/usr/bin/env bash
# Counted lines of tests/ against the product's code, and the share; the rule is at most a third.
# Counted: non-blank lines of .cpp, .h and .c files that are not only a // comment.
# Usage: scripts/test_share.sh [--modules] [tree]   (--modules: also each module against its own tests; tree: another
# checkout to count, this one by default)
set -euo pipefail
per_module=0
[ "${1:-}" = "--modules" ] && { per_module=1; shift; }
cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}"
modules=(app logging common updater utils jsondoc)

count() {
    local files
    files=$(find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) 2>/dev/null | sort)
    [ -n "$files" ] || { echo 0; return; }
    # shellcheck disable=SC2086
    cat $files | grep -v -E '^[[:space:]]*$' | grep -c -v -E '^[[:space:]]*//' || true
}

if [ "$per_module" -eq 1 ]; then
    for module in "${modules[@]}"; do
        printf '%-8s product %5d  tests %5d\n' "$module" "$(count "$module")" "$(count "tests/$module")"
    done
fi
tests=$(count tests)
product=$(count "${modules[@]}")
echo "tests/ $tests, product $product, share $((100 * tests / product))% (at most 33%: $((product / 3)) lines)"
