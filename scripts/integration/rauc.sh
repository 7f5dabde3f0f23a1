#!/usr/bin/env bash
# RAUC (Debian's, its service on a D-Bus of our own) installs bundles into the slots of integration/rauc/system.conf,
# and its post-install handler has morvane record them: a sequence of installs, a record that fails, tampered bundles
# and an install while another run records. Each step checks RAUC's verdict, the slot and the document.
# Usage: MORVANE_UNIT=... MORVANE_TOOL=... [MORVANE_RUNNER=...] scripts/integration/rauc.sh
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

rauc_dir="$work/rauc"
slots="$work/slots"
mkdir -p "$rauc_dir/mnt" "$rauc_dir/data" "$rauc_dir/bundles" "$slots"
make_signer unit
make_signer stranger

# Whatever an aborted install leaves: mounts under our prefix, loop devices over our bundles.
release_mounts() {
    local target loop
    while read -r target; do
        umount -l "$target" 2>/dev/null || true
    done < <(awk -v prefix="$rauc_dir/" 'index($2, prefix) == 1 { print $2 }' /proc/mounts | sort -r)
    while read -r loop; do
        losetup -d "$loop" 2>/dev/null || true
    done < <(losetup -n -l -O NAME,BACK-FILE | awk -v prefix="$rauc_dir/" 'index($2, prefix) == 1 { print $1 }')
}
cleanup_steps+=(release_mounts)

fill "$glue/rauc/system.conf" "$rauc_dir/system.conf" COMPATIBLE=morvane-integration MOUNT_PREFIX="$rauc_dir/mnt" \
    DATA_DIR="$rauc_dir/data" KEYRING="$work/keys/unit.cert.pem" HANDLER_DIR="$glue/rauc" \
    DEVICE_BLOCK4_A="$slots/block4-A" DEVICE_BLOCK4_B="$slots/block4-B" DEVICE_BLOCK8_A="$slots/block8-A" \
    DEVICE_BLOCK8_B="$slots/block8-B" DEVICE_BLOCK3="$slots/block3" DEVICE_AUDIO="$slots/audio"
for slot in block4-A block4-B block8-A block8-B block3 audio; do
    printf 'old %s' "$slot" >"$slots/$slot"
done

export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$rauc_dir/bus"
dbus-daemon --session --nofork --nopidfile --address="$DBUS_SYSTEM_BUS_ADDRESS" >"$rauc_dir/dbus.log" 2>&1 &
bus=$!
cleanup_steps+=("kill $bus 2>/dev/null")
for _ in $(seq 100); do
    [ -S "$rauc_dir/bus" ] && break
    sleep 0.05
done

# start_service <booted bootname>: RAUC's service as if the unit had booted from that slot group; installs go to the
# other one.
service=""
start_service() {
    stop_service
    rauc --conf="$rauc_dir/system.conf" service --override-boot-slot="$1" >>"$rauc_dir/service.log" 2>&1 &
    service=$!
    cleanup_steps+=("kill $service 2>/dev/null")
    for _ in $(seq 100); do
        # rauc status aborts until the service is on the bus.
        (rauc status) >/dev/null 2>&1 && return
        sleep 0.1
    done
    fail "RAUC's service did not come up"
}
stop_service() {
    [ -n "$service" ] || return 0
    kill "$service" 2>/dev/null || true
    wait "$service" 2>/dev/null || true
    service=""
}

