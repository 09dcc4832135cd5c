# Shared by the benchmarks that hold one of kardelo's figures against fio doing the same
# transfers (one fresh file, O_DIRECT, one synchronous request of the block size at a time) on
# the same folder. Sourced after the caller has set `dir`, `size_mb` and `runs` from its
# arguments; sets `cli`, `work` and `fio_file`. MB/s is 1,048,576 bytes per second throughout.

script_dir=$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)
cli=${KARDELO_CLI:-$script_dir/../build/bin/kardelo-cli}

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

# fio_job RW BLOCK: prints the bytes per second of one fio job on the shared file; BLOCK is
# fio's block size ("256K", or bytes).
fio_job() {
    local out=$work/fio-$1.json
    if ! fio --name="kardelo-$1" --filename="$fio_file" --rw="$1" --bs="$2" \
        --size="${size_mb}M" --direct=1 --ioengine=psync --fallocate=none --end_fsync=0 \
        --output-format=json --output="$out" >"$work/fio.err" 2>&1 </dev/null; then
        echo "$0: fio --rw=$1 failed at $2 blocks:" >&2
        tail -5 "$work/fio.err" >&2
        return 1
    fi
    jq -r ".jobs[0].$1.bw_bytes" "$out"
}

# fio_run BLOCK: prints "WRITE_BPS READ_BPS".
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
mbps() { awk -v b="$1" 'BEGIN { printf "%.2f", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }
