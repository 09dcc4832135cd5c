#!/usr/bin/env bash
# Benchmark: kardelo's single-file test against fio doing the same transfers (one fresh file,
# O_DIRECT, one synchronous request of the block size at a time) on the same directory.
# A ratio well below 1 means kardelo's loop or its timing costs throughput that the medium
# would give; it is a figure to read, not a pass/fail verdict.
#
# Usage: single_vs_fio.sh DIR [SIZE_MB]        (SIZE_MB defaults to 256)
# Environment: RUNS (default 3) runs per figure, the median is shown;
#              KARDELO_CLI (default ../build/bin/kardelo-cli beside this script).
# MB/s here is 1,048,576 bytes per second on both sides.
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 DIR [SIZE_MB]" >&2
    exit 2
fi
dir=$1
size_mb=${2:-256}
runs=${RUNS:-3}
script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cli=${KARDELO_CLI:-$script_dir/../build/bin/kardelo-cli}
block_sizes_kb=(4 64 256 4096)

[[ -d $dir ]] || { echo "$0: $dir is not a directory" >&2; exit 2; }
[[ $size_mb =~ ^[1-9][0-9]*$ ]] || { echo "$0: SIZE_MB must be a whole number > 0" >&2; exit 2; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "$0: RUNS must be a whole number > 0" >&2; exit 2; }
[[ -x $cli ]] || { echo "$0: kardelo-cli not found at $cli (build it or set KARDELO_CLI)" >&2; exit 2; }

# Decimal points in awk and printf, whatever the caller's locale.
export LC_ALL=C

missing=()
command -v fio >/dev/null 2>&1 || missing+=(fio)
command -v jq >/dev/null 2>&1 || missing+=(jq)
if ((${#missing[@]} > 0)); then
    if [[ $(id -u) -ne 0 ]] || ! command -v apt-get >/dev/null 2>&1; then
        echo "$0: please install ${missing[*]}" >&2
        exit 2
    fi
    echo "installing ${missing[*]}..." >&2
    apt-get install -y -q "${missing[@]}" >/dev/null 2>&1 ||
        { apt-get update -q >/dev/null && apt-get install -y -q "${missing[@]}" >/dev/null; }
fi

work=$(mktemp -d)
fio_file=$dir/fio_bench.tmp
cleanup() {
    rm -f "$fio_file"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# kardelo_run BLOCK_KB: prints "WRITE_BPS READ_BPS" of one single-file test.
kardelo_run() {
    local out=$work/kardelo.json rc=0
    "$cli" single "$dir" --size "$size_mb" --block "$1" --json >"$out" 2>"$work/kardelo.err" \
        </dev/null || rc=$?
    if [[ $rc -ne 0 ]] || ! jq -e '.state == "completed"' "$out" >/dev/null 2>&1; then
        echo "$0: kardelo-cli failed (exit $rc) at $1 KB blocks:" >&2
        jq -r '.messages[]?.text' "$out" >&2 2>/dev/null || tail -5 "$work/kardelo.err" >&2
        return 1
    fi
    jq -r '"\(.writeBytesPerSecond) \(.readBytesPerSecond)"' "$out"
}

# fio_job RW BLOCK_KB: prints the bytes per second of one fio job on the shared file.
fio_job() {
    local out=$work/fio-$1.json
    if ! fio --name="kardelo-$1" --filename="$fio_file" --rw="$1" --bs="${2}K" \
        --size="${size_mb}M" --direct=1 --ioengine=psync --fallocate=none --end_fsync=0 \
        --output-format=json --output="$out" >"$work/fio.err" 2>&1 </dev/null; then
        echo "$0: fio --rw=$1 failed at $2 KB blocks:" >&2
        tail -5 "$work/fio.err" >&2
        return 1
    fi
    jq -r ".jobs[0].$1.bw_bytes" "$out"
}

fio_run() {
    # A fresh file each time, as kardelo writes one: no preallocated or rewritten blocks.
    rm -f "$fio_file"
    local write read
    write=$(fio_job write "$1") || return 1
    read=$(fio_job read "$1") || return 1
    rm -f "$fio_file"
    echo "$write $read"
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

mbps() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo "kardelo single-file test vs fio: $dir, $size_mb MiB per run, median of $runs run(s)"
echo "file system: $(stat -f -c %T "$dir"), kardelo-cli: $(realpath "$cli")"
echo "fio: $(fio --version)"
echo
header='%8s  %13s  %13s  %6s  %13s  %13s  %6s\n'
# shellcheck disable=SC2059  # one format string for header and rows keeps the columns aligned
printf "$header" "block KB" "kardelo write" "fio write" "ratio" "kardelo read" "fio read" "ratio"
# shellcheck disable=SC2059
printf "$header" "" "MB/s" "MB/s" "" "MB/s" "MB/s" ""

for bs in "${block_sizes_kb[@]}"; do
    kw=() kr=() fw=() fr=()
    for ((run = 1; run <= runs; run++)); do
        echo "  $bs KB blocks, run $run/$runs" >&2
        # Alternating the two tools spreads any drift of the medium over both.
        result=$(kardelo_run "$bs")
        read -r w r <<<"$result"
        kw+=("$w") kr+=("$r")
        result=$(fio_run "$bs")
        read -r w r <<<"$result"
        fw+=("$w") fr+=("$r")
    done
    kwm=$(median "${kw[@]}") krm=$(median "${kr[@]}")
    fwm=$(median "${fw[@]}") frm=$(median "${fr[@]}")
    # shellcheck disable=SC2059
    printf "$header" "$bs" "$(mbps "$kwm")" "$(mbps "$fwm")" "$(ratio "$kwm" "$fwm")" \
        "$(mbps "$krm")" "$(mbps "$frm")" "$(ratio "$krm" "$frm")"
done
