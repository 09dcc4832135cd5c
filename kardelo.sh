#!/usr/bin/env bash
# Sets up everything Kardelo needs on Debian 12, builds it and then either runs it or runs the
# whole test suite.
#
#   ./kardelo.sh run                       the program's window
#   ./kardelo.sh run single /media/anna/STICK [--size MB] [--block KB] [--json]
#   ./kardelo.sh run multi|drives ...      the command-line front end
#   ./kardelo.sh test
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# qt6-translations-l10n: Qt's own dialog texts in German. fonts-liberation and fonts-wine: faces
# with the widths of the ones the window layouts name (Arial, Courier New, Tahoma, Small Fonts).
# dosfstools and fusefat: the tests' FUSE medium. qt6-base-private-dev: the tests switch Qt's
# accessibility on in-process, as a running screen reader does.
packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
          qt6-translations-l10n fonts-liberation fonts-wine
          jq e2fsprogs util-linux mount dosfstools fusefat
          qt6-base-private-dev)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

# build DIR [cmake options...]
build() {
    local dir=$1
    shift
    cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir"
}

usage() {
    sed -n '2,8p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 2
}

[ $# -ge 1 ] || usage
command=$1
shift
case "$command" in
run)
    install_packages
    build "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    if [ $# -eq 0 ]; then
        exec "$here/build/bin/kardelo"
    fi
    exec "$here/build/bin/kardelo-cli" "$@"
    ;;
test)
    install_packages
    jobs=$(nproc)
    build "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARDELO_WERROR=ON
    (cd "$here/build" && ctest --output-on-failure -j "$jobs")
    # The same suite once more with AddressSanitizer and UndefinedBehaviorSanitizer.
    build "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DKARDELO_SANITIZE=ON -DKARDELO_WERROR=ON
    (cd "$here/build-asan" &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
            ctest --output-on-failure -j "$jobs")
    ;;
*)
    usage
    ;;
esac
