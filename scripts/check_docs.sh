#!/usr/bin/env bash
# Keeps the guides in docs/ and the programs in examples/ from drifting apart.
#
#   scripts/check_docs.sh                       every code block marked <!-- example: FILE --> equals FILE byte for
#                                               byte, and every file in examples/ and integration/ is shown in some
#                                               page
#   scripts/check_docs.sh BINDIR [RUNNER...]    also runs every example program built in BINDIR (through RUNNER,
#                                               e.g. qemu-arm -L /) and compares its standard output with the block
#                                               marked <!-- output: FILE -->
#
# A marker stands on the line right before the block's opening fence. Programs run in a scratch directory of their
# own with nothing on standard input; what they write to standard error (the platform log, off the unit) is shown
# only when a program fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bindir=${1:-}
runner=("${@:2}")

work=$(mktemp -d /tmp/morvane_docs_XXXXXX)
trap 'rm -rf "$work"' EXIT

# Each marked block goes to a file of its own; the index lists "kind file block page".
awk -v out="$work" '
  function fail(message) { printf "%s:%d: %s\n", FILENAME, FNR, message > "/dev/stderr"; bad = 1 }
  inblock && /^```$/ { inblock = 0; close(block); next }
  inblock { print > block; next }
  pending != "" {
    if ($0 !~ /^```[a-z]*$/) { fail("marker not followed by a code block") }
    else { n++; block = out "/" n ".block"; printf "" > block; inblock = 1
           print pending, n, FILENAME >> (out "/index") }
    pending = ""; next
  }
  /^<!-- (example|output): [^ ]+ -->$/ { kind = $2; sub(/:$/, "", kind); pending = kind " " $3 }
  END { if (inblock) fail("code block not closed"); exit bad }
' docs/*.md
touch "$work/index"

status=0
complain() {
  echo "$*" >&2
  status=1
}

while read -r kind file n page; do
  [ "$kind" = example ] || continue
  if [ ! -f "$file" ]; then
    complain "$page: shows $file, which does not exist"
  elif ! cmp -s "$file" "$work/$n.block"; then
    complain "$page: the block of $file differs from the file:"
    diff -u "$file" "$work/$n.block" >&2 || true
  fi
done <"$work/index"

while read -r file; do
  grep -q "^example $file " "$work/index" || complain "$file is not shown in any page of docs/"
done < <({ find examples -name '*.cpp' -o -name '*.h' -o -name CMakeLists.txt; find integration -type f; } | sort)

if [ -n "$bindir" ]; then
  while read -r source; do
    program=$(sed -E 's|^examples/([^/]+)/([^/.]+)\.cpp$|\1_\2|' <<<"$source")
    scratch=$(mktemp -d "$work/run_XXXXXX")
    set +e
    (cd "$scratch" && "${runner[@]}" "$bindir/$program" </dev/null >"$scratch.out" 2>"$scratch.err")
    code=$?
    set -e
    if [ "$code" -ne 0 ]; then
      complain "$source: $program ended with status $code; its standard error:"
      cat "$scratch.err" >&2
      continue
    fi
    shown=$(awk -v f="$source" '$1 == "output" && $2 == f { print $3 }' "$work/index")
    for n in $shown; do
      if ! cmp -s "$work/$n.block" "$scratch.out"; then
        complain "$source: the output shown differs from the program's (shown, then real):"
        diff -u "$work/$n.block" "$scratch.out" >&2 || true
      fi
    done
  done < <(find examples -mindepth 2 -name '*.cpp' | sort)
fi

while read -r kind file n page; do
  [ "$kind" = output ] || continue
  [ -f "$file" ] || complain "$page: shows the output of $file, which does not exist"
done <"$work/index"

[ "$status" -eq 0 ] && echo "docs: every example block matches its file${bindir:+, every example runs and prints what its page shows}"
exit "$status"
