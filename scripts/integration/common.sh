# shellcheck shell=bash disable=SC2034 # (the variables are for the scripts that source this file)
# Sourced by the framework drivers: the simulated unit, the `morvane` the glue finds on its PATH, the version document
# a step must leave, the checks, and a clean-up that runs however the driver ends.
#
# The drivers expect MORVANE_TOOL (a build of morvane whose UNIT_ROOT is MORVANE_UNIT) and optionally MORVANE_RUNNER
# (qemu-arm -L / for an armhf build). Everything else lives in a scratch directory removed at the end.

integration_source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
glue="$integration_source/integration"
unit=${MORVANE_UNIT:?MORVANE_UNIT: the unit root the tool was built with}
tool=${MORVANE_TOOL:?MORVANE_TOOL: the morvane to run}
document="$unit/data/tiv/swdl/VersionInfo.json"
lock_file="$unit/data/tiv/swdl/.VersionInfo.json.lock"
failures=0

# Short paths: the frameworks' sockets live in here.
work=$(mktemp -d /tmp/morvane_integration_XXXXXX)
declare -a cleanup_steps=()
on_exit() {
    local step i
    for ((i = ${#cleanup_steps[@]} - 1; i >= 0; i--)); do
        step=${cleanup_steps[i]}
        eval "$step" || true
    done
    rm -rf "$work"
}
trap on_exit EXIT
trap 'exit 130' INT TERM

# The glue calls plain `morvane`: a wrapper first on PATH notes each record run and runs the build under test.
mkdir -p "$work/bin"
touch "$work/record_runs"
cat >"$work/bin/morvane" <<WRAPPER
#!/bin/sh
case "\${1-}" in --show*) ;; *) echo "\$*" >>"$work/record_runs" ;; esac
exec ${MORVANE_RUNNER:-} "$tool" "\$@"
WRAPPER
chmod +x "$work/bin/morvane"
export PATH="$work/bin:$PATH"

# record_runs: how many times morvane has been run to record a version.
record_runs() {
    wc -l <"$work/record_runs"
}

fail() {
    failures=$((failures + 1))
    echo "FAIL: $*" >&2
}

# Versions the document should hold, by "BlockID SystemID" ("3 1" stays empty: single-copy blocks have no slot 1),
# and the audio data set's.
declare -A recorded=()
audio_version=0102 audio_name=SET_A
two_copies=" 4 8 "

# reset_unit: the unit's document as a download process finds it, in the tool's own form so that "unchanged" can be
# checked byte for byte.
reset_unit() {
    local id
    for id in 3 4 5 6 7 8 9; do
        recorded["$id 0"]=0300
        recorded["$id 1"]=0300
    done
    audio_version=0102 audio_name=SET_A
    rm -rf "$unit"
    mkdir -p "$(dirname "$document")" "$unit/var/volatile/tmp"
    expected_document >"$document"
}

# expected_document: the document holding what `recorded` says.
expected_document() {
    local id nad=""
    for id in 3 4 5 6 7 8 9; do
        nad+="${nad:+, }{\"BlockID\": $id, \"System0_Version\": \"${recorded["$id 0"]}\""
        [[ $two_copies == *" $id "* ]] && nad+=", \"System1_Version\": \"${recorded["$id 1"]}\""
        nad+="}"
    done
    printf '{"Audio_DataSet_Version_Info": {"BlockID": 28928, "DataSetName": "%s", "Version": "%s"}, ' \
        "$audio_name" "$audio_version"
    printf '"GTO_Version_Info": {"Active_System": 1, "System0_Version": "0100", "System1_Version": "0101"}, '
    printf '"NAD_Version_Info": [%s]}' "$nad"
}

# check_document <step>: the document on disk is the expected one, byte for byte.
check_document() {
    if expected_document | cmp -s - "$document"; then
        echo "ok: $1: the document holds what was recorded"
    else
        fail "$1: the document differs from the expected one"
        echo "  expected: $(expected_document)" >&2
        echo "  on disk:  $(cat "$document" 2>/dev/null)" >&2
    fi
}

# document_stamp: what changes whenever the document is written again (a save replaces the file, so a new inode).
document_stamp() {
    stat -c '%i %Y %s' "$document"
}

# check_slot <step> <slot file> <expected content file>
check_slot() {
    if cmp -s "$2" "$3"; then
        echo "ok: $1: the slot holds the image"
    else
        fail "$1: the slot does not hold the expected content"
    fi
}

# random_image <file>: a small image of its own.
random_image() {
    head -c 8192 /dev/urandom >"$1"
}

# make_signer <name>: a self-signed certificate and key in $work/keys/<name>.{cert,key}.pem.
make_signer() {
    mkdir -p "$work/keys"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=morvane integration $1" \
        -keyout "$work/keys/$1.key.pem" -out "$work/keys/$1.cert.pem" 2>/dev/null
}

# fill <template> <output> NAME=value...: the template with each @NAME@ replaced.
fill() {
    local template=$1 output=$2 pair script=""
    shift 2
    for pair in "$@"; do
        script+="s|@${pair%%=*}@|${pair#*=}|g;"
    done
    sed "$script" "$template" >"$output"
    if grep -q '@[A-Z0-9_]*@' "$output"; then
        fail "$output: placeholders left: $(grep -o '@[A-Z0-9_]*@' "$output" | sort -u | tr '\n' ' ')"
    fi
}

# hold_document_lock <seconds>: holds the document's lock in the background, as another writer does; returns once it
# is held.
hold_document_lock() {
    rm -f "$work/lock_held"
    flock "$lock_file" sh -c "touch '$work/lock_held'; sleep $1" &
    lock_holder=$!
    cleanup_steps+=("kill $lock_holder 2>/dev/null")
    while [ ! -e "$work/lock_held" ]; do sleep 0.05; done
}

finish() {
    if [ "$failures" -eq 0 ]; then
        echo "== $1: every check passed"
    else
        echo "== $1: $failures checks failed" >&2
        exit 1
    fi
}

# check_runs <step> <record runs before> <expected new runs>
check_runs() {
    local ran=$(($(record_runs) - $2))
    if [ "$ran" -eq "$3" ]; then
        echo "ok: $1: morvane ran $ran times"
    else
        fail "$1: morvane ran $ran times, not $3"
    fi
}

# check_recorded <step> <slot file> <image> <"BlockID SystemID"> <version>: the slot holds the image, and the document
# holds the version besides everything recorded before.
check_recorded() {
    check_slot "$1" "$2" "$3"
    recorded["$4"]=$5
    check_document "$1"
}
