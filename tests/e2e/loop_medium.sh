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

skip() {
    echo "SKIP: loop-medium end-to-end test skipped: $*"
    exit 77
}

# Figures and texts must not depend on whoever runs this; the locale check sets its own.
export LC_ALL=C.UTF-8
unset LANG LANGUAGE LC_NUMERIC 2>/dev/null || true

[[ $(id -u) -eq 0 ]] || skip "it needs root to attach loop devices and mount them"
for tool in losetup mkfs.ext4 mount umount jq fallocate truncate; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kardelo-e2e.XXXXXX")
mounts=()
loops=()
bg_pid=

cleanup() {
    local status=$? m l i
    trap - EXIT INT TERM
    if [[ -n $bg_pid ]]; then
        kill -KILL "$bg_pid" 2>/dev/null || true
        wait "$bg_pid" 2>/dev/null || true
    fi
    # Newest first: nothing is mounted inside another mount here, but it costs nothing.
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        m=${mounts[i]}
        umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || echo "warning: could not unmount $m" >&2
    done
    for l in ${loops[@]+"${loops[@]}"}; do
        losetup -d "$l" 2>/dev/null || echo "warning: could not detach $l" >&2
    done
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# make_medium NAME SIZE_MIB [SECTOR_BYTES] [RESERVED_PERCENT]: a fresh ext4 medium; its mount
# point goes to $medium. Fails (status 1, reason in $why) where the machine refuses a step.
make_medium() {
    local name=$1 size=$2 sector=${3:-} reserved=${4:-0} dev
    local image=$work/$name.img mnt=$work/$name
    local args=(--direct-io=on --find --show)
    [[ -n $sector ]] && args+=(--sector-size "$sector")
    truncate -s "${size}M" "$image" || { why="cannot create $image"; return 1; }
    if ! dev=$(losetup "${args[@]}" "$image" 2>"$work/losetup.err"); then
        why="losetup failed: $(tr '\n' ' ' <"$work/losetup.err")"
        return 1
    fi
    loops+=("$dev")
    if ! mkfs.ext4 -q -F -m "$reserved" -E lazy_itable_init=0,lazy_journal_init=0 "$dev" \
        >"$work/mkfs.log" 2>&1 </dev/null; then
        why="mkfs.ext4 on $dev failed: $(tr '\n' ' ' <"$work/mkfs.log")"
        return 1
    fi
    mkdir "$mnt"
    if ! mount "$dev" "$mnt" 2>"$work/mount.err"; then
        why="mount of $dev failed: $(tr '\n' ' ' <"$work/mount.err")"
        return 1
    fi
    mounts+=("$mnt")
    medium=$mnt
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

# run NAME [PROGRAM] CLI-ARGS...: runs kardelo-cli (or PROGRAM, a path); $rc gets its exit
# status, $json its stdout file.
run() {
    local name=$1 program=$cli
    shift
    if [[ $1 == /* ]]; then
        program=$1
        shift
    fi
    json=$work/$name.json
    rc=0
    "$program" "$@" >"$json" 2>"$work/$name.err" </dev/null || rc=$?
    last_run=$name
}

# expect DESCRIPTION JQ-FILTER: the filter holds on the last run's JSON.
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

show_last_run() {
    echo "     --- stdout of $last_run ---"
    sed 's/^/     /' "$json" | head -40
    echo "     --- stderr of $last_run (last lines) ---"
    tail -5 "$work/$last_run.err" | sed 's/^/     /'
}

# expect_clean DESCRIPTION DIR: no test file of either test is left in DIR.
expect_clean() {
    local left
    left=$(find "$2" -maxdepth 1 -name '$_test*' -printf '%f ')
    if [[ -z $left ]]; then
        ok "$1"
    else
        fail "$1 (left behind: $left)"
    fi
}

available_bytes() {
    stat -f -c '%a %S' "$1" | awk '{ printf "%d\n", $1 * $2 }'
}

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

echo "# c) multi on a medium with room for fewer than 100 files"
run c multi "$m512" --json
expect_exit "c: exit status 0" 0
expect "c: state completed" '.state == "completed"'
expect "c: reduction warning shown" \
    'any(.messages[]; .icon == "warning" and (.text | startswith("Auf dem ausgewählten Datenträger sind nur: ")))'
expect "c: between 1 and 99 files" '.files >= 1 and .files < 100'
c_free=$(available_bytes "$m512")
expect "c: planned bytes fit into the free space ($c_free)" ".bytes > 0 and .bytes <= $c_free"
expect_clean "c: no test file left" "$m512"

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

echo "# e) a nearly full medium"
# A medium of its own, so the fill cannot starve the checks after it.
if make_medium full 32; then
    mfull=$medium
    fallocate -l $(($(available_bytes "$mfull") - 8 * 1048576)) "$mfull/filler"
    e_free=$(available_bytes "$mfull")
    if ((e_free >= 16 * 1048576)); then
        fail "e: could not fill the medium below 16 MiB ($e_free bytes free)"
    else
        run e1 single "$mfull" --size 16 --json
        expect_exit "e: single with $e_free bytes free: exit status 1" 1
        expect "e: single: state aborted" '.state == "aborted"'
        expect "e: single: free-space warning" \
            '[.messages[].text] | length == 1 and (.[0] | startswith("Auf dem ausgewählten Datenträger sind nur: "))'
        expect_clean "e: single: no test file left" "$mfull"
    fi
    # Write until ENOSPC, then once more in small blocks: delayed allocation keeps back a few
    # blocks the first pass could not use.
    dd if=/dev/zero of="$mfull/filler2" bs=1M status=none 2>/dev/null || true
    dd if=/dev/zero of="$mfull/filler3" bs=1k status=none 2>/dev/null || true
    sync -f "$mfull"
    e_free=$(available_bytes "$mfull")
    if ((e_free < 1024)); then
        run e2 multi "$mfull" --json
        expect_exit "e: multi with $e_free bytes free: exit status 1" 1
        expect "e: multi: state aborted with no files" '.state == "aborted" and .files == 0'
        expect "e: multi: too-little-space message" \
            '[.messages[].text] == ["Auf dem ausgewählten Datenträger ist zu wenig Platz frei. Der Test kann nicht ausgeführt werden."]'
        expect_clean "e: multi: no test file left" "$mfull"
    else
        skip_check "e: multi with no room: could not get below 1024 bytes free ($e_free left)"
    fi
else
    skip_check "e: no medium to fill: $why"
fi

echo "# f) SIGINT during a run"
# The first progress line appears once the handler is installed and a block is written. The
# run is then frozen, so what its progress shows is where the signal will land: only a run
# that had already read its last block may end as completed.
"$cli" single "$m512" --size 64 --block 4 --json >"$work/f.json" 2>"$work/f.err" </dev/null &
bg_pid=$!
for ((i = 0; i < 2000; i++)); do
    [[ -s $work/f.err ]] && break
    kill -0 "$bg_pid" 2>/dev/null || break
    sleep 0.005
done
kill -STOP "$bg_pid" 2>/dev/null || true
for ((i = 0; i < 2000; i++)); do
    state=$(sed 's/.*) //' "/proc/$bg_pid/stat" 2>/dev/null | cut -d' ' -f1) || state=
    [[ $state == T || $state == Z || -z $state ]] && break
    sleep 0.005
done
finished_before_signal=false
grep -qE 'Lesen: 100 %|Ende des Tests' "$work/f.err" && finished_before_signal=true
kill -INT "$bg_pid" 2>/dev/null || true
kill -CONT "$bg_pid" 2>/dev/null || true
rc=0
wait "$bg_pid" || rc=$?
bg_pid=
json=$work/f.json
last_run=f
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
json=$work/g.json
last_run=g
rc=0
env -u LC_ALL LANG=de_DE.UTF-8 "$cli" single "$m512" --size 16 --block 256 --json \
    >"$json" 2>"$work/g.err" </dev/null || rc=$?
expect_exit "g: exit status 0" 0
expect "g: writeSpeedText has a decimal comma" '.writeSpeedText | test("^[0-9]+,[0-9]{2}$")'
expect "g: readSpeedText has a decimal comma" '.readSpeedText | test("^[0-9]+,[0-9]{2}$")'
expect_clean "g: no test file left" "$m512"

echo "# h) vfat"
if command -v modprobe >/dev/null 2>&1; then
    modprobe vfat 2>/dev/null || true
fi
if ! grep -qw vfat /proc/filesystems; then
    skip_check "h: vfat: the kernel offers no vfat file system"
elif ! command -v mkfs.vfat >/dev/null 2>&1; then
    skip_check "h: vfat: mkfs.vfat is not installed"
else
    image=$work/vfat.img
    truncate -s 64M "$image"
    if vdev=$(losetup --direct-io=on --find --show "$image" 2>"$work/losetup.err"); then
        loops+=("$vdev")
        mkdir "$work/vfat"
        if mkfs.vfat "$vdev" >"$work/mkfs.log" 2>&1 </dev/null &&
            mount -t vfat "$vdev" "$work/vfat" 2>"$work/mount.err"; then
            mounts+=("$work/vfat")
            run h single "$work/vfat" --size 16 --block 64 --json
            expect_exit "h: vfat single: exit status 0" 0
            expect "h: vfat single: completed" '.state == "completed" and .bytes == 16777216'
            expect_clean "h: vfat single: no test file left" "$work/vfat"
        else
            skip_check "h: vfat: could not make or mount a vfat medium"
        fi
    else
        skip_check "h: vfat: losetup failed"
    fi
fi

echo "# i) what sits at the test files' names"
printf 'the user keeps this\n' >"$m512/user.txt"
ln "$m512/user.txt" "$m512/\$_test001.\$\$\$"
run i1 multi "$m512" --json
expect_exit "i: hard link at \$_test001.\$\$\$: exit status 0" 0
if [[ $(cat "$m512/user.txt") == "the user keeps this" && $(stat -c %h "$m512/user.txt") -eq 1 ]]; then
    ok "i: hard link: the user's file is untouched"
else
    fail "i: hard link: the user's file was changed"
fi
mkfifo "$m512/\$_test.\$\$\$"
rc=0
timeout -k 5 60 "$cli" single "$m512" --size 16 --json >"$work/i2.json" 2>"$work/i2.err" </dev/null || rc=$?
json=$work/i2.json
last_run=i2
expect_exit "i: FIFO at \$_test.\$\$\$: no hang, exit status 0" 0
mkfifo "$m512/\$_test001.\$\$\$"
rc=0
timeout -k 5 60 "$cli" multi "$m512" --json >"$work/i3.json" 2>"$work/i3.err" </dev/null || rc=$?
json=$work/i3.json
last_run=i3
expect_exit "i: FIFO at \$_test001.\$\$\$: no hang, exit status 0" 0
mkdir "$m512/\$_test005.\$\$\$"
run i4 multi "$m512" --json
expect_exit "i: folder at \$_test005.\$\$\$: exit status 1" 1
expect "i: folder: the message names it" \
    '[.messages[].text] == ["Der Ordner \"'"$m512"'/$_test005.$$$\" trägt den Namen einer Testdatei und bleibt, wo er ist. Bitte umbenennen oder löschen!"]'
if [[ -d $m512/\$_test005.\$\$\$ ]]; then ok "i: folder: left alone"; else fail "i: folder: removed"; fi
rmdir "$m512/\$_test005.\$\$\$"
rm -f "$m512/user.txt"
expect_clean "i: no test file left" "$m512"

echo "# j) a killed multi-file run leaves nothing for good"
# Killed late enough that its files take most of the room: the next run plans fewer files than
# the killed one left.
"$cli" multi "$m512" >/dev/null 2>"$work/j.err" </dev/null &
bg_pid=$!
for ((i = 0; i < 2000; i++)); do
    [[ -n $(find "$m512" -maxdepth 1 -name '$_test030.$$$') ]] && break
    kill -0 "$bg_pid" 2>/dev/null || break
    sleep 0.005
done
kill -KILL "$bg_pid" 2>/dev/null || true
wait "$bg_pid" 2>/dev/null || true
bg_pid=
left=$(find "$m512" -maxdepth 1 -name '$_test*' | wc -l)
run j multi "$m512" --json
expect_exit "j: the next run after a kill ($left files left by it): exit status 0" 0
expect_clean "j: the next run removed them all" "$m512"

echo "# k) two runs on one medium"
"$cli" single "$m512" --size 64 --block 4 --json >"$work/k1.json" 2>"$work/k1.err" </dev/null &
bg_pid=$!
for ((i = 0; i < 2000; i++)); do
    [[ -s $work/k1.err ]] && break
    sleep 0.005
done
kill -STOP "$bg_pid"
run k2 single "$m512" --size 16 --json
expect_exit "k: the second run: exit status 1" 1
expect "k: the second run says the medium is being tested" \
    '[.messages[].text] == ["Der Datenträger wird gerade von einem anderen Test oder einer Prüfung von Kapazität und Daten benutzt. Bitte warten, bis dieser Vorgang beendet ist!"]'
if [[ -f $m512/\$_test.\$\$\$ ]]; then ok "k: the first run's file is still there"; else fail "k: the first run's file was deleted"; fi
kill -CONT "$bg_pid"
rc=0
wait "$bg_pid" || rc=$?
bg_pid=
json=$work/k1.json
last_run=k1
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
    expect "l: multi: the reduction message quotes $l_avail" \
        "(.messages[0].text | capture(\"nur: (?<n>[0-9,.]+) Byte frei\") | .n | gsub(\"[,.]\"; \"\") | tonumber) == $l_avail"
    expect "l: multi: the JSON names its MByte" '.bytesPerMByte == 1024000 and .writeBytesPerSecond > 0'
    expect_clean "l: no test file left" "$mres"
else
    skip_check "l: no medium with reserved blocks: $why"
fi

echo "# m) multi-file test on 4096-byte sectors"
if [[ -n ${m4k:-} ]]; then
    run m multi "$m4k" --json
    expect_exit "m: exit status 1" 1
    expect "m: the message names the file sizes" \
        '[.messages[-1].text] == ["Die Dateigrößen des Multi-File-Tests sind kein Vielfaches der Sektorgröße des Datenträgers (4096 Byte)."]'
    expect_clean "m: no test file left" "$m4k"
else
    skip_check "m: no 4096-byte-sector medium"
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

echo "loop_medium: $passed passed, $failed failed, $skipped skipped"
((failed == 0))
