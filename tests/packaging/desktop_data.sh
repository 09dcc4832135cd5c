#!/usr/bin/env bash
# The menu entry and the software centre's metainfo as the desktop's own tools judge them.
# Hints (such as an entry in two main categories, which is meant) pass; errors and warnings
# fail. Skipped (77) where the tools are not installed.
#
# Usage: desktop_data.sh DESKTOP-FILE METAINFO-FILE
set -euo pipefail

[[ $# -eq 2 && -f $1 && -f $2 ]] || { echo "usage: $0 DESKTOP-FILE METAINFO-FILE" >&2; exit 2; }
for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

failed=0
if ! out=$(desktop-file-validate "$1" 2>&1) || grep -qE '(error|warning):' <<<"$out"; then
    echo "FAIL desktop-file-validate $1:"
    echo "$out"
    failed=1
else
    echo "ok   desktop-file-validate${out:+ (}${out:+$(grep -c 'hint:' <<<"$out") hint)}"
fi
if ! out=$(appstreamcli validate --no-net --no-color "$2" 2>&1); then
    echo "FAIL appstreamcli validate $2:"
    echo "$out"
    failed=1
else
    echo "ok   appstreamcli validate"
fi
exit "$failed"
