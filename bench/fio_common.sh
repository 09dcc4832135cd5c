# shellcheck shell=bash
# Shared by the benchmarks that hold one of kardelo's figures against fio doing the same
# transfers (one fresh file, O_DIRECT, one synchronous request of the block size at a time) on
# the same folder. Sourced as bench_common.sh is (DEFAULT_SIZE_MB "$@"); sets what it sets, and
# `cli` and `fio_file`.

# shellcheck source-path=SCRIPTDIR source=bench_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh" "$@"
cli=${KARDELO_CLI:-$script_dir/../build/bin/kardelo-cli}
[[ -x $cli ]] || { echo "$0: kardelo-cli not found at $cli (build it or set KARDELO_CLI)" >&2; exit 2; }

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

fio_file=$dir/fio_bench.tmp
scratch_files+=("$fio_file")

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
