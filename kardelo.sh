#!/usr/bin/env bash
# Sets up everything Kardelo needs on Debian 12, builds it and then runs it, runs the whole
# test suite or makes the Debian package.
#
#   ./kardelo.sh run                       the program's window
#   ./kardelo.sh run single /media/anna/STICK [--size MB] [--block KB] [--json]
#   ./kardelo.sh run multi|verify|drives ... the command-line front end
#   ./kardelo.sh test
#   ./kardelo.sh package                   the Debian package, in build-package/
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# What the program needs at run time is one list, shared with the package's dependencies. Beyond
# it: dosfstools, fusefat, exFAT's tools and libfuse3 for the tests' FUSE media; qt6-base-private-dev, as the
# tests switch Qt's accessibility on in-process the way a running screen reader does; the rest
# builds and checks the package.
mapfile -t runtime_packages < <(grep -E '^[a-z0-9]' "$here/packaging/runtime-packages.txt")
packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools "${runtime_packages[@]}"
          jq e2fsprogs util-linux mount dosfstools fusefat exfatprogs exfat-fuse pkg-config
          libfuse3-dev fuse3 qt6-base-private-dev
          librsvg2-bin gzip dpkg-dev file desktop-file-utils appstream groff-base)

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
    sed -n '2,9p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
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
package)
    install_packages
    rm -f "$here"/build-package/kardelo_*.deb
    build "$here/build-package" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DKARDELO_BUILD_TESTS=OFF
    (cd "$here/build-package" && cpack -G DEB >cpack.log) || {
        cat "$here/build-package/cpack.log" >&2
        exit 1
    }
    ls "$here"/build-package/kardelo_*.deb
    ;;
*)
    usage
    ;;
esac
