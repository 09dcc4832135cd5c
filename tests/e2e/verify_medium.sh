#!/usr/bin/env bash
# End-to-end run of kardelo-cli verify on real media: a small ext4 loop medium (everything
# intact, nothing left behind, kept files read back later, Ctrl+C, a speed test refused while
# the check runs), FAT32 through fusefat and exFAT through exfat-fuse where the machine can
# mount them, and a counterfeit FUSE medium that advertises 256 MiB but stores 64 MiB.
#
# Usage: verify_medium.sh PATH-TO-kardelo-cli PATH-TO-counterfeitfs (empty when not built)
# Exit status: 0 all checks passed, 1 a check failed, 2 bad usage, 77 no root or no loop
# devices here (skipped).

# The check's file names and the jq filters hold a literal "$".
# shellcheck disable=SC2016

set -euo pipefail

if [[ $# -ne 2 || ! -x $1 ]]; then
    echo "usage: $0 PATH-TO-kardelo-cli PATH-TO-counterfeitfs" >&2
    exit 2
fi
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
counterfeit_fs=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() {
    echo "SKIP: verify end-to-end test skipped: $*"
    exit 77
}

export LC_ALL=C.UTF-8
unset LANG LANGUAGE LC_NUMERIC 2>/dev/null || true

[[ $(id -u) -eq 0 ]] || skip "it needs root to attach loop devices and mount them"
for tool in losetup mkfs.ext4 mount umount jq truncate findmnt; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done

# shellcheck source-path=SCRIPTDIR source=../support/counterfeitfs/counterfeit_mount.sh
source "$here/../support/counterfeitfs/counterfeit_mount.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/kardelo-verify.XXXXXX")
mounts=()
loops=()
bg_pid=

cleanup() {
    local status=$? m l i
    trap - EXIT INT TERM
    if [[ -n $bg_pid ]]; then
        kill -CONT "$bg_pid" 2>/dev/null || true
        kill -KILL "$bg_pid" 2>/dev/null || true
        wait "$bg_pid" 2>/dev/null || true
    fi
    counterfeit_unmount_all || true
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        m=${mounts[i]}
        umount "$m" 2>/dev/null || fusermount -u "$m" 2>/dev/null || umount -l "$m" 2>/dev/null ||
            echo "warning: could not unmount $m" >&2
    done
    for l in ${loops[@]+"${loops[@]}"}; do
        losetup -d "$l" 2>/dev/null || echo "warning: could not detach $l" >&2
    done
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# loop_device SIZE_MIB: a fresh image on a loop device, in $device.
loop_device() {
    local image=$work/image$((${#loops[@]} + 1)).img
    truncate -s "${1}M" "$image" || { why="cannot create $image"; return 1; }
    if ! device=$(losetup --direct-io=on --find --show "$image" 2>"$work/losetup.err"); then
        why="losetup failed: $(tr '\n' ' ' <"$work/losetup.err")"
        return 1
    fi
    loops+=("$device")
}

passed=0
failed=0
skipped=0
ok() {
    echo "ok   $*"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL $*"
    failed=$((failed + 1))
}
skip_check() {
    echo "skip $*"
    skipped=$((skipped + 1))
}

# run NAME CLI-ARGS...: $rc gets the exit status, $json the stdout file.
run() {
    local name=$1
    shift
    json=$work/$name.json
    last_run=$name
    rc=0
    "$cli" "$@" >"$json" 2>"$work/$name.err" </dev/null || rc=$?
}

show_last_run() {
    echo "     --- stdout of $last_run ---"
    sed 's/^/     /' "$json" | head -40
    echo "     --- stderr of $last_run (last lines) ---"
    tail -5 "$work/$last_run.err" | sed 's/^/     /'
}

expect() {
    if jq -e "$2" "$json" >/dev/null 2>&1; then
        ok "$1"
    else
        fail "$1"
        show_last_run
    fi
}

expect_exit() {
    if [[ $rc -eq $2 ]]; then
        ok "$1"
    else
        fail "$1 (exit status $rc, expected $2)"
        show_last_run
    fi
}

# expect_left DESCRIPTION DIR COUNT: exactly COUNT of the check's files are in DIR.
expect_left() {
    local left
    left=$(find "$2" -maxdepth 1 -name '$_cap*' | wc -l)
    if [[ $left -eq $3 ]]; then
        ok "$1"
    else
        fail "$1 ($left files of the check in $2, expected $3)"
    fi
}

available_bytes() {
    stat -f -c '%a %S' "$1" | awk '{ printf "%d\n", $1 * $2 }'
}

# The figures of a check that found everything it wrote intact.
all_intact='.state == "completed" and .bytesWritten > 0 and .bytesIntact == .bytesWritten
    and .bytesChecked == .bytesWritten and .bytesCorrupted == 0 and .bytesOverwritten == 0
    and .bytesEmpty == 0 and .firstBadPosition == null and .usableCapacity == .bytesWritten'

# stop_after_progress PID ERRFILE: waits for the first progress line, then freezes PID.
stop_after_progress() {
    local i state
    for ((i = 0; i < 4000; i++)); do
        grep -q '%' "$2" 2>/dev/null && break
        kill -0 "$1" 2>/dev/null || break
        sleep 0.005
    done
    kill -STOP "$1" 2>/dev/null || true
    for ((i = 0; i < 2000; i++)); do
        state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || state=
        [[ $state == T || $state == Z || -z $state ]] && break
        sleep 0.005
    done
}

echo "# the system's file system is refused"
run root verify / --size 1 --json
expect_exit "/: exit status 1" 1
expect "/: refused, with the reason" \
    '.state == "refused" and (.messages[0] | startswith("/ liegt auf demselben Dateisystem wie /."))'

echo "# ext4"
loop_device 64 || skip "$why"
mkfs.ext4 -q -F -m 0 -E lazy_itable_init=0,lazy_journal_init=0 "$device" >/dev/null 2>&1 </dev/null ||
    skip "mkfs.ext4 failed on $device"
ext4=$work/ext4
mkdir "$ext4"
mount "$device" "$ext4" 2>"$work/mount.err" || skip "mount failed: $(cat "$work/mount.err")"
mounts+=("$ext4")
free=$(available_bytes "$ext4")
run a verify "$ext4" --json --trace "$work/a.csv"
expect_exit "a: all intact: exit status 0" 0
expect "a: every byte written came back intact" "$all_intact"
expect "a: the medium was filled ($free bytes free, less than 1 MiB left)" \
    ".mediumFull and .bytesWritten <= $free and .bytesWritten > $free - 1048576"
expect "a: figures in MByte of 1,048,576 bytes, both phases measured" \
    '.bytesPerMByte == 1048576 and .writeMBps > 0 and .readMBps > 0 and
     (.writeBytesPerSecond / 1048576 - .writeMBps | fabs) < 1e-6'
expect "a: one trace point for 64 MiB" '(.trace | length) == 1 and .trace[0].position == 0'
if [[ $(head -1 "$work/a.csv") == "position,write_MBps,read_MBps" && $(wc -l <"$work/a.csv") -eq 2 ]] &&
    grep -qE '^0,[0-9]+\.[0-9]{2},[0-9]+\.[0-9]{2}$' "$work/a.csv"; then
    ok "a: --trace wrote the CSV"
else
    fail "a: --trace CSV: $(tr '\n' '|' <"$work/a.csv")"
fi
expect_left "a: nothing left behind" "$ext4" 0

run b1 verify "$ext4" --size 16 --keep --json
expect_exit "b: --keep: exit status 0" 0
expect "b: --keep: 16 MiB checked, one file kept" "$all_intact"' and .bytesWritten == 16777216 and .files == 1'
expect_left "b: --keep left the file" "$ext4" 1
first_run=$(jq -r .run "$json")
run b2 verify "$ext4" --read-only --json
expect_exit "b: --read-only: exit status 0" 0
expect "b: --read-only: the kept 16 MiB of the same run, nothing written" \
    '.readOnly and .bytesWritten == 0 and .bytesIntact == 16777216 and .bytesChecked == 16777216
     and .run == "'"$first_run"'" and .writeMBps == null and .readMBps > 0'
expect_left "b: --read-only deleted the files afterwards" "$ext4" 0
run b3 verify "$ext4" --read-only --json
expect_exit "b: --read-only with nothing kept: exit status 1" 1
expect "b: says there is nothing to check" \
    '.state == "refused" and (.messages[0] | startswith("Es gibt keine Dateien einer früheren Prüfung"))'

echo "# a speed test while the check runs, then Ctrl+C"
"$cli" verify "$ext4" --json >"$work/d.json" 2>"$work/d.err" </dev/null &
bg_pid=$!
stop_after_progress "$bg_pid" "$work/d.err"
finished_early=false
grep -qE 'Löschen' "$work/d.err" && finished_early=true
run d2 single "$ext4" --size 1 --block 64 --json
expect_exit "d: the speed test: exit status 1" 1
expect "d: the speed test says the medium is being tested" \
    '[.messages[].text] == ["Der Datenträger wird gerade von einem anderen Test oder einer Prüfung von Kapazität und Daten benutzt. Bitte warten, bis dieser Vorgang beendet ist!"]'
kill -INT "$bg_pid" 2>/dev/null || true
kill -CONT "$bg_pid" 2>/dev/null || true
rc=0
wait "$bg_pid" || rc=$?
bg_pid=
json=$work/d.json
last_run=d
if $finished_early; then
    ok "d: the check had finished before Ctrl+C (interruption not exercised)"
else
    expect_exit "d: Ctrl+C: exit status 130" 130
    expect "d: Ctrl+C: state interrupted, what was done is reported" \
        '.state == "interrupted" and .exitStatus == 130 and .bytesWritten > 0'
fi
expect_left "d: nothing left behind" "$ext4" 0

echo "# FAT32 through fusefat"
if ! command -v fusefat >/dev/null 2>&1 || ! command -v mkfs.vfat >/dev/null 2>&1; then
    skip_check "FAT32: fusefat or mkfs.vfat is not installed"
elif [[ ! -c /dev/fuse ]]; then
    skip_check "FAT32: /dev/fuse is missing"
elif loop_device 66; then
    # 1 KiB clusters: the smallest FAT32 for which fusefat reports its free space.
    fat=$work/fat32
    mkdir "$fat"
    if mkfs.vfat -F 32 -s 2 "$device" >/dev/null 2>&1 &&
        fusefat -o "rw+,fsname=$device,subtype=fusefat" "$device" "$fat" >/dev/null 2>&1; then
        mounts+=("$fat")
        free=$(available_bytes "$fat")
        run e verify "$fat" --json
        expect_exit "e: FAT32: exit status 0" 0
        expect "e: FAT32: filled up ($free free; fusefat says EPERM when full), all intact" \
            "$all_intact"' and .mediumFull and .bytesWritten > '"$free"' - 1048576'
        expect_left "e: FAT32: nothing left behind" "$fat" 0
    else
        skip_check "FAT32: could not make or mount the medium"
    fi
else
    skip_check "FAT32: $why"
fi

echo "# exFAT through exfat-fuse"
if ! command -v mount.exfat-fuse >/dev/null 2>&1 || ! command -v mkfs.exfat >/dev/null 2>&1; then
    skip_check "exFAT: exfat-fuse or mkfs.exfat is not installed"
elif [[ ! -c /dev/fuse ]]; then
    skip_check "exFAT: /dev/fuse is missing"
elif loop_device 32; then
    exfat=$work/exfat
    mkdir "$exfat"
    if mkfs.exfat "$device" >/dev/null 2>&1 && mount.exfat-fuse "$device" "$exfat" >/dev/null 2>&1; then
        mounts+=("$exfat")
        run f verify "$exfat" --json
        expect_exit "f: exFAT: exit status 0" 0
        expect "f: exFAT: filled up, all intact" "$all_intact"' and .mediumFull'
        expect_left "f: exFAT: nothing left behind" "$exfat" 0
    else
        skip_check "exFAT: could not make or mount the medium"
    fi
else
    skip_check "exFAT: $why"
fi

echo "# a counterfeit medium: 256 MiB advertised, 64 MiB real"
if [[ -z $counterfeit_fs || ! -x $counterfeit_fs ]]; then
    skip_check "counterfeit: the counterfeit file system was not built (libfuse3 missing)"
elif [[ ! -c /dev/fuse ]]; then
    skip_check "counterfeit: /dev/fuse is missing"
else
    fake=$work/fake
    mkdir "$fake"
    if counterfeit_mount "$counterfeit_fs" "$fake" --advertised=256M --real=64M; then
        run g verify "$fake" --json
        expect_exit "g: counterfeit: exit status 3" 3
        expect "g: counterfeit: 256 MiB written, about 64 MiB intact, the rest overwritten" \
            '.state == "completed" and .bytesWritten == 268435456 and
             .bytesIntact >= 62914560 and .bytesIntact <= 67108864 and
             .bytesOverwritten == .bytesWritten - .bytesIntact and .bytesCorrupted == 0 and
             .bytesEmpty == 0 and .firstBadPosition == 0'
        expect "g: counterfeit: the verdict names it" '.verdict | startswith("Ergebnis: FÄLSCHUNG.")'
        expect_left "g: counterfeit: nothing left behind" "$fake" 0
    else
        skip_check "counterfeit: could not mount it (FUSE not allowed here?)"
    fi
fi

echo "verify_medium: $passed passed, $failed failed, $skipped skipped"
((failed == 0))
