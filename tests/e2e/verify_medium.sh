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

e2e_name=verify_medium
# shellcheck source-path=SCRIPTDIR source=e2e_lib.sh
source "$here/e2e_lib.sh"
# shellcheck source-path=SCRIPTDIR source=../support/counterfeitfs/counterfeit_mount.sh
source "$here/../support/counterfeitfs/counterfeit_mount.sh"
e2e_teardown() { counterfeit_unmount_all; }
needs_root_and losetup mkfs.ext4 mount umount jq truncate findmnt

# The figures of a check that found everything it wrote intact.
all_intact='.state == "completed" and .bytesWritten > 0 and .bytesIntact == .bytesWritten
    and .bytesChecked == .bytesWritten and .bytesCorrupted == 0 and .bytesOverwritten == 0
    and .bytesEmpty == 0 and .firstBadPosition == null and .usableCapacity == .bytesWritten'

echo "# the system's file system is refused"
run root verify / --size 1 --json
expect_exit "/: exit status 1" 1
expect "/: refused, with the reason" \
    '.state == "refused" and (.messages[0] | startswith("/ liegt auf demselben Dateisystem wie /."))'

echo "# ext4"
make_medium ext4 64 || skip "$why"
ext4=$medium
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
expect_left "a: nothing left behind" "$ext4" '$_cap*' 0

run b1 verify "$ext4" --size 16 --keep --json
expect_exit "b: --keep: exit status 0" 0
expect "b: --keep: 16 MiB checked, one file kept" "$all_intact"' and .bytesWritten == 16777216 and .files == 1'
expect_left "b: --keep left the file" "$ext4" '$_cap*' 1
first_run=$(jq -r .run "$json")
run b2 verify "$ext4" --read-only --json
expect_exit "b: --read-only: exit status 0" 0
expect "b: --read-only: the kept 16 MiB of the same run, nothing written" \
    '.readOnly and .bytesWritten == 0 and .bytesIntact == 16777216 and .bytesChecked == 16777216
     and .run == "'"$first_run"'" and .writeMBps == null and .readMBps > 0'
expect_left "b: --read-only deleted the files afterwards" "$ext4" '$_cap*' 0

echo "# a speed test while the check runs, then Ctrl+C"
start_run d verify "$ext4" --json
freeze_after '%'
finished_early=false
grep -qE 'Löschen' "$work/d.err" && finished_early=true
run d2 single "$ext4" --size 1 --block 64 --json
expect_exit "d: the speed test: exit status 1" 1
expect "d: the speed test says the medium is being tested" \
    '[.messages[].text] == ["Der Datenträger wird gerade von einem anderen Test oder einer Prüfung von Kapazität und Daten benutzt. Bitte warten, bis dieser Vorgang beendet ist!"]'
kill -INT "$bg_pid" 2>/dev/null || true
last_run=d
end_run
if $finished_early; then
    ok "d: the check had finished before Ctrl+C (interruption not exercised)"
else
    expect_exit "d: Ctrl+C: exit status 130" 130
    expect "d: Ctrl+C: state interrupted, what was done is reported" \
        '.state == "interrupted" and .exitStatus == 130 and .bytesWritten > 0'
fi
expect_left "d: nothing left behind" "$ext4" '$_cap*' 0

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
        expect_left "e: FAT32: nothing left behind" "$fat" '$_cap*' 0
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
        expect_left "f: exFAT: nothing left behind" "$exfat" '$_cap*' 0
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
        expect "g: counterfeit: its usable capacity is its flash" '.usableCapacity == 67108864'
        expect "g: counterfeit: the verdict names it" '.verdict | startswith("Ergebnis: FÄLSCHUNG.")'
        expect_left "g: counterfeit: nothing left behind" "$fake" '$_cap*' 0
    else
        skip_check "counterfeit: could not mount it (FUSE not allowed here?)"
    fi
fi

finish
