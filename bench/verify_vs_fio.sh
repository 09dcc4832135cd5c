#!/usr/bin/env bash
# Benchmark: the capacity check's write and read throughput against fio doing the same
# transfers (one fresh file, O_DIRECT, one synchronous request of the check's block size at a
# time) on the same folder. The check makes and checks its data on a second thread; a ratio
# well below 1 would mean that work, or the check's loop, costs throughput the medium gives.
# A figure to read, not a pass/fail verdict.
#
# Usage: verify_vs_fio.sh DIR [SIZE_MB]        (SIZE_MB defaults to 256; verify --size)
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

[[ -d $dir ]] || { echo "$0: $dir is not a directory" >&2; exit 2; }
[[ $size_mb =~ ^[1-9][0-9]*$ ]] || { echo "$0: SIZE_MB must be a whole number > 0" >&2; exit 2; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "$0: RUNS must be a whole number > 0" >&2; exit 2; }
[[ -x $cli ]] || { echo "$0: kardelo-cli not found at $cli (build it or set KARDELO_CLI)" >&2; exit 2; }
for tool in fio jq; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$0: please install $tool" >&2; exit 2; }
done

export LC_ALL=C

work=$(mktemp -d)
fio_file=$dir/fio_bench.tmp
cleanup() {
    rm -f "$fio_file"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# kardelo_run: prints "WRITE_BPS READ_BPS BLOCK_BYTES" of one check of SIZE_MB.
kardelo_run() {
    local out=$work/kardelo.json rc=0
    "$cli" verify "$dir" --size "$size_mb" --json >"$out" 2>"$work/kardelo.err" </dev/null || rc=$?
    if [[ $rc -ne 0 ]]; then
        echo "$0: kardelo-cli verify failed (exit $rc):" >&2
        jq -r '.messages[]?, .verdict?' "$out" >&2 2>/dev/null || tail -5 "$work/kardelo.err" >&2
        return 1
    fi
    jq -r '"\(.writeBytesPerSecond) \(.readBytesPerSecond) \(.blockBytes)"' "$out"
}

# fio_job RW BLOCK_BYTES: prints the bytes per second of one fio job on the shared file.
fio_job() {
    local out=$work/fio-$1.json
    if ! fio --name="kardelo-$1" --filename="$fio_file" --rw="$1" --bs="$2" \
        --size="${size_mb}M" --direct=1 --ioengine=psync --fallocate=none --end_fsync=0 \
        --output-format=json --output="$out" >"$work/fio.err" 2>&1 </dev/null; then
        echo "$0: fio --rw=$1 failed:" >&2
        tail -5 "$work/fio.err" >&2
        return 1
    fi
    jq -r ".jobs[0].$1.bw_bytes" "$out"
}

fio_run() {
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
mbps() { awk -v b="$1" 'BEGIN { printf "%.2f", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }

echo "capacity check vs fio: $dir, $size_mb MiB per run, median of $runs run(s)"
echo "file system: $(stat -f -c %T "$dir"), kardelo-cli: $(realpath "$cli"), $(fio --version)"
kw=() kr=() fw=() fr=()
block=
for ((run = 1; run <= runs; run++)); do
    echo "  run $run/$runs" >&2
    # Alternating the two tools spreads any drift of the medium over both.
    read -r w r block <<<"$(kardelo_run)"
    kw+=("$w") kr+=("$r")
    read -r w r <<<"$(fio_run "$block")"
    fw+=("$w") fr+=("$r")
done
kwm=$(median "${kw[@]}") krm=$(median "${kr[@]}")
fwm=$(median "${fw[@]}") frm=$(median "${fr[@]}")
echo "block size: $((block / 1024)) KiB (the check's own)"
echo
printf '%6s  %14s  %14s  %6s\n' "" "check MB/s" "fio MB/s" "ratio"
printf '%6s  %14s  %14s  %6s\n' write "$(mbps "$kwm")" "$(mbps "$fwm")" "$(ratio "$kwm" "$fwm")"
printf '%6s  %14s  %14s  %6s\n' read "$(mbps "$krm")" "$(mbps "$frm")" "$(ratio "$krm" "$frm")"