# bundle <output> <version, or - for none> <signer> <class>=<image>...: a bundle with an image for each slot class.
bundle() {
    local output=$1 version=$2 signer=$3 dir pair
    shift 3
    dir=$(mktemp -d "$rauc_dir/bundles/content_XXXXXX")
    {
        printf '[update]\ncompatible=morvane-integration\n'
        [ "$version" = - ] || printf 'version=%s\n' "$version"
    } >"$dir/manifest.raucm"
    for pair in "$@"; do
        cp "${pair#*=}" "$dir/"
        printf '\n[image.%s]\nfilename=%s\n' "${pair%%=*}" "$(basename "${pair#*=}")" >>"$dir/manifest.raucm"
    done
    rauc bundle --cert="$work/keys/$signer.cert.pem" --key="$work/keys/$signer.key.pem" "$dir" "$output" \
        >"$rauc_dir/bundle.log" 2>&1 || fail "rauc bundle $output: $(cat "$rauc_dir/bundle.log")"
}

# step <name> <installed|refused> <bundle>: `rauc install`'s status and its closing line must agree with each other.
step() {
    local status=0 verdict
    timeout 300 rauc install "$3" >"$work/last.log" 2>&1 || status=$?
    if [ "$status" -eq 0 ] && grep -q "^Installing .* succeeded" "$work/last.log"; then
        verdict=installed
    elif [ "$status" -ne 0 ] && grep -q "^Installing .* failed" "$work/last.log"; then
        verdict=refused
    else
        verdict="unclear (status $status)"
    fi
    if [ "$verdict" = "$2" ]; then
        echo "ok: $1: RAUC $verdict it"
    else
        fail "$1: RAUC's verdict is $verdict, not $2; its output:"
        sed 's/^/  /' "$work/last.log" >&2
    fi
}

reset_unit
echo "== RAUC $(dpkg-query -W -f='${Version}' rauc) with $tool"

# A sequence of installs, the document checked after each.
mkdir -p "$work/images"
random_image "$work/images/block4.img"
bundle "$work/block4.raucb" 0410 unit block4="$work/images/block4.img"
start_service B
step "block 4, slot A" installed "$work/block4.raucb"
check_recorded "block 4, slot A" "$slots/block4-A" "$work/images/block4.img" "4 0" 0410

start_service A
step "block 4, slot B" installed "$work/block4.raucb"
check_recorded "block 4, slot B" "$slots/block4-B" "$work/images/block4.img" "4 1" 0410

random_image "$work/images/block8.img"
bundle "$work/block8.raucb" 0820 unit block8="$work/images/block8.img"
step "block 8, slot B (a child of block 4's)" installed "$work/block8.raucb"
check_recorded "block 8, slot B" "$slots/block8-B" "$work/images/block8.img" "8 1" 0820

random_image "$work/images/block3.img"
bundle "$work/block3.raucb" 0330 unit block3="$work/images/block3.img"
step "single-copy block 3" installed "$work/block3.raucb"
check_recorded "single-copy block 3" "$slots/block3" "$work/images/block3.img" "3 0" 0330

random_image "$work/images/SET_B.img"
bundle "$work/audio.raucb" 0140 unit audio="$work/images/SET_B.img"
step "audio data set" installed "$work/audio.raucb"
check_slot "audio data set" "$slots/audio" "$work/images/SET_B.img"
audio_version=0140 audio_name=SET_B
check_document "audio data set"

# One bundle for two blocks of the group: the handler records both.
random_image "$work/images/both4.img"
random_image "$work/images/both8.img"
bundle "$work/both.raucb" 0450 unit block4="$work/images/both4.img" block8="$work/images/both8.img"
step "blocks 4 and 8 in one bundle" installed "$work/both.raucb"
check_slot "blocks 4 and 8 in one bundle, block 4" "$slots/block4-B" "$work/images/both4.img"
check_slot "blocks 4 and 8 in one bundle, block 8" "$slots/block8-B" "$work/images/both8.img"
recorded["4 1"]=0450 recorded["8 1"]=0450
check_document "blocks 4 and 8 in one bundle"

# A record that fails: a bundle without a version. RAUC has written the slot, the install fails, the document stays.
random_image "$work/images/other.img"
bundle "$work/noversion.raucb" - unit block3="$work/images/other.img"
before=$(document_stamp) runs=$(record_runs)
step "a bundle without a version" refused "$work/noversion.raucb"
check_runs "a bundle without a version" "$runs" 1
[ "$(document_stamp)" = "$before" ] || fail "a bundle without a version: the document was written again"
check_document "a bundle without a version"

# Tampered bundles: a byte of the payload changed after signing, and a bundle signed by a stranger. RAUC refuses them
# before it writes a slot, so morvane never runs.
bundle "$work/tampered.raucb" 0821 unit block8="$work/images/other.img"
printf 'X' | dd of="$work/tampered.raucb" bs=1 seek=200 conv=notrunc status=none
bundle "$work/stranger.raucb" 0821 stranger block8="$work/images/other.img"
for case in "a payload changed after signing:tampered.raucb" "a bundle signed by a stranger:stranger.raucb"; do
    IFS=: read -r name file <<<"$case"
    before=$(document_stamp) runs=$(record_runs)
    step "$name" refused "$work/$file"
    check_runs "$name" "$runs" 0
    [ "$(document_stamp)" = "$before" ] || fail "$name: the document was written again"
    check_slot "$name (slot untouched)" "$slots/block8-B" "$work/images/both8.img"
    check_document "$name"
done

# An install while another run records block 9: both wait for the lock another writer holds, then both land.
printf '{"Version": "0990"}' >"$work/block9.json"
random_image "$work/images/block8.img"
bundle "$work/block8-new.raucb" 0830 unit block8="$work/images/block8.img"
hold_document_lock 1
morvane 9 0 "$work/block9.json" &
other_run=$!
step "block 8, slot B, during another record" installed "$work/block8-new.raucb"
wait "$other_run" || fail "the other record of block 9 failed"
recorded["8 1"]=0830 recorded["9 0"]=0990
check_document "block 8 and block 9 recorded together"

stop_service
finish "RAUC with $tool"
