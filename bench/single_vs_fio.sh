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

# shellcheck source-path=SCRIPTDIR source=fio_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/fio_common.sh" 256 "$@"
block_sizes_kb=(4 64 256 4096)

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
        result=$(fio_run "${bs}K")
        read -r w r <<<"$result"
        fw+=("$w") fr+=("$r")
    done
    kwm=$(median "${kw[@]}") krm=$(median "${kr[@]}")
    fwm=$(median "${fw[@]}") frm=$(median "${fr[@]}")
    # shellcheck disable=SC2059
    printf "$header" "$bs" "$(mbps "$kwm")" "$(mbps "$fwm")" "$(ratio "$kwm" "$fwm")" \
        "$(mbps "$krm")" "$(mbps "$frm")" "$(ratio "$krm" "$frm")"
done
