# Runs inside the power-cut machine (busybox sh). For each case FS:OPTIONS:SAVE (OPTIONS "defaults" or a mount
# option list, SAVE the tool build: none, no-file-fsync, no-dir-fsync):
#   1. a fresh file system on /dev/vda with the unit's directories; its start image is copied to /dev/vdc;
#   2. /dev/vda under a log-writes target logging to /dev/vdb; five runs of the tool, each between two marks, and a
#      third mark when its save has returned (sh-marking);
#   3. the log is replayed onto the start image one write at a time; for every write inside a run the state is
#      mounted through a throw-away snapshot (COW on /dev/vdd), so the journal or roll-forward recovery runs, and
#      the document must be byte for byte the old or the new one of that run, the new one once the save returned,
#      and the file system checker must find nothing.
# Prints one "powercut: result" line per case; details of broken states, and the runs that had any, go before it.
unit=/unit
check=/check
document_in() { echo "$1/data/tiv/swdl/VersionInfo.json"; }
sectors=$(blockdev --getsz /dev/vda)
mkdir -p "$unit" "$check" /flash /ref

# The version files handed to the tool, one per run, outside the file system under test.
printf '{"Version": "0101"}' >/flash/1.json
printf '{"Version": "0202"}' >/flash/2.json
printf '{"Version": "0303"}' >/flash/3.json
printf '{"Version": "0404"}' >/flash/4.json
printf '{"Version": "0505"}' >/flash/5.json
# Arguments of each run: first run without a document (block 4, slot 1), the two-copy block 4 and the one-copy
# block 3, the audio data set, and block 8 over a malformed document, which is replaced by defaults plus the update.
run_arguments() {
    case $1 in
        1) echo "4 1 /flash/1.json" ;;
        2) echo "4 0 /flash/2.json" ;;
        3) echo "3 0 /flash/3.json" ;;
        4) echo "0 0 /flash/4.json SET_B" ;;
        5) echo "8 1 /flash/5.json" ;;
    esac
}
runs="1 2 3 4 5"

mount_options() {
    if [ "$1" = defaults ]; then echo ""; else echo "-o $1"; fi
}

fail() {
    echo "powercut: ERROR $*"
    exit 1
}

make_start_image() { # fs
    case $1 in
        ext4) mkfs.ext4 -q -F /dev/vda >/dev/null || fail "mkfs.ext4" ;;
        f2fs) mkfs.f2fs -q -f /dev/vda >/dev/null || fail "mkfs.f2fs" ;;
    esac
    mount -t "$1" /dev/vda "$unit" || fail "mount of the fresh $1"
    mkdir -p "$unit/data/tiv/swdl" "$unit/var/volatile/tmp"
    umount "$unit"
    dd if=/dev/vda of=/dev/vdc bs=1M 2>/dev/null || fail "copy of the start image"
}

