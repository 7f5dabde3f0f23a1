#!/bin/sh
# RAUC runs this once, after it has written every slot a bundle carries an image for. Each such slot is recorded:
# BlockID from the slot class (blockN), SystemID from the bootname of the slot or of its parent (A is 0, B is 1, none
# is 0), the version from the bundle's manifest. The class audio is the audio data set, named after its image file
# (SET_B.img names the data set SET_B). The first failing morvane status fails the install; the others are still tried.
set -eu
version=$(awk '/^\[/ { section = $0; next }
    section == "[update]" && /^version=/ { print substr($0, 9); exit }' "$RAUC_BUNDLE_MOUNT_POINT/manifest.raucm")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '{"Version": "%s"}' "$(printf '%s' "$version" | sed 's/[\\"]/\\&/g')" >"$dir/version.json"

# slot_value FIELD N: RAUC's RAUC_FIELD_N. N comes from RAUC's lists; it is checked before it reaches eval.
slot_value() {
    case $2 in '' | *[!0-9]*) echo "post-install: slot index '$2'" >&2; exit 1 ;; esac
    eval "printf '%s' \"\${RAUC_$1_$2-}\""
}

bootname_of() {
    bootname=$(slot_value SLOT_BOOTNAME "$1")
    parent=$(slot_value SLOT_PARENT "$1")
    if [ -z "$bootname" ] && [ -n "$parent" ]; then
        for m in $RAUC_SLOTS; do
            [ "$(slot_value SLOT_NAME "$m")" = "$parent" ] && bootname=$(slot_value SLOT_BOOTNAME "$m")
        done
    fi
    printf '%s' "$bootname"
}

status=0
for n in $RAUC_TARGET_SLOTS; do
    # The target group lists slots this bundle did not write; they keep their record.
    image=$(slot_value IMAGE_NAME "$n")
    [ -n "$image" ] || continue
    class=$(slot_value SLOT_CLASS "$n")
    bootname=$(bootname_of "$n")
    case $bootname in
        A | '') system=0 ;;
        B) system=1 ;;
        *) echo "post-install: slot $(slot_value SLOT_NAME "$n") has an unknown bootname" >&2; exit 1 ;;
    esac
    result=0
    case $class in
        audio) morvane 28928 0 "$dir/version.json" "$(basename "$image" .img)" || result=$? ;;
        block*) morvane "${class#block}" "$system" "$dir/version.json" || result=$? ;;
        *) echo "post-install: slot class $class names no block" >&2; result=1 ;;
    esac
    [ "$status" -ne 0 ] || status=$result
done
exit "$status"
