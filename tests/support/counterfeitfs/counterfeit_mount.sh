# shellcheck shell=bash
# Mounting and unmounting the counterfeit medium from test scripts. Source this file (bash).
#
#   counterfeit_mount FS-BINARY MOUNTPOINT [counterfeitfs options...]
#       Starts the file system in the foreground as a background job and returns once the
#       mount is there (status 0), or 1 when it did not come up (reason on stderr; the daemon's
#       own output goes to $COUNTERFEIT_LOG, default /dev/null).
#   counterfeit_unmount MOUNTPOINT
#       Unmounts and waits for the daemon to end. Status 0 only when the mount is gone and the
#       daemon ended by itself with status 0; a daemon that would not end is killed.
#   counterfeit_unmount_all
#       The same for every mount made here; meant for an EXIT trap.

declare -gA counterfeit_pids=()

counterfeit_is_mounted() {
    findmnt -rn --mountpoint "$1" >/dev/null 2>&1
}

counterfeit_mount() {
    local binary=$1 mountpoint=$2 pid i
    shift 2
    if counterfeit_is_mounted "$mountpoint"; then
        echo "counterfeit_mount: something is already mounted at $mountpoint" >&2
        return 1
    fi
    "$binary" -f "$@" "$mountpoint" >>"${COUNTERFEIT_LOG:-/dev/null}" 2>&1 </dev/null &
    pid=$!
    counterfeit_pids[$mountpoint]=$pid
    for ((i = 0; i < 1000; i++)); do
        counterfeit_is_mounted "$mountpoint" && return 0
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" 2>/dev/null || true
            unset 'counterfeit_pids[$mountpoint]'
            echo "counterfeit_mount: $binary ended before mounting $mountpoint" >&2
            return 1
        fi
        sleep 0.01
    done
    echo "counterfeit_mount: $mountpoint did not appear within 10 s" >&2
    counterfeit_unmount "$mountpoint" || true
    return 1
}

counterfeit_unmount() {
    local mountpoint=$1 pid=${counterfeit_pids[$1]:-} status=0 i
    if counterfeit_is_mounted "$mountpoint"; then
        fusermount3 -u "$mountpoint" 2>/dev/null || umount "$mountpoint" 2>/dev/null || status=1
    fi
    if [[ -n $pid ]]; then
        for ((i = 0; i < 500; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.01
        done
        if kill -0 "$pid" 2>/dev/null; then
            echo "counterfeit_unmount: the daemon for $mountpoint did not end; killing it" >&2
            kill -TERM "$pid" 2>/dev/null || true
            sleep 1
            kill -KILL "$pid" 2>/dev/null || true
            status=1
        fi
        wait "$pid" 2>/dev/null || status=1
        unset 'counterfeit_pids[$mountpoint]'
    fi
    # A killed daemon leaves a dead mount behind: detach it so nothing hangs on it.
    if counterfeit_is_mounted "$mountpoint"; then
        umount -l "$mountpoint" 2>/dev/null || fusermount3 -uz "$mountpoint" 2>/dev/null || true
        status=1
    fi
    return "$status"
}

counterfeit_unmount_all() {
    local mountpoint status=0
    for mountpoint in "${!counterfeit_pids[@]}"; do
        counterfeit_unmount "$mountpoint" || status=1
    done
    return "$status"
}