# record fs options save: the runs on the logged device; leaves /ref/K.old (absent for the first run) and /ref/K.new.
record() {
    tool=/powercut/bin/morvane-$3
    rm -f /ref/*
    dd if=/dev/zero of=/dev/vdb bs=4096 count=16 2>/dev/null
    dmsetup create powercut-log --table "0 $sectors log-writes /dev/vda /dev/vdb" || fail "log-writes target"
    # shellcheck disable=SC2046
    mount -t "$1" $(mount_options "$2") /dev/mapper/powercut-log "$unit" || fail "mount of the logged device"
    document=$(document_in "$unit")
    for run in $runs; do
        if [ "$run" = 5 ]; then
            # A document cut short, as an old in-place save could leave it: rejected, then replaced.
            printf '{"Audio_DataSet_Version_Info": {"BlockID": 28928, "Data' >"$document"
        fi
        [ -e "$document" ] && cp "$document" "/ref/$run.old"
        sync
        dmsetup message powercut-log 0 mark "before-$run"
        # shellcheck disable=SC2046
        POWERCUT_RUN=$run "$tool" $(run_arguments "$run") 2>>/tmp/tool.log || fail "run $run of $tool failed"
        dmsetup message powercut-log 0 mark "after-$run"
        cp "$document" "/ref/$run.new"
        grep -q "\"0${run}0${run}\"" "/ref/$run.new" || fail "run $run did not store its version"
    done
    grep -q '"0202"' /ref/5.new && fail "the malformed document was not replaced by defaults"
    umount "$unit"
    dmsetup remove powercut-log || fail "removing the log-writes target"
}

# state fs options run entry saved: mounts the replayed start image through a snapshot and prints what it holds.
state() {
    snapshot=$(replay_log snapshot powercut-state /dev/vdc /dev/vdd) || fail "snapshot"
    # shellcheck disable=SC2046
    if ! mount -t "$1" $(mount_options "$2") "$snapshot" "$check" 2>/dev/null; then
        replay_log remove powercut-state
        echo "unmountable"
        return
    fi
    document=$(document_in "$check")
    if [ ! -e "$document" ]; then
        if [ -e "/ref/$3.old" ]; then verdict=missing; else verdict=old; fi
    elif [ -e "/ref/$3.old" ] && cmp -s "$document" "/ref/$3.old"; then
        verdict=old
    elif cmp -s "$document" "/ref/$3.new"; then
        verdict=new
    elif [ -s "$document" ]; then
        verdict="partial ($(wc -c <"$document") bytes)"
    else
        verdict=empty
    fi
    if [ "$5" = yes ] && [ "$verdict" = old ]; then
        verdict="old after the save had returned"
    fi
    umount "$check"
    case $1 in
        ext4) e2fsck -fn "$snapshot" >/tmp/fsck.log 2>&1 || verdict="$verdict; e2fsck found errors" ;;
        f2fs)
            fsck.f2fs -f --dry-run "$snapshot" >/tmp/fsck.log 2>&1 || verdict="$verdict; fsck.f2fs failed"
            grep -q "Fail" /tmp/fsck.log && verdict="$verdict; fsck.f2fs found errors"
            ;;
    esac
    replay_log remove powercut-state || fail "removing the snapshot"
    echo "$verdict"
}

# replay fs options save: walks every write inside the runs and prints the counts.
replay() {
    replay_log list /dev/vdb >/tmp/entries || fail "reading the log"
    states=0 old=0 new=0 broken=0 cursor=0 shown=0 broken_runs=""
    for run in $runs; do
        first=$(awk -v m="before-$run" '$5 == m {print $1}' /tmp/entries)
        saved=$(awk -v m="saved-$run" '$5 == m {print $1}' /tmp/entries)
        last=$(awk -v m="after-$run" '$5 == m {print $1}' /tmp/entries)
        if [ -z "$first" ] || [ -z "$saved" ] || [ -z "$last" ]; then fail "marks of run $run missing from the log"; fi
        # shellcheck disable=SC2013 # (entry numbers)
        for entry in $(awk -v a="$first" -v b="$last" '$1 > a && $1 < b && $4 > 0 {print $1}' /tmp/entries); do
            replay_log apply /dev/vdb /dev/vdc "$cursor" $((entry + 1)) || fail "replay up to $entry"
            cursor=$((entry + 1))
            if [ "$entry" -gt "$saved" ]; then after_save=yes; else after_save=no; fi
            verdict=$(state "$1" "$2" "$run" "$entry" "$after_save")
            states=$((states + 1))
            case $verdict in
                old) old=$((old + 1)) ;;
                new) new=$((new + 1)) ;;
                *)
                    broken=$((broken + 1))
                    case " $broken_runs " in *" $run "*) ;; *) broken_runs="$broken_runs $run" ;; esac
                    if [ "$shown" -lt 3 ]; then
                        shown=$((shown + 1))
                        echo "powercut: broken state: $1 ($2), save=$3, run $run, log entry $entry: $verdict"
                        case $verdict in
                            *fsck*) grep -v "^$" /tmp/fsck.log | tail -n 3 | sed 's/^/powercut:     /' ;;
                        esac
                    fi
                    ;;
            esac
        done
    done
    # The whole log on the start image must give the device as the runs left it: the replay misses nothing.
    total=$(wc -l </tmp/entries)
    replay_log apply /dev/vdb /dev/vdc "$cursor" "$total" || fail "replay of the rest"
    cmp -s /dev/vdc /dev/vda || fail "$1 ($2), save=$3: the replayed log does not give the device's final content"
    [ -n "$broken_runs" ] && echo "powercut: $1 ($2), save=$3: broken states in runs$broken_runs"
    echo "powercut: result $1 $2 save=$3: states $states, old $old, new $new, broken $broken"
}

for case in "$@"; do
    fs=${case%%:*}
    rest=${case#*:}
    options=${rest%%:*}
    save=${rest#*:}
    start=$(date +%s)
    make_start_image "$fs"
    record "$fs" "$options" "$save"
    replay "$fs" "$options" "$save"
    echo "powercut: $fs ($options), save=$save took $(($(date +%s) - start)) s"
done
