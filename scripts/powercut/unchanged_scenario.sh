# shellcheck shell=sh
# Runs inside the power-cut machine (busybox sh) in place of the power-cut scenario. For each file system given:
# a fresh one on /dev/vda holding a document, then under a log-writes target logging to /dev/vdb one run that changes
# the document and one that records the version it already holds, each between two marks. Prints per run the data
# written to the device (write entries of the log, discards left out), and the flushes.
unit=/unit
tool=/powercut/bin/morvane-none
sectors=$(blockdev --getsz /dev/vda)
sector_size=$(blockdev --getss /dev/vda)
mkdir -p "$unit" /flash
printf '{"Version": "0101"}' >/flash/1.json
printf '{"Version": "0202"}' >/flash/2.json

fail() {
    echo "unchanged writes: ERROR $*"
    exit 1
}

# counts <from mark> <to mark>: writes, bytes and flushes logged between the two marks.
counts() {
    awk -v a="$1" -v b="$2" -v size="$sector_size" '
        $5 == a {inside = 1; next} $5 == b {inside = 0}
        inside && $4 > 0 && substr($2, 3, 1) != "D" {writes++; bytes += $4 * size}
        inside && substr($2, 1, 1) == "F" {flushes++}
        END {printf "%d bytes in %d writes, %d flushes", bytes, writes, flushes}' /tmp/entries
}

for fs in "$@"; do
    case $fs in
        # Inode tables and the journal zeroed now, not by a kernel thread during the runs.
        ext4) mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 /dev/vda >/dev/null || fail "mkfs.ext4" ;;
        f2fs) mkfs.f2fs -q -f /dev/vda >/dev/null || fail "mkfs.f2fs" ;;
    esac
    mount -t "$fs" /dev/vda "$unit" || fail "mount of the fresh $fs"
    mkdir -p "$unit/data/tiv/swdl" "$unit/var/volatile/tmp"
    "$tool" 4 1 /flash/1.json 2>/dev/null || fail "the first run on $fs"
    umount "$unit"
    dd if=/dev/zero of=/dev/vdb bs=4096 count=16 2>/dev/null
    dmsetup create powercut-log --table "0 $sectors log-writes /dev/vda /dev/vdb" || fail "log-writes target"
    mount -t "$fs" /dev/mapper/powercut-log "$unit" || fail "mount of the logged device"
    sync
    # A bare sync first: what the file system writes with no run at all is the floor for any run.
    for run in changing bare-sync unchanged unchanged-again; do
        dmsetup message powercut-log 0 mark "before-$run"
        if [ "$run" != bare-sync ]; then
            "$tool" 4 1 /flash/2.json 2>/dev/null || fail "the $run run on $fs"
        fi
        sync
        dmsetup message powercut-log 0 mark "after-$run"
    done
    grep -q '"0202"' "$unit/data/tiv/swdl/VersionInfo.json" || fail "the version was not stored on $fs"
    umount "$unit"
    dmsetup remove powercut-log || fail "removing the log-writes target"
    replay_log list /dev/vdb >/tmp/entries || fail "reading the log"
    echo "unchanged writes: result $fs: changing run: $(counts before-changing after-changing);" \
        "bare sync: $(counts before-bare-sync after-bare-sync);" \
        "unchanged run: $(counts before-unchanged after-unchanged);" \
        "unchanged again: $(counts before-unchanged-again after-unchanged-again)"
done
