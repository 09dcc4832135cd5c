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

# shellcheck source-path=SCRIPTDIR source=fio_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/fio_common.sh" 256 "$@"

echo "capacity check vs fio: $dir, $size_mb MiB per run, median of $runs run(s)"
echo "file system: $(stat -f -c %T "$dir"), kardelo-cli: $(realpath "$cli"), $(fio --version)"
kw=() kr=() fw=() fr=()
block=
for ((run = 1; run <= runs; run++)); do
    echo "  run $run/$runs" >&2
    # Alternating the two tools spreads any drift of the medium over both.
    read -r w r block <<<"$(verify_run "$cli")"
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
