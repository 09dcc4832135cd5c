#!/usr/bin/env bash
# Both man pages render without a single groff warning, and the command-line page documents
# every command and option that kardelo-cli's own usage text names. Skipped (77) without groff.
#
# Usage: man_pages.sh KARDELO-CLI KARDELO.1 KARDELO-CLI.1
set -euo pipefail

[[ $# -eq 3 && -x $1 && -f $2 && -f $3 ]] || {
    echo "usage: $0 KARDELO-CLI KARDELO.1 KARDELO-CLI.1" >&2
    exit 2
}
command -v groff >/dev/null || { echo "SKIP: groff is not installed"; exit 77; }
export LC_ALL=C.UTF-8

failed=0
for page in "$2" "$3"; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    if [[ -n $warnings ]]; then
        echo "FAIL $(basename "$page") renders with warnings:"
        echo "$warnings"
        failed=1
    else
        echo "ok   $(basename "$page") renders cleanly"
    fi
done

page_text=$(groff -man -Tascii -P-cbou "$3" 2>/dev/null)
usage=$("$1" --help)
# Commands from the usage lines ("  kardelo-cli single PFAD ..."), options wherever they appear.
mapfile -t names < <({
    sed -n 's/^ *kardelo-cli \([a-z]\+\).*/\1/p' <<<"$usage"
    grep -oE -- '(^|[^a-z-])--?[a-z]+(-[a-z]+)*' <<<"$usage" | grep -oE -- '--?[a-z]+(-[a-z]+)*'
} | sort -u)
((${#names[@]} >= 6)) || { echo "FAIL found only ${#names[@]} names in the usage text"; exit 1; }
missing=()
for name in "${names[@]}"; do
    grep -qE -- "(^|[^a-z-])$name([^a-z-]|$)" <<<"$page_text" || missing+=("$name")
done
if ((${#missing[@]})); then
    echo "FAIL kardelo-cli.1 does not document: ${missing[*]}"
    failed=1
else
    echo "ok   kardelo-cli.1 documents ${names[*]}"
fi
exit "$failed"
