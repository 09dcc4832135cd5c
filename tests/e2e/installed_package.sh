#!/usr/bin/env bash
# Installs the Debian package with apt-get and uses the installed programs as a user would:
# kardelo-cli's usage and drive list, a 16 MiB single-file test with --save on an ext4 medium
# of its own on a loop device, the log it leaves in the per-user data folder (never beside the
# executable, not even for root), and the window, which must start from the installed files
# and seed the same log that kardelo-cli reads. A package that was not installed before is
# removed again at the end.
#
# Usage: installed_package.sh PATH-TO-kardelo_VERSION_ARCH.deb
# Exit status: 0 all checks passed, 1 a check failed, 2 bad usage, 77 not root (skipped).

# The test file's name holds a literal "$".
# shellcheck disable=SC2016

set -euo pipefail

if [[ $# -ne 1 || ! -f $1 || $1 != *.deb ]]; then
    echo "usage: $0 PATH-TO-kardelo_VERSION_ARCH.deb" >&2
    exit 2
fi
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
[[ $(id -u) -eq 0 ]] || {
    echo "SKIP: installing a package needs root"
    exit 77
}

export LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive
unset LANG LANGUAGE XDG_DATA_HOME 2>/dev/null || true

work=$(mktemp -d "${TMPDIR:-/tmp}/kardelo-installed.XXXXXX")
installed_before=false
dpkg-query -W -f='${Status}' kardelo 2>/dev/null | grep -q 'ok installed' && installed_before=true
mount_point=
loop=
window_pid=

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    if [[ -n $window_pid ]]; then
        kill -KILL "$window_pid" 2>/dev/null || true
        wait "$window_pid" 2>/dev/null || true
    fi
    if [[ -n $mount_point ]]; then
        umount "$mount_point" 2>/dev/null || umount -l "$mount_point" 2>/dev/null ||
            echo "warning: could not unmount $mount_point" >&2
    fi
    if [[ -n $loop ]]; then
        losetup -d "$loop" 2>/dev/null || echo "warning: could not detach $loop" >&2
    fi
    if ! $installed_before && dpkg-query -W -f='${Status}' kardelo 2>/dev/null | grep -q 'ok installed'; then
        apt-get remove -y -qq kardelo >/dev/null 2>&1 || echo "warning: could not remove kardelo" >&2
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

passed=0
failed=0
ok() {
    echo "ok   $*"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL $*"
    failed=$((failed + 1))
}
check() { # check DESCRIPTION COMMAND...: the command succeeds
    local description=$1
    shift
    if "$@" >"$work/check.out" 2>&1; then
        ok "$description"
    else
        fail "$description"
        sed 's/^/     /' "$work/check.out" | tail -15
    fi
}

echo "# installing $(basename "$deb")"
if ! apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1; then
    # A machine whose package lists are older than the dependencies' versions.
    apt-get update -qq >>"$work/apt.log" 2>&1 || true
    apt-get install -y -qq "$deb" >>"$work/apt.log" 2>&1 || {
        tail -20 "$work/apt.log"
        fail "apt-get install $deb"
        exit 1
    }
fi
ok "apt-get install"

# Everything below runs the installed files from PATH, as a user would.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
check "kardelo-cli is found on PATH in /usr/bin" test "$(command -v kardelo-cli)" = /usr/bin/kardelo-cli
check "kardelo-cli --help prints the usage" bash -c 'kardelo-cli --help | grep -q "^Aufruf:"'
package_version=$(dpkg-deb -f "$deb" Version)
check "kardelo-cli --version names the package's version" \
    test "$(kardelo-cli --version)" = "kardelo-cli $package_version"
check "kardelo --version names the package's version" \
    test "$(kardelo --version)" = "kardelo $package_version"
check "kardelo-cli drives lists the drives" kardelo-cli drives

# A user's own data folder, so no earlier log decides anything.
export HOME=$work/home
mkdir -p "$HOME"
log=$HOME/.local/share/kardelo/protokoll.dat

echo "# the window, from the installed files"
QT_QPA_PLATFORM=offscreen kardelo >"$work/window.log" 2>&1 &
window_pid=$!
for ((i = 0; i < 200; i++)); do
    [[ -s $log ]] && break
    kill -0 "$window_pid" 2>/dev/null || break
    sleep 0.05
done
if [[ -s $log ]]; then
    ok "the window starts and seeds the log in the per-user data folder"
else
    fail "the window did not seed $log"
    sed 's/^/     /' "$work/window.log" | tail -10
fi
kill -TERM "$window_pid" 2>/dev/null || true
rc=0
wait "$window_pid" || rc=$?
window_pid=
if [[ $rc -eq 0 ]]; then ok "the window closes on SIGTERM with status 0"; else fail "the window ended with status $rc"; fi
seed_records=$(kardelo-cli log | wc -l)
if ((seed_records > 0)); then
    ok "kardelo-cli log reads the window's log ($seed_records records)"
else
    fail "kardelo-cli log does not read the window's log"
fi

echo "# a 16 MiB single-file test on a loop medium"
medium_skip=
for tool in losetup mkfs.ext4 mount umount truncate; do
    command -v "$tool" >/dev/null 2>&1 || medium_skip="$tool is not installed"
done
if [[ -z $medium_skip ]]; then
    truncate -s 64M "$work/medium.img"
    if loop=$(losetup --direct-io=on --find --show "$work/medium.img" 2>"$work/losetup.err"); then
        mkdir "$work/medium"
        if mkfs.ext4 -q -F -m 0 -E lazy_itable_init=0,lazy_journal_init=0 "$loop" \
            >"$work/mkfs.log" 2>&1 </dev/null && mount "$loop" "$work/medium" 2>"$work/mount.err"; then
            mount_point=$work/medium
        else
            medium_skip="could not make or mount an ext4 medium on $loop"
        fi
    else
        loop=
        medium_skip="losetup failed: $(tr '\n' ' ' <"$work/losetup.err")"
    fi
fi

if [[ -n $medium_skip ]]; then
    echo "skip single-file test: $medium_skip"
else
    check "kardelo-cli drives lists the medium" bash -c "kardelo-cli drives | cut -f1 | grep -qxF '$mount_point'"
    rc=0
    kardelo-cli single "$mount_point" --size 16 --block 256 --save "Installed check" --json \
        >"$work/single.json" 2>"$work/single.err" </dev/null || rc=$?
    if [[ $rc -eq 0 ]] && jq -e '.state == "completed" and .bytes == 16777216 and .writeMBps > 0 and .readMBps > 0' \
        "$work/single.json" >/dev/null; then
        ok "single: 16777216 bytes written and read, $(jq -r '"\(.writeSpeedText) / \(.readSpeedText)"' "$work/single.json") MByte/s"
    else
        fail "single: exit status $rc"
        sed 's/^/     /' "$work/single.json" "$work/single.err" | tail -20
    fi
    left=$(find "$mount_point" -maxdepth 1 -name '$_test*' -printf '%f ')
    if [[ -z $left ]]; then ok "single: no test file left"; else fail "single: left behind: $left"; fi
    if grep -q "^Installed check|" "$log" 2>/dev/null; then
        ok "--save appends to the per-user log"
    else
        fail "--save did not append to $log"
    fi
    check "kardelo-cli log shows the saved record" bash -c 'kardelo-cli log | grep -q "^Installed check|"'
fi
if [[ -e /usr/bin/protokoll.dat ]]; then
    fail "a log was written beside the installed executables: /usr/bin/protokoll.dat"
else
    ok "nothing written into /usr/bin"
fi

echo "installed_package: $passed passed, $failed failed"
((failed == 0))
