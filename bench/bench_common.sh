# shellcheck shell=bash disable=SC2034  # sets variables for the scripts that source it
# Shared by the benchmark scripts: the arguments DIR [SIZE_MB] and RUNS, a scratch folder that
# goes at exit, the arithmetic of their tables and one kardelo-cli verify run. Sourced as
#   source bench_common.sh DEFAULT_SIZE_MB "$@"
# and sets `dir`, `size_mb`, `runs`, `script_dir` and `work`. Files the caller adds to
# `scratch_files` are removed at exit as well. MB/s is 1,048,576 bytes per second throughout.

default_size_mb=$1
shift
if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 DIR [SIZE_MB]" >&2
    exit 2
fi
dir=$1
size_mb=${2:-$default_size_mb}
runs=${RUNS:-3}
script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

[[ -d $dir ]] || { echo "$0: $dir is not a directory" >&2; exit 2; }
[[ $size_mb =~ ^[1-9][0-9]*$ ]] || { echo "$0: SIZE_MB must be a whole number > 0" >&2; exit 2; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "$0: RUNS must be a whole number > 0" >&2; exit 2; }

# Decimal points in awk and printf, whatever the caller's locale.
export LC_ALL=C

work=$(mktemp -d)
scratch_files=()
bench_cleanup() {
    rm -f "${scratch_files[@]}"
    rm -rf "$work"
}
trap bench_cleanup EXIT
trap 'exit 130' INT TERM

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
mbps() { awk -v b="$1" 'BEGIN { printf "%.2f", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }

# verify_run CLI: prints "WRITE_BPS READ_BPS BLOCK_BYTES" of one `CLI verify DIR --size SIZE_MB`.
verify_run() {
    local out=$work/verify.json rc=0
    "$1" verify "$dir" --size "$size_mb" --json >"$out" 2>"$work/verify.err" </dev/null || rc=$?
    if [[ $rc -ne 0 ]]; then
        echo "$0: kardelo-cli verify failed (exit $rc):" >&2
        jq -r '.messages[]?, .verdict?' "$out" >&2 2>/dev/null || tail -5 "$work/verify.err" >&2
        return 1
    fi
    jq -r '"\(.writeBytesPerSecond) \(.readBytesPerSecond) \(.blockBytes)"' "$out"
}
