#!/usr/bin/env bash
# The counterfeit medium itself: a FUSE file system that advertises 256 MiB but stores 64 MiB
# must take files with direct I/O, report the advertised space, and give back the last 64 MiB
# written in place of the first, as fake flash does. Later checks rely on exactly that.
#
# Usage: counterfeit_medium.sh PATH-TO-counterfeitfs (empty when it was not built)
# Exit status: 0 all checks passed, 1 a check failed, 77 skipped (no root, no /dev/fuse, or
# the file system was not built).

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() {
    echo "SKIP: counterfeit-medium test skipped: $*"
    exit 77
}

[[ $# -eq 1 ]] || { echo "usage: $0 PATH-TO-counterfeitfs" >&2; exit 2; }
[[ -n $1 && -x $1 ]] || skip "the counterfeit file system was not built (libfuse3 missing)"
fs=$1
[[ $(id -u) -eq 0 ]] || skip "it needs root to mount a FUSE file system"
[[ -c /dev/fuse ]] || skip "/dev/fuse is missing"
for tool in dd cmp findmnt flock stat head; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done

# shellcheck source-path=SCRIPTDIR source=../support/counterfeitfs/counterfeit_mount.sh
source "$here/../support/counterfeitfs/counterfeit_mount.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/kardelo-counterfeit.XXXXXX")
export COUNTERFEIT_LOG=$work/fs.log
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    counterfeit_unmount_all || true
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failed=0
not() { ! "$@"; }
check() {
    local description=$1
    shift
    if "$@"; then
        echo "ok   $description"
    else
        echo "FAIL $description"
        failed=$((failed + 1))
    fi
}

MiB=1048576
# free_and_total DIR: "FREE-BYTES TOTAL-BYTES" as statfs reports them to the user.
free_and_total() {
    stat -f -c '%a %b %S' "$1" | awk '{ printf "%d %d\n", $1 * $3, $2 * $3 }'
}
read_direct() { dd if="$1" iflag=direct bs=1M status=none; }
same_as() { read_direct "$1" | cmp -s - "$2"; }
write_direct() { dd if="$1" of="$2" oflag=direct bs=1M status=none "${@:3}"; }

mnt=$work/mnt
mkdir "$mnt"
if ! counterfeit_mount "$fs" "$mnt" --advertised=256M --real=64M; then
    grep -qiE 'not permitted|permission denied' "$COUNTERFEIT_LOG" &&
        skip "FUSE mounts are not allowed here: $(head -1 "$COUNTERFEIT_LOG")"
    echo "FAIL mount: $(cat "$COUNTERFEIT_LOG")"
    exit 1
fi

echo "# a fresh medium shows its advertised capacity"
check "256 MiB total and free" [ "$(free_and_total "$mnt")" = "$((256 * MiB)) $((256 * MiB))" ]

echo "# 128 MiB in two files with direct I/O"
head -c $((64 * MiB)) /dev/urandom >"$work/first.bin"
head -c $((64 * MiB)) /dev/urandom >"$work/second.bin"
check "first 64 MiB written" write_direct "$work/first.bin" "$mnt/first" conv=excl
check "second 64 MiB written" write_direct "$work/second.bin" "$mnt/second" conv=excl
check "an existing name is not created again (O_EXCL)" \
    not write_direct /dev/zero "$mnt/first" count=1 conv=excl 2>/dev/null
check "both files are 64 MiB" \
    [ "$(stat -c %s "$mnt/first") $(stat -c %s "$mnt/second")" = "$((64 * MiB)) $((64 * MiB))" ]
check "128 MiB free of 256" [ "$(free_and_total "$mnt")" = "$((128 * MiB)) $((256 * MiB))" ]

echo "# reading back: the later data has replaced the earlier"
check "the second file reads back intact" same_as "$mnt/second" "$work/second.bin"
check "the first file now holds the second file's data" same_as "$mnt/first" "$work/second.bin"
check "none of the first file's data is left" not same_as "$mnt/first" "$work/first.bin"

echo "# locks and running out of space"
check "a second exclusive flock is refused" \
    flock -n -x "$mnt/second" -c "! flock -n -x '$mnt/second' true"
check "the lock is free again afterwards" flock -n -x "$mnt/second" true
check "writing 200 MiB more ends with ENOSPC" \
    bash -c "! dd if=/dev/zero of='$mnt/third' oflag=direct bs=1M count=200 2>'$work/dd.err'"
check "dd names the lack of space" grep -q 'No space left' "$work/dd.err"
check "the third file got exactly the advertised rest" [ "$(stat -c %s "$mnt/third")" = $((128 * MiB)) ]
check "nothing free" [ "$(free_and_total "$mnt")" = "0 $((256 * MiB))" ]

echo "# deleting gives the space back"
rm "$mnt/first" "$mnt/second" "$mnt/third"
check "the folder is empty" [ -z "$(ls -A "$mnt")" ]
check "256 MiB free again" [ "$(free_and_total "$mnt")" = "$((256 * MiB)) $((256 * MiB))" ]
check "unmounted cleanly, the daemon ended with status 0" counterfeit_unmount "$mnt"
check "no mount left" not counterfeit_is_mounted "$mnt"

echo "# a card whose flash ends at 8 MiB reads zeros beyond"
counterfeit_mount "$fs" "$mnt" --advertised=16M --real=16M --zeros-beyond=8M ||
    { echo "FAIL second mount: $(tail -3 "$COUNTERFEIT_LOG")"; exit 1; }
head -c $((16 * MiB)) /dev/urandom >"$work/card.bin"
check "16 MiB written" write_direct "$work/card.bin" "$mnt/card"
check "the first 8 MiB read back intact" \
    cmp -s -n $((8 * MiB)) <(read_direct "$mnt/card") "$work/card.bin"
check "the last 8 MiB read back as zeros" \
    cmp -s <(read_direct "$mnt/card" | tail -c $((8 * MiB))) <(head -c $((8 * MiB)) /dev/zero)
check "unmounted cleanly" counterfeit_unmount "$mnt"

if ((failed > 0)); then
    echo "--- file system output ---"
    cat "$COUNTERFEIT_LOG"
fi
echo "counterfeit_medium: $failed failed"
((failed == 0))
