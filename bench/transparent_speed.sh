#!/usr/bin/env bash
# How fast `lumacore render --transparent` writes its two videos with an alpha plane (WebM with
# VP9 and MOV with ProRes 4444) against the plain MP4, in the same run: 20 s of the demo tune at
# 1920x1080, 60 frames/s; wall and CPU seconds, the ratio to real time and the file's size.
#   usage: bench/transparent_speed.sh [path/to/lumacore]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lumacore=${1:-$root/build/native/apps/lumacore/lumacore}
seconds=20
[ -x "$lumacore" ] || { echo "transparent_speed: $lumacore is not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "load average before the runs: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "| output | wall s | CPU s | x real time | MB |"
echo "|---|---:|---:|---:|---:|"
for output in plain.mp4 transparent.webm transparent.mov; do
    args=()
    [[ $output == transparent.* ]] && args=(--transparent)
    TIMEFORMAT='%R %U %S'
    times=$({ time "$lumacore" render -q --size 1920x1080 --fps 60 --duration "$seconds" \
        "${args[@]}" -o "$work/$output" 2>/dev/null; } 2>&1)
    read -r wall user system <<<"$times"
    awk -v o="$output" -v w="$wall" -v u="$user" -v s="$system" -v d="$seconds" \
        -v b="$(stat -c %s "$work/$output")" \
        'BEGIN { printf "| %s | %.1f | %.1f | %.2f | %.1f |\n", o, w, u + s, d / w, b / 1e6 }'
done
