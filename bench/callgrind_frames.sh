#!/usr/bin/env bash
# Instructions per frame of each module at 1920x1080, counted by callgrind (no timing noise):
# `lumacore render -o null` of the demo tune from SHORT and LONG seconds (default 1 and 3) into it,
# and the difference of the two totals over the difference of the frames, so that start-up
# (decoding, fonts, the first paint) cancels out. Also the share of lumacore::cli::toRgba (the
# picture's conversion to RGBA), inclusive, when the program has it.
#   usage: bench/callgrind_frames.sh [path/to/lumacore]
#   environment: SHORT, LONG (seconds), START (seconds into the demo tune, default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lumacore=${1:-$root/build/native/apps/lumacore/lumacore}
short=${SHORT:-1}
long=${LONG:-3}
start=${START:-10}
fps=60

fail() {
    echo "callgrind_frames: $*" >&2
    exit 1
}
[ -x "$lumacore" ] || fail "$lumacore is not built"
for tool in valgrind callgrind_annotate awk; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Counts one render; prints its total instructions and those inside toRgba (0 if absent).
count() {
    local out=$work/callgrind.out seconds=$1 total converted
    shift
    valgrind --tool=callgrind --callgrind-out-file="$out" "$lumacore" render "$@" \
        --start "$start" --duration "$seconds" --size 1920x1080 --fps "$fps" -q -o null \
        >/dev/null 2>"$work/valgrind.log" || {
        cat "$work/valgrind.log" >&2
        fail "callgrind failed on: render $*"
    }
    total=$(awk '/^(summary|totals):/ { print $2; exit }' "$out")
    converted=$(callgrind_annotate --inclusive=yes --threshold=100 "$out" 2>/dev/null |
        awk '/lumacore::cli::toRgba/ { gsub(",", "", $1); print $1; exit }')
    echo "$total ${converted:-0}"
    rm -f "$out"
}

echo "| module | instructions per frame | toRgba per frame | toRgba share |"
echo "|---|---:|---:|---:|"
modules=("history 2D:--module history --mode 2d" "history 3D:--module history --mode 3d"
    "oscilloscope:--module scope" "VU meter:--module vu")
for entry in "${modules[@]}"; do
    name=${entry%%:*}
    # shellcheck disable=SC2086 # the options are words
    short_counts=$(count "$short" ${entry#*:}) # (assigned alone: a failure stops the script)
    # shellcheck disable=SC2086
    long_counts=$(count "$long" ${entry#*:})
    read -r total_short rgba_short <<<"$short_counts"
    read -r total_long rgba_long <<<"$long_counts"
    awk -v name="$name" -v a="$total_short" -v b="$total_long" -v ra="$rgba_short" \
        -v rb="$rgba_long" -v frames="$(((long - short) * fps))" 'BEGIN {
            per = (b - a) / frames; rgba = (rb - ra) / frames
            printf "| %s | %.0f | %.0f | %.1f %% |\n", name, per, rgba, (per > 0 ? 100 * rgba / per : 0)
        }'
done
