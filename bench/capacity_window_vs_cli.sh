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

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 DIR [SIZE_MB]" >&2
    exit 2
fi
dir=$1
size_mb=${2:-128}
runs=${RUNS:-3}
script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=${KARDELO_BIN:-$script_dir/../build/bin}
cli=$bin/kardelo-cli
window=$bin/bench_capacity_window

[[ -d $dir ]] || { echo "$0: $dir is not a directory" >&2; exit 2; }
[[ $size_mb =~ ^[1-9][0-9]*$ ]] || { echo "$0: SIZE_MB must be a whole number > 0" >&2; exit 2; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "$0: RUNS must be a whole number > 0" >&2; exit 2; }
for program in "$cli" "$window"; do
    [[ -x $program ]] || { echo "$0: $program not found (build it or set KARDELO_BIN)" >&2; exit 2; }
done
command -v jq >/dev/null 2>&1 || { echo "$0: please install jq" >&2; exit 2; }
[[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]] || export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

export LC_ALL=C

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# cli_run: prints "WRITE_BPS READ_BPS" of one check of SIZE_MB.
cli_run() {
    local out=$work/cli.json rc=0
    "$cli" verify "$dir" --size "$size_mb" --json >"$out" 2>"$work/cli.err" </dev/null || rc=$?
    if [[ $rc -ne 0 ]]; then
        echo "$0: kardelo-cli verify failed (exit $rc):" >&2
        jq -r '.messages[]?, .verdict?' "$out" >&2 2>/dev/null || tail -5 "$work/cli.err" >&2
        return 1
    fi
    jq -r '"\(.writeBytesPerSecond) \(.readBytesPerSecond)"' "$out"
}

# window_run: prints "WRITE_BPS READ_BPS PAINTS SECONDS" of one check of SIZE_MB in the window.
window_run() {
    if ! "$window" "$dir" "$size_mb" 2>"$work/window.err" </dev/null; then
        echo "$0: the window's check failed:" >&2
        grep -v '^QStandardPaths\|propagateSizeHints' "$work/window.err" | tail -5 >&2
        return 1
    fi
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
mbps() { awk -v b="$1" 'BEGIN { printf "%.2f", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }

echo "capacity check, window vs kardelo-cli: $dir, $size_mb MiB per run, median of $runs run(s)"
echo "file system: $(stat -f -c %T "$dir"), display: ${QT_QPA_PLATFORM:-${WAYLAND_DISPLAY:-$DISPLAY}}"
ww=() wr=() cw=() cr=() rates=()
for ((run = 1; run <= runs; run++)); do
    echo "  run $run/$runs" >&2
    # Alternating the two spreads any drift of the medium over both.
    read -r w r paints seconds <<<"$(window_run)"
    ww+=("$w") wr+=("$r")
    rates+=("$(awk -v p="$paints" -v s="$seconds" 'BEGIN { printf "%.1f", (s > 0 ? p / s : 0) }')")
    read -r w r <<<"$(cli_run)"
    cw+=("$w") cr+=("$r")
done
wwm=$(median "${ww[@]}") wrm=$(median "${wr[@]}")
cwm=$(median "${cw[@]}") crm=$(median "${cr[@]}")
echo
printf '%6s  %12s  %12s  %6s\n' "" "window MB/s" "cli MB/s" "ratio"
printf '%6s  %12s  %12s  %6s\n' write "$(mbps "$wwm")" "$(mbps "$cwm")" "$(ratio "$wwm" "$cwm")"
printf '%6s  %12s  %12s  %6s\n' read "$(mbps "$wrm")" "$(mbps "$crm")" "$(ratio "$wrm" "$crm")"
echo "chart paints per second while checking: ${rates[*]}"
