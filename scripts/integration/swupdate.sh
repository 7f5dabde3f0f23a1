#!/usr/bin/env bash
# SWUpdate (Debian's, standalone) installs blocks through the sw-descriptions and the script in integration/swupdate,
# and morvane records them: a sequence of installs, records that fail, tampered updates, an image the unit already
# holds, and an install while another run records. Each step checks SWUpdate's verdict, the slot and the document.
# Usage: MORVANE_UNIT=... MORVANE_TOOL=... [MORVANE_RUNNER=...] scripts/integration/swupdate.sh
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

hw_board=unit hw_revision=1.0
make_signer unit
make_signer stranger
mkdir -p "$work/slots" "$work/swu"
false_failures=0

# build_swu <template> <output.swu> <image> <signer> NAME=value...: a signed .swu of the filled sw-description, the
# image and the recording script. The image's hash is filled in unless IMAGE_SHA256 is given.
build_swu() {
    local template=$1 output=$2 image=$3 signer=$4 dir
    shift 4
    dir=$(mktemp -d "$work/swu/build_XXXXXX")
    cp "$image" "$dir/image.bin"
    cp "$glue/swupdate/record-version.sh" "$dir/"
    # The caller's values come first, so that they win.
    fill "$glue/swupdate/$template" "$dir/sw-description" "$@" HW_REVISION="$hw_revision" IMAGE=image.bin \
        IMAGE_SHA256="$(sha256sum <"$image" | cut -d' ' -f1)" \
        SCRIPT_SHA256="$(sha256sum <"$dir/record-version.sh" | cut -d' ' -f1)"
    openssl cms -sign -in "$dir/sw-description" -out "$dir/sw-description.sig" -signer "$work/keys/$signer.cert.pem" \
        -inkey "$work/keys/$signer.key.pem" -outform DER -nosmimecap -binary
    # sw-description and its signature come first.
    (cd "$dir" && printf '%s\n' sw-description sw-description.sig image.bin record-version.sh |
        cpio -o -H crc --quiet) >"$output"
}

# versions_config: SWUpdate's configuration with the versions the unit holds, for install-if-different.
versions_config() {
    echo 'globals: { };'
    echo 'versions: ('
    # shellcheck disable=SC2016 # (awk's own variables)
    if morvane --show=sw-versions >"$work/sw-versions" 2>/dev/null; then
        awk '{ printf "%s{ name = \"%s\"; version = \"%s\"; }\n", (NR > 1 ? ", " : ""), $1, $2 }' "$work/sw-versions"
    fi
    echo ');'
}

# install <swu> <set,mode>: one install as the unit's download process makes it: an SWUpdate daemon of its own (its
# install-if-different versions read at start) and swupdate-client handing it the image. Sets `verdict` to installed
# or refused from the installer's own outcome line and the client's exit status together; anything else fails the
# step. Neither the client's status nor its closing message is the outcome on its own (see docs/integration.md): here
# the client exited 1 after installs its installer reported successful, and once printed "successful" for an install
# that had failed; a standalone `swupdate -i` exits when its client side decides, even while its installer goes on.
install() {
    local status=0 run daemon outcome=""
    run=$(mktemp -d "$work/swu/run_XXXXXX")
    versions_config >"$run/swupdate.cfg"
    TMPDIR=$run stdbuf -oL -eL swupdate -f "$run/swupdate.cfg" -k "$work/keys/unit.cert.pem" \
        -H "$hw_board:$hw_revision" -e "$2" -q "$2" -B none -m -M >"$run/daemon.log" 2>&1 &
    daemon=$!
    cleanup_steps+=("kill $daemon 2>/dev/null")
    for _ in $(seq 200); do
        [ -S "$run/sockinstctrl" ] && [ -S "$run/swupdateprog" ] && break
        sleep 0.05
    done
    TMPDIR=$run timeout 300 swupdate-client -e "$2" "$1" >"$run/client.log" 2>&1 || status=$?
    # The client may return before the installer has finished: the daemon goes only after its outcome line.
    for _ in $(seq 600); do
        outcome=$(grep -o -E 'SWUPDATE (successful|failed)' "$run/daemon.log" | sort -u | tr '\n' ' ') || true
        [ -n "$outcome" ] && break
        sleep 0.1
    done
    kill "$daemon" 2>/dev/null || true
    wait "$daemon" 2>/dev/null || true
    cat "$run/client.log" "$run/daemon.log" >"$work/last.log"
    case "$outcome:$status" in
        "SWUPDATE successful :0") verdict=installed ;;
        "SWUPDATE successful :1")
            verdict=installed
            false_failures=$((false_failures + 1))
            ;;
        "SWUPDATE failed :"[1-9]*) verdict=refused ;;
        *) verdict="unclear (installer: ${outcome:-no outcome}, client status $status)" ;;
    esac
}

# step <name> <expected verdict> <swu> <set,mode>
step() {
    install "$3" "$4"
    if [ "$verdict" = "$2" ]; then
        echo "ok: $1: SWUpdate $verdict it"
    else
        fail "$1: SWUpdate's verdict is $verdict, not $2; its log:"
        sed 's/^/  /' "$work/last.log" >&2
    fi
}

reset_unit
echo "== SWUpdate $(dpkg-query -W -f='${Version}' swupdate) with $tool"

# A sequence of installs, the document checked after each.
for slot in block4-0 block4-1 block8-0 block8-1 block3 audio; do
    printf 'old %s' "$slot" >"$work/slots/$slot"
done
random_image "$work/block4.img"
build_swu two-copy-block.sw-description "$work/block4.swu" "$work/block4.img" unit BLOCK_ID=4 VERSION=0410 \
    DEVICE_SYSTEM0="$work/slots/block4-0" DEVICE_SYSTEM1="$work/slots/block4-1"
