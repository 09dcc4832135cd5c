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
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
e2e_name=installed_package
cli=kardelo-cli
# shellcheck source-path=SCRIPTDIR source=e2e_lib.sh
source "$here/e2e_lib.sh"
export DEBIAN_FRONTEND=noninteractive
unset XDG_DATA_HOME 2>/dev/null || true

installed_before=false
dpkg-query -W -f='${Status}' kardelo 2>/dev/null | grep -q 'ok installed' && installed_before=true
e2e_teardown() {
    if ! $installed_before && dpkg-query -W -f='${Status}' kardelo 2>/dev/null | grep -q 'ok installed'; then
        apt-get remove -y -qq kardelo >/dev/null 2>&1 || echo "warning: could not remove kardelo" >&2
    fi
}
needs_root_and apt-get dpkg-query jq

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
bg_pid=$!
for ((i = 0; i < 200; i++)); do
    [[ -s $log ]] && break
    kill -0 "$bg_pid" 2>/dev/null || break
    sleep 0.05
done
if [[ -s $log ]]; then
    ok "the window starts and seeds the log in the per-user data folder"
else
    fail "the window did not seed $log"
    sed 's/^/     /' "$work/window.log" | tail -10
fi
kill -TERM "$bg_pid" 2>/dev/null || true
rc=0
wait "$bg_pid" || rc=$?
bg_pid=
if [[ $rc -eq 0 ]]; then ok "the window closes on SIGTERM with status 0"; else fail "the window ended with status $rc"; fi
seed_records=$(kardelo-cli log | wc -l)
if ((seed_records > 0)); then
    ok "kardelo-cli log reads the window's log ($seed_records records)"
else
    fail "kardelo-cli log does not read the window's log"
fi

echo "# a 16 MiB single-file test on a loop medium"
if ! make_medium medium 64; then
    skip_check "single-file test: $why"
else
    mount_point=$medium
    check "kardelo-cli drives lists the medium" bash -c "kardelo-cli drives | cut -f1 | grep -qxF '$mount_point'"
    run single /usr/bin/kardelo-cli single "$mount_point" --size 16 --block 256 --save "Installed check" --json
    expect_exit "single: exit status 0" 0
    expect "single: 16777216 bytes written and read" \
        '.state == "completed" and .bytes == 16777216 and .writeMBps > 0 and .readMBps > 0'
    expect_left "single: no test file left" "$mount_point" '$_test*' 0
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

finish
