#!/usr/bin/env bash
# Installs the build into an empty folder as a package would (prefix /usr) and checks that a
# desktop finds what it needs there: exactly the files below, icons of the sizes their folders
# promise, and a menu entry, metainfo and man pages that name each other and this version.
#
# Usage: installed_tree.sh BUILD-DIR APP-ID VERSION
set -euo pipefail

[[ $# -eq 3 && -d $1 ]] || { echo "usage: $0 BUILD-DIR APP-ID VERSION" >&2; exit 2; }
build=$1 id=$2 version=$3

root=$(mktemp -d "${TMPDIR:-/tmp}/kardelo-install.XXXXXX")
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >"$root.log" 2>&1 || {
    cat "$root.log"
    rm -f "$root.log"
    exit 1
}
rm -f "$root.log"

failed=0
fail() {
    echo "FAIL $*"
    failed=1
}

sizes=(16 22 24 32 48 64 128 256)
expected=(
    usr/bin/kardelo
    usr/bin/kardelo-cli
    "usr/share/applications/$id.desktop"
    "usr/share/metainfo/$id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
    usr/share/man/man1/kardelo.1.gz
    usr/share/man/man1/kardelo-cli.1.gz
)
for size in "${sizes[@]}"; do
    expected+=("usr/share/icons/hicolor/${size}x$size/apps/$id.png")
done

actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [[ $actual != "$wanted" ]]; then
    fail "installed files differ from the expected set:"
    diff <(echo "$wanted") <(echo "$actual") | sed -n 's/^[<>]/     &/p'
fi

for program in kardelo kardelo-cli; do
    [[ -x $root/usr/bin/$program ]] || fail "usr/bin/$program is not executable"
done

# Width and height are the big-endian words at bytes 16 and 20 of a PNG's header chunk.
for size in "${sizes[@]}"; do
    png=$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png
    [[ -f $png ]] || continue
    read -r -a header < <(od -An -tu1 -w24 -N24 "$png")
    signature="${header[*]:0:8}"
    width=$(((header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19]))
    height=$(((header[20] << 24) | (header[21] << 16) | (header[22] << 8) | header[23]))
    if [[ $signature != "137 80 78 71 13 10 26 10" ]]; then
        fail "${size}x$size icon is not a PNG"
    elif ((width != size || height != size)); then
        fail "${size}x$size icon is ${width}x$height"
    fi
done

desktop=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
key() { sed -n "s/^$1=//p" "$desktop"; }
[[ $(key Icon) == "$id" ]] || fail "menu entry's Icon is \"$(key Icon)\", not the installed icon $id"
exec_program=$(key Exec | cut -d' ' -f1)
[[ -x $root/usr/bin/$exec_program ]] || fail "menu entry starts \"$exec_program\", which is not installed"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch $id.desktop"
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo's id is not $id"
while read -r program; do
    [[ -x $root/usr/bin/$program ]] || fail "metainfo provides $program, which is not installed"
done < <(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo")
grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\}\"" "$metainfo" ||
    fail "metainfo has no dated release $version"
for page in kardelo kardelo-cli; do
    gz=$root/usr/share/man/man1/$page.1.gz
    [[ -f $gz ]] || continue
    zcat "$gz" | head -1 | grep -q "\"Kardelo $version\"" || fail "$page.1 is not marked Kardelo $version"
done

((failed == 0)) && echo "installed tree: ${#expected[@]} files as expected"
exit "$failed"