step "block 4, slot 0" installed "$work/block4.swu" block4,system0
check_recorded "block 4, slot 0" "$work/slots/block4-0" "$work/block4.img" "4 0" 0410

step "block 4, slot 1" installed "$work/block4.swu" block4,system1
check_recorded "block 4, slot 1" "$work/slots/block4-1" "$work/block4.img" "4 1" 0410

random_image "$work/block8.img"
build_swu two-copy-block.sw-description "$work/block8.swu" "$work/block8.img" unit BLOCK_ID=8 VERSION=0820 \
    DEVICE_SYSTEM0="$work/slots/block8-0" DEVICE_SYSTEM1="$work/slots/block8-1"
step "block 8, slot 1" installed "$work/block8.swu" block8,system1
check_recorded "block 8, slot 1" "$work/slots/block8-1" "$work/block8.img" "8 1" 0820

random_image "$work/block3.img"
build_swu single-copy-block.sw-description "$work/block3.swu" "$work/block3.img" unit BLOCK_ID=3 VERSION=0330 \
    DEVICE="$work/slots/block3"
step "single-copy block 3" installed "$work/block3.swu" block3,system0
check_recorded "single-copy block 3" "$work/slots/block3" "$work/block3.img" "3 0" 0330

random_image "$work/audio.img"
build_swu audio-dataset.sw-description "$work/audio.swu" "$work/audio.img" unit VERSION=0140 DATASET_NAME=SET_B \
    DEVICE="$work/slots/audio"
step "audio data set" installed "$work/audio.swu" audio,dataset
check_slot "audio data set" "$work/slots/audio" "$work/audio.img"
audio_version=0140 audio_name=SET_B
check_document "audio data set"

# An image whose version the unit already holds: install-if-different skips it, fed from morvane --show=sw-versions,
# and the record is not written again.
printf 'old block4-0' >"$work/slots/block4-0"
before=$(document_stamp) runs=$(record_runs)
step "block 4, slot 0, a version it holds" installed "$work/block4.swu" block4,system0
check_runs "block 4, slot 0, a version it holds" "$runs" 0
check_slot "block 4, slot 0, a version it holds (image skipped)" "$work/slots/block4-0" <(printf 'old block4-0')
[ "$(document_stamp)" = "$before" ] || fail "block 4, slot 0, a version it holds: the document was written again"
check_document "block 4, slot 0, a version it holds"

# Records that fail: the install fails although the slot is written, and the document stays as it was.
random_image "$work/other.img"
build_swu two-copy-block.sw-description "$work/noversion.swu" "$work/other.img" unit BLOCK_ID=4 VERSION= \
    DEVICE_SYSTEM0="$work/slots/block4-0" DEVICE_SYSTEM1="$work/slots/block4-1"
build_swu single-copy-block.sw-description "$work/unlisted.swu" "$work/other.img" unit BLOCK_ID=2 VERSION=0220 \
    DEVICE="$work/slots/block3"
# A sw-description that sends a single-copy block's image to slot 1.
build_swu two-copy-block.sw-description "$work/slot1.swu" "$work/other.img" unit BLOCK_ID=3 VERSION=0331 \
    DEVICE_SYSTEM0="$work/slots/block3" DEVICE_SYSTEM1="$work/slots/block3"
for case in "no version:noversion.swu:block4,system0" "BlockID 2, not in the table:unlisted.swu:block2,system0" \
    "slot 1 of single-copy block 3:slot1.swu:block3,system1"; do
    IFS=: read -r name swu set <<<"$case"
    before=$(document_stamp) runs=$(record_runs)
    step "$name" refused "$work/$swu" "$set"
    check_runs "$name" "$runs" 1
    [ "$(document_stamp)" = "$before" ] || fail "$name: the document was written again"
    check_document "$name"
done

# Tampered updates: SWUpdate refuses them before any script runs, so morvane never runs and no slot is written.
printf 'old block8-0' >"$work/slots/block8-0"
build_swu two-copy-block.sw-description "$work/badhash.swu" "$work/other.img" unit BLOCK_ID=8 VERSION=0821 \
    DEVICE_SYSTEM0="$work/slots/block8-0" DEVICE_SYSTEM1="$work/slots/block8-1" \
    IMAGE_SHA256="$(sha256sum <"$work/block8.img" | cut -d' ' -f1)"
build_swu two-copy-block.sw-description "$work/stranger.swu" "$work/other.img" stranger BLOCK_ID=8 VERSION=0821 \
    DEVICE_SYSTEM0="$work/slots/block8-0" DEVICE_SYSTEM1="$work/slots/block8-1"
for case in "an image whose hash differs:badhash.swu" "a sw-description signed by a stranger:stranger.swu"; do
    IFS=: read -r name swu <<<"$case"
    before=$(document_stamp) runs=$(record_runs)
    step "$name" refused "$work/$swu" block8,system0
    check_runs "$name" "$runs" 0
    [ "$(document_stamp)" = "$before" ] || fail "$name: the document was written again"
    check_slot "$name (slot untouched)" "$work/slots/block8-0" <(printf 'old block8-0')
    check_document "$name"
done

# An install while another run records block 9: both wait for the lock another writer holds, then both land.
printf '{"Version": "0990"}' >"$work/block9.json"
hold_document_lock 1
morvane 9 0 "$work/block9.json" &
other_run=$!
step "block 8, slot 0, during another record" installed "$work/block8.swu" block8,system0
wait "$other_run" || fail "the other record of block 9 failed"
recorded["8 0"]=0820 recorded["9 0"]=0990
check_document "block 8 and block 9 recorded together"

echo "swupdate-client exited 1 after a successful install: $false_failures times"
finish "SWUpdate with $tool"
