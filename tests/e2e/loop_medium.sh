#!/usr/bin/env bash
# End-to-end run of kardelo-cli against real block devices: small ext4 images on loop devices
# with direct I/O, one with 512-byte and one with 4096-byte logical sectors. Only a real
# medium brings the kernel's O_DIRECT alignment rules, real free-space figures, real signals
# and the files a run leaves behind into play.
#
# Usage: loop_medium.sh PATH-TO-kardelo-cli
# Exit status: 0 all checks passed, 1 a check failed, 2 bad usage, 77 the machine does not
# allow loop devices and mounts here (skipped).

# The test files' names and the jq filters hold a literal "$".
# shellcheck disable=SC2016

set -euo pipefail

if [[ $# -ne 1 || ! -x $1 ]]; then
    echo "usage: $0 PATH-TO-kardelo-cli (an executable)" >&2
    exit 2
fi
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
e2e_name=loop_medium
# shellcheck source-path=SCRIPTDIR source=e2e_lib.sh
source "$here/e2e_lib.sh"
needs_root_and losetup mkfs.ext4 mount umount jq fallocate truncate

# expect_clean DESCRIPTION DIR: no test file of either test is left in DIR.
expect_clean() { expect_left "$1" "$2" '$_test*' 0; }

make_medium sector512 96 || skip "$why"
m512=$medium

echo "# a) single, 16 MiB in 256 KiB blocks on 512-byte sectors"
run a single "$m512" --size 16 --block 256 --json
expect_exit "a: exit status 0" 0
expect "a: state completed" '.state == "completed"'
expect "a: 16777216 bytes in 64 blocks of 262144" \
    '.bytes == 16777216 and .blocks == 64 and .blockBytes == 262144'
expect "a: write and read speeds above 0" '.writeMBps > 0 and .readMBps > 0'
expect "a: speeds agree with bytes and milliseconds" \
    '[.writeMBps, .bytes / 1048576 / (.writeMilliseconds / 1000)] as [$s, $c] | ($s - $c | fabs) <= 0.01 + $c / 1000'
expect "a: no messages" '.messages == []'
expect "a: the JSON names its MByte and gives bytes per second" \
    '.bytesPerMByte == 1048576 and (.writeBytesPerSecond / 1048576 - .writeMBps | fabs) <= 0.005'
expect_clean "a: no test file left" "$m512"

echo "# b) 1 KiB blocks are a multiple of 512-byte sectors"
run b single "$m512" --size 16 --block 1 --json
expect_exit "b: exit status 0" 0
expect "b: completed with 16384 blocks of 1024" \
    '.state == "completed" and .blocks == 16384 and .blockBytes == 1024'
expect_clean "b: no test file left" "$m512"

echo "# d) 4096-byte logical sectors"
if make_medium sector4k 64 4096; then
    m4k=$medium
    run d1 single "$m4k" --size 16 --block 1 --json
    expect_exit "d: 1 KiB blocks: exit status 1" 1
    expect "d: 1 KiB blocks: state aborted" '.state == "aborted"'
    expect "d: 1 KiB blocks: alignment message names 4096 bytes" \
        '[.messages[].text] == ["Die Blockgröße ist kein Vielfaches der Sektorgröße des Datenträgers (4096 Byte)."]'
    expect_clean "d: 1 KiB blocks: no test file left" "$m4k"
    run d4 single "$m4k" --size 16 --block 4 --json
    expect_exit "d: 4 KiB blocks: exit status 0" 0
    expect "d: 4 KiB blocks: completed, 4096 blocks" '.state == "completed" and .blocks == 4096'
    expect_clean "d: 4 KiB blocks: no test file left" "$m4k"
else
    skip_check "d: no 4096-byte-sector medium: $why"
fi

echo "# f) SIGINT during a run"
# Frozen after its first progress line: only a run that had already read its last block may
# end as completed.
start_run f single "$m512" --size 64 --block 4 --json
freeze_after '%'
finished_before_signal=false
grep -qE 'Lesen: 100 %|Ende des Tests' "$work/f.err" && finished_before_signal=true
kill -INT "$bg_pid" 2>/dev/null || true
end_run
if $finished_before_signal; then
    ok "f: run had finished before SIGINT arrived (accepted; interruption not exercised)"
else
    expect_exit "f: exit status 130" 130
    expect "f: state interrupted" '.state == "interrupted"'
    expect "f: reports what moved, not the plan" \
        '.bytes == .blocks * .blockBytes and .bytes < .plannedBytes and .plannedBytes == 67108864'
fi
expect_clean "f: no test file left" "$m512"

echo "# g) figures in the user's locale"
run g /usr/bin/env -u LC_ALL LANG=de_DE.UTF-8 "$cli" single "$m512" --size 16 --block 256 --json
expect_exit "g: exit status 0" 0
expect "g: speeds with a decimal comma" \
    '[.writeSpeedText, .readSpeedText] | all(test("^[0-9]+,[0-9]{2}$"))'

echo "# h) vfat"
modprobe vfat 2>/dev/null || true
if ! grep -qw vfat /proc/filesystems || ! command -v mkfs.vfat >/dev/null 2>&1; then
    skip_check "h: vfat: no vfat in the kernel or no mkfs.vfat"
elif loop_device 64 && mkdir "$work/vfat" && mkfs.vfat "$device" >/dev/null 2>&1 </dev/null &&
    mount -t vfat "$device" "$work/vfat" 2>/dev/null; then
    mounts+=("$work/vfat")
    run h single "$work/vfat" --size 16 --block 64 --json
    expect_exit "h: vfat single: exit status 0" 0
    expect "h: vfat single: completed" '.state == "completed" and .bytes == 16777216'
    expect_clean "h: vfat single: no test file left" "$work/vfat"
else
    skip_check "h: vfat: could not make or mount a vfat medium"
fi

echo "# j) a killed multi-file run leaves nothing for good"
# Killed late enough that its files take most of the room: the next run plans fewer files than
# the killed one left.
start_run j multi "$m512"
for ((i = 0; i < 2000; i++)); do
    [[ -n $(find "$m512" -maxdepth 1 -name '$_test030.$$$') ]] && break
    kill -0 "$bg_pid" 2>/dev/null || break
    sleep 0.005
done
kill -KILL "$bg_pid" 2>/dev/null || true
end_run
left=$(find "$m512" -maxdepth 1 -name '$_test*' | wc -l)
run j multi "$m512" --json
expect_exit "j: the next run after a kill ($left files left by it): exit status 0" 0
expect_clean "j: the next run removed them all" "$m512"

echo "# k) two runs on one medium"
start_run k1 single "$m512" --size 64 --block 4 --json
freeze_after '%'
run k2 single "$m512" --size 16 --json
expect_exit "k: the second run: exit status 1" 1
expect "k: the second run says the medium is being tested" \
    '[.messages[].text] == ["Der Datenträger wird gerade von einem anderen Test oder einer Prüfung von Kapazität und Daten benutzt. Bitte warten, bis dieser Vorgang beendet ist!"]'
expect_left "k: the first run's file is still there" "$m512" '$_test.$$$' 1
last_run=k1
end_run
expect_exit "k: the first run: exit status 0" 0
expect "k: the first run completed all its blocks" '.state == "completed" and .blocks == 16384 and .bytesRead == 67108864'
expect_clean "k: no test file left" "$m512"

echo "# l) reserved blocks: the refusal quotes the bytes free for the user"
if make_medium reserved 64 "" 10; then
    mres=$medium
    fallocate -l $(($(available_bytes "$mres") - 10 * 1048576)) "$mres/filler"
    l_avail=$(available_bytes "$mres")
    l_free=$(stat -f -c '%f %S' "$mres" | awk '{ printf "%d\n", $1 * $2 }')
    run l single "$mres" --size 16 --json
    expect_exit "l: exit status 1" 1
    expect "l: message quotes $l_avail (not the $l_free free in total)" \
        "(.messages[0].text | capture(\"nur: (?<n>[0-9,.]+) Byte frei\") | .n | gsub(\"[,.]\"; \"\") | tonumber) == $l_avail"
    run l2 multi "$mres" --json
    expect_exit "l: multi with room for fewer than 100 files: exit status 0" 0
    expect "l: multi: completed with 1 to 99 files that fit into the $l_avail bytes free" \
        ".state == \"completed\" and .files >= 1 and .files < 100 and .bytes > 0 and .bytes <= $l_avail"
    expect "l: multi: the reduction message quotes $l_avail" \
        "(.messages[0].text | capture(\"nur: (?<n>[0-9,.]+) Byte frei\") | .n | gsub(\"[,.]\"; \"\") | tonumber) == $l_avail"
    expect "l: multi: the JSON names its MByte" '.bytesPerMByte == 1024000 and .writeBytesPerSecond > 0'
    expect_clean "l: no test file left" "$mres"
else
    skip_check "l: no medium with reserved blocks: $why"
fi

echo "# n) an installed program: one per-user log for the window and the command line"
window_exe=$(dirname "$cli")/kardelo
program_mib=$(du -cm "$cli" "$window_exe" 2>/dev/null | tail -1 | cut -f1)
if make_medium program $((program_mib * 3 / 2 + 16)); then
    mprog=$medium
    cp "$cli" "$mprog/kardelo-cli"
    [[ -x $window_exe ]] && cp "$window_exe" "$mprog/kardelo"
    mount -o remount,ro "$mprog"
    export XDG_DATA_HOME=$work/xdg
    if [[ -x $mprog/kardelo ]]; then
        QT_QPA_PLATFORM=offscreen "$mprog/kardelo" >/dev/null 2>&1 &
        bg_pid=$!
        for ((i = 0; i < 1000; i++)); do
            [[ -f $XDG_DATA_HOME/kardelo/protokoll.dat ]] && break
            sleep 0.01
        done
        kill -TERM "$bg_pid" 2>/dev/null || true
        wait "$bg_pid" 2>/dev/null || true
        bg_pid=
        if [[ -f $XDG_DATA_HOME/kardelo/protokoll.dat ]]; then
            ok "n: the window made its log in $XDG_DATA_HOME/kardelo/"
        else
            fail "n: the window made no log in $XDG_DATA_HOME/kardelo/: $(ls -R "$XDG_DATA_HOME" 2>&1 | tr '\n' ' ')"
        fi
    fi
    run n "$mprog/kardelo-cli" single "$m512" --size 16 --save "Stick n" --json
    expect_exit "n: --save from a read-only program folder: exit status 0" 0
    if [[ $(ls "$XDG_DATA_HOME") == kardelo && $(grep -c 'Stick n|' "$XDG_DATA_HOME/kardelo/protokoll.dat") -eq 1 &&
        $(wc -l <"$XDG_DATA_HOME/kardelo/protokoll.dat") -eq 15 ]]; then
        ok "n: the window's log and the command line's are one: $XDG_DATA_HOME/kardelo/protokoll.dat"
    else
        fail "n: not one log: $(ls -R "$XDG_DATA_HOME" | tr '\n' ' ')"
    fi
    export XDG_DATA_HOME=$mprog/xdg
    run n2 "$mprog/kardelo-cli" single "$m512" --size 16 --save "Stick n"
    expect_exit "n: no writable folder for the log: exit status 1" 1
    if grep -q "nicht in $mprog/xdg/kardelo/protokoll.dat eingetragen: der Ordner kann nicht angelegt werden" "$work/n2.err"; then
        ok "n: says where it tried and why it failed"
    else
        fail "n: the failed save is not explained: $(tr '\n' ' ' <"$work/n2.err")"
    fi
    unset XDG_DATA_HOME
else
    skip_check "n: no medium for the program: $why"
fi

finish
