#!/usr/bin/env bash
# How fast `lumacore render` makes an MP4 of the demo tune at 1280x720 and 1920x1080, 60 frames/s:
# wall and CPU seconds, frames/s, the ratio to real time and the peak memory, each render timed
# under `flock /tmp/lumacore-bench.lock`. With a second program, both render every size in turn
# in the same run (for example the main branch's build against a new one). With --long, also
# ten minutes of music-like sound (a bass, a melody and pink noise, as bench/lumacore_vs_ffmpeg.sh
# makes) at 1920x1080, to show that memory stays flat however long the render.
#   usage: bench/video_speed.sh [--long] [path/to/lumacore [path/to/other/lumacore]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
long=false
if [ "${1:-}" = --long ]; then
    long=true
    shift
fi
programs=("${1:-$root/build/native/apps/lumacore/lumacore}")
[ $# -lt 2 ] || programs+=("$2")
lock=/tmp/lumacore-bench.lock

fail() {
    echo "video_speed: $*" >&2
    exit 1
}
for program in "${programs[@]}"; do
    [ -x "$program" ] || fail "$program is not built"
done
for tool in ffmpeg ffprobe flock /usr/bin/time awk bc; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "| program | input | size | wall s | CPU s | frames | frames/s | x real time | peak MB |"
echo "|---|---|---|---:|---:|---:|---:|---:|---:|"

# Renders at SIZE with PROGRAM the input given after them (none: the demo tune); prints one row.
time_render() {
    local program=$1 name=$2 size=$3 wall user system peak frames seconds
    local output=$work/video.mp4
    shift 3
    flock "$lock" /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
        "$program" render "$@" --size "$size" --fps 60 -q -o "$output" ||
        fail "$program render ${*:-(the demo tune)} at $size failed"
    read -r wall user system peak <<<"$(tail -n 1 "$work/time")"
    frames=$(ffprobe -v error -select_streams v:0 -count_packets \
        -show_entries stream=nb_read_packets -of csv=p=0 "$output")
    seconds=$(echo "$frames / 60" | bc -l)
    printf '| %s | %s | %s | %.2f | %.2f | %d | %.1f | %.2f | %.0f |\n' "$program" "$name" \
        "$size" "$wall" "$(echo "$user + $system" | bc -l)" "$frames" \
        "$(echo "$frames / $wall" | bc -l)" "$(echo "$seconds / $wall" | bc -l)" \
        "$(echo "$peak / 1024" | bc -l)"
    rm -f "$output"
}

for size in 1280x720 1920x1080; do
    for program in "${programs[@]}"; do
        time_render "$program" "demo tune" "$size"
    done
done

if $long; then
    ffmpeg -nostdin -v error -filter_complex \
        "sine=frequency=55:duration=600,volume=0.6[a];sine=frequency=440:duration=600,volume=0.2[b];anoisesrc=d=600:c=pink:a=0.08[c];[a][b][c]amix=inputs=3" \
        -ar 44100 -ac 2 "$work/ten-minutes.flac"
    for program in "${programs[@]}"; do
        time_render "$program" "10 min of sound" 1920x1080 "$work/ten-minutes.flac"
    done
fi
