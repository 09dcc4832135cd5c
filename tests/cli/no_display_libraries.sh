#!/usr/bin/env bash
# The command line is for machines without a display: it must not need a display library.
set -euo pipefail
binary=$1
linked=$(ldd "$binary")
if offending=$(grep -E 'libQt6(Gui|Widgets|OpenGL|XcbQpa|DBus)|lib(GL|EGL|OpenGL|GLX|xcb|X11|xkbcommon|fontconfig|freetype)[.-]' <<<"$linked"); then
    echo "$binary links display libraries:"
    echo "$offending"
    exit 1
fi
echo "$binary links Qt Core only:"
grep -E 'libQt6' <<<"$linked"
