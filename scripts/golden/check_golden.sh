#!/usr/bin/env bash
# Golden outputs of jsondoc: builds scripts/golden/golden_outputs.cpp against the library of a base (a git revision
# of this repository or a source tree) and against the working tree, for the host and for armhf (run under
# qemu-arm), runs both over the same inputs and compares their outputs byte for byte.
#
# Usage: scripts/golden/check_golden.sh BASE [host|armhf]...   (default: both architectures)
# The base's outputs are kept in build/golden/ and reused; pass a fresh BASE or remove them to redo them.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
base=${1:?usage: check_golden.sh BASE [host|armhf]...}
shift
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(host armhf)
out="$root/build/golden"
mkdir -p "$out"

# The base's jsondoc sources: a tree as it is, or a revision's files.
if [ -d "$base/jsondoc" ]; then
  base_tree=$(cd "$base" && pwd)
  base_name=tree-$(echo "$base_tree" | tr '/' '_')
else
  revision=$(git -C "$root" rev-parse --verify "$base^{commit}")
  base_name=rev-${revision:0:12}
  base_tree="$out/$base_name"
  if [ ! -d "$base_tree/jsondoc" ]; then
    mkdir -p "$base_tree"
    git -C "$root" archive "$revision" jsondoc | tar -x -C "$base_tree"
  fi
fi

# The inputs: the fuzz corpora, the bench inputs and small generated documents.
data="$out/generated"
if [ ! -f "$data/nested.json" ]; then
  g++ -O2 -std=c++17 -o "$out/bench_generate" "$root/bench/bench_generate.cpp"
  "$out/bench_generate" "$data" 1 >/dev/null
fi
inputs=("$root"/fuzz/corpus/*/* "$root/bench/version.json" "$data"/*.json)
public="$root/../shared/bench-data"
[ -d "$public" ] || public=/work/shared/bench-data
for file in "$public"/*.json; do
  [ -f "$file" ] && inputs+=("$file")
done
labels=()
for file in "${inputs[@]}"; do labels+=("${file#"$root"/}"); done

build() {  # tree arch output
  local compiler=g++
  [ "$2" = armhf ] && compiler=arm-linux-gnueabihf-g++
  "$compiler" -std=c++17 -O2 -D_FILE_OFFSET_BITS=64 -Wno-psabi -I "$1" -I "$root" \
    -DNUMBER_EDGES="\"$root/tests/jsondoc/number_edges.txt\"" -o "$3" "$root/scripts/golden/golden_outputs.cpp" \
    "$1"/jsondoc/*.cpp
}

run() {  # arch program output
  local runner=()
  [ "$1" = armhf ] && runner=(qemu-arm -L /)
  (cd "$root" && "${runner[@]}" "$2" "${labels[@]}") >"$3"
}

status=0
for arch in "${arches[@]}"; do
  if [ ! -s "$out/$base_name-$arch.txt" ]; then
    build "$base_tree" "$arch" "$out/$base_name-$arch"
    run "$arch" "$out/$base_name-$arch" "$out/$base_name-$arch.txt"
  fi
  build "$root" "$arch" "$out/work-$arch"
  run "$arch" "$out/work-$arch" "$out/work-$arch.txt"
  if cmp -s "$out/$base_name-$arch.txt" "$out/work-$arch.txt"; then
    echo "golden outputs, $arch: identical to $base ($(wc -l <"$out/work-$arch.txt") lines)"
  else
    echo "golden outputs, $arch: DIFFERENT from $base (diff $out/$base_name-$arch.txt $out/work-$arch.txt):"
    diff "$out/$base_name-$arch.txt" "$out/work-$arch.txt" | head -40 || true
    status=1
  fi
done
exit $status
