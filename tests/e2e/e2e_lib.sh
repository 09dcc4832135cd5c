# shellcheck shell=bash
# What the end-to-end scripts share: a work folder, loop devices and mounts torn down on exit,
# runs of kardelo-cli with their JSON checked by jq, and the tally. Source it (bash) after
# setting $cli and $e2e_name; callers may add their own teardown in e2e_teardown.

# The callers set $cli and $e2e_name and read what the helpers set ($medium, $why, $json, ...).
# The jq filters hold a literal "$".
# shellcheck disable=SC2154,SC2034,SC2016

export LC_ALL=C.UTF-8
unset LANG LANGUAGE LC_NUMERIC 2>/dev/null || true

skip() {
    echo "SKIP: $e2e_name skipped: $*"
    exit 77
}

# needs_root_and TOOL...: skips unless root and every tool is there; then makes $work.
needs_root_and() {
    [[ $(id -u) -eq 0 ]] || skip "it needs root to attach loop devices and mount them"
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
    done
    work=$(mktemp -d "${TMPDIR:-/tmp}/kardelo-$e2e_name.XXXXXX")
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
}

mounts=()
loops=()
bg_pid=
e2e_teardown() { :; }

e2e_cleanup() {
    local status=$? m l i
    trap - EXIT INT TERM
    if [[ -n $bg_pid ]]; then
        kill -CONT "$bg_pid" 2>/dev/null || true
        kill -KILL "$bg_pid" 2>/dev/null || true
        wait "$bg_pid" 2>/dev/null || true
    fi
    e2e_teardown || true
    # Newest first: nothing is mounted inside another mount here, but it costs nothing.
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

# loop_device SIZE_MIB [SECTOR_BYTES]: a fresh image on a loop device, in $device. Fails
# (status 1, reason in $why) where the machine refuses a step.
loop_device() {
    local image=$work/image$((${#loops[@]} + 1)).img args=(--direct-io=on --find --show)
    [[ -n ${2:-} ]] && args+=(--sector-size "$2")
    truncate -s "${1}M" "$image" || { why="cannot create $image"; return 1; }
    if ! device=$(losetup "${args[@]}" "$image" 2>"$work/losetup.err"); then
        why="losetup failed: $(tr '\n' ' ' <"$work/losetup.err")"
        return 1
    fi
    loops+=("$device")
}

# make_medium NAME SIZE_MIB [SECTOR_BYTES] [RESERVED_PERCENT]: a fresh ext4 medium mounted at
# $work/NAME, which goes to $medium.
make_medium() {
    local mnt=$work/$1
    loop_device "$2" "${3:-}" || return 1
    if ! mkfs.ext4 -q -F -m "${4:-0}" -E lazy_itable_init=0,lazy_journal_init=0 "$device" \
        >"$work/mkfs.log" 2>&1 </dev/null; then
        why="mkfs.ext4 on $device failed: $(tr '\n' ' ' <"$work/mkfs.log")"
        return 1
    fi
    mkdir "$mnt"
    if ! mount "$device" "$mnt" 2>"$work/mount.err"; then
        why="mount of $device failed: $(tr '\n' ' ' <"$work/mount.err")"
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
finish() {
    echo "$e2e_name: $passed passed, $failed failed, $skipped skipped"
    ((failed == 0))
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
    last_run=$name
    rc=0
    "$program" "$@" >"$json" 2>"$work/$name.err" </dev/null || rc=$?
}

# start_run NAME CLI-ARGS...: runs kardelo-cli in the background ($bg_pid); collect it with
# end_run, which sets $rc and $json as run does.
start_run() {
    local name=$1
    shift
    "$cli" "$@" >"$work/$name.json" 2>"$work/$name.err" </dev/null &
    bg_pid=$!
    last_run=$name
}
end_run() {
    kill -CONT "$bg_pid" 2>/dev/null || true
    rc=0
    wait "$bg_pid" || rc=$?
    bg_pid=
    json=$work/$last_run.json
}

# freeze_after PATTERN: waits until the background run's stderr shows PATTERN, then stops it
# and waits until it is stopped, so what its progress shows is where a signal will land.
freeze_after() {
    local i state
    for ((i = 0; i < 4000; i++)); do
        grep -qE "$1" "$work/$last_run.err" 2>/dev/null && break
        kill -0 "$bg_pid" 2>/dev/null || break
        sleep 0.005
    done
    kill -STOP "$bg_pid" 2>/dev/null || true
    for ((i = 0; i < 2000; i++)); do
        state=$(sed 's/.*) //' "/proc/$bg_pid/stat" 2>/dev/null | cut -d' ' -f1) || state=
        [[ $state == T || $state == Z || -z $state ]] && break
        sleep 0.005
    done
}

show_last_run() {
    echo "     --- stdout of $last_run ---"
    sed 's/^/     /' "$json" | head -40
    echo "     --- stderr of $last_run (last lines) ---"
    tail -5 "$work/$last_run.err" | sed 's/^/     /'
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

# expect_left DESCRIPTION DIR GLOB COUNT: exactly COUNT entries matching GLOB are in DIR.
expect_left() {
    local left
    left=$(find "$2" -maxdepth 1 -name "$3" -printf '%f ')
    if [[ $(wc -w <<<"$left") -eq $4 ]]; then
        ok "$1"
    else
        fail "$1 (left in $2: $left; expected $4)"
    fi
}

available_bytes() {
    stat -f -c '%a %S' "$1" | awk '{ printf "%d\n", $1 * $2 }'
}
