#!/bin/sh
# SWUpdate's shellscript handler runs this before and after it writes the images, with the phase first and then the
# script's data from sw-description: BlockID SystemID Version, and DataSetName for the audio data set.
# The version is recorded after the slot is written; morvane's exit status is this script's, so a version that is not
# stored fails the install.
set -eu
[ "$1" = postinst ] || exit 0
block=$2
system=$3
version=${4-}

# An image that install-if-different skipped still runs this script: a version the unit already records for the slot
# is not recorded again.
if [ $# -ge 5 ]; then name=audio-dataset; else name=block$block-system$system; fi
if morvane --show=sw-versions 2>/dev/null | grep -qxF "$name $version"; then
    exit 0
fi

# The version file lives only for this run, in SWUpdate's TMPDIR.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '{"Version": "%s"}' "$(printf '%s' "$version" | sed 's/[\\"]/\\&/g')" >"$dir/version.json"

status=0
if [ $# -ge 5 ]; then
    morvane "$block" "$system" "$dir/version.json" "$5" || status=$?
else
    morvane "$block" "$system" "$dir/version.json" || status=$?
fi
exit "$status"
