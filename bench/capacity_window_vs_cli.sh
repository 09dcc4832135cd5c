#!/usr/bin/env bash
# Benchmark: the capacity check's write and read throughput in its window against
# kardelo-cli verify's on the same folder, runs of the two alternating. The window draws its
# chart while the check runs on its worker thread; a ratio below 0.98 would mean the window
# costs throughput the medium gives. It also prints how often the window painted its chart.
# A figure to read, not a pass/fail verdict.
#
# Usage: capacity_window_vs_cli.sh DIR [SIZE_MB]   (SIZE_MB defaults to 128; the amount checked)
# Environment: RUNS (default 3) runs per figure, the median is shown;
#              KARDELO_BIN (default ../build/bin beside this script), where kardelo-cli and
#              bench_capacity_window lie. Without a display the window is shown offscreen.
# MB/s here is 1,048,576 bytes per second on both sides.
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=bench_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh" 128 "$@"
bin=${KARDELO_BIN:-$script_dir/../build/bin}
cli=$bin/kardelo-cli
window=$bin/bench_capacity_window

for program in "$cli" "$window"; do
    [[ -x $program ]] || { echo "$0: $program not found (build it or set KARDELO_BIN)" >&2; exit 2; }
done
command -v jq >/dev/null 2>&1 || { echo "$0: please install jq" >&2; exit 2; }
[[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]] || export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

# window_run: prints "WRITE_BPS READ_BPS PAINTS SECONDS" of one check of SIZE_MB in the window.
window_run() {
    if ! "$window" "$dir" "$size_mb" 2>"$work/window.err" </dev/null; then
        echo "$0: the window's check failed:" >&2
        grep -v '^QStandardPaths\|propagateSizeHints' "$work/window.err" | tail -5 >&2
        return 1
    fi
}

echo "capacity check, window vs kardelo-cli: $dir, $size_mb MiB per run, median of $runs run(s)"
echo "file system: $(stat -f -c %T "$dir"), display: ${QT_QPA_PLATFORM:-${WAYLAND_DISPLAY:-$DISPLAY}}"
ww=() wr=() cw=() cr=() rates=()
for ((run = 1; run <= runs; run++)); do
    echo "  run $run/$runs" >&2
    # Alternating the two spreads any drift of the medium over both.
    read -r w r paints seconds <<<"$(window_run)"
    ww+=("$w") wr+=("$r")
    rates+=("$(awk -v p="$paints" -v s="$seconds" 'BEGIN { printf "%.1f", (s > 0 ? p / s : 0) }')")
    read -r w r _ <<<"$(verify_run "$cli")"
    cw+=("$w") cr+=("$r")
done
wwm=$(median "${ww[@]}") wrm=$(median "${wr[@]}")
cwm=$(median "${cw[@]}") crm=$(median "${cr[@]}")
echo
printf '%6s  %12s  %12s  %6s\n' "" "window MB/s" "cli MB/s" "ratio"
printf '%6s  %12s  %12s  %6s\n' write "$(mbps "$wwm")" "$(mbps "$cwm")" "$(ratio "$wwm" "$cwm")"
printf '%6s  %12s  %12s  %6s\n' read "$(mbps "$wrm")" "$(mbps "$crm")" "$(ratio "$wrm" "$crm")"
echo "chart paints per second while checking: ${rates[*]}"
