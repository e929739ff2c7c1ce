#!/usr/bin/env bash
# Renders the same 60 s of audio at 1920x1080 with `lumacore render ... -o null` and with
# FFmpeg's own scrolling spectrum filter (showspectrum, null output), and prints both frame
# rates and their ratio. Analysis is included on both sides.
#   usage: bench/lumacore_vs_ffmpeg.sh [path/to/lumacore]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lumacore=${1:-$root/build/native/apps/lumacore/lumacore}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A minute of music-like sound: a bass, a melody and pink noise.
ffmpeg -v error -filter_complex \
    "sine=frequency=55:duration=60,volume=0.6[a];sine=frequency=440:duration=60,volume=0.2[b];anoisesrc=d=60:c=pink:a=0.08[c];[a][b][c]amix=inputs=3" \
    -ar 44100 -ac 2 "$work/minute.wav"

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N); echo "$end - $start" | bc -l; }

frames_lumacore=3600 # 60 s at 60 frames per second
t_lumacore=$(seconds "$lumacore" render "$work/minute.wav" --size 1920x1080 --fps 60 -q -o null)
frames_ffmpeg=1500 # 60 s at showspectrum's 25 frames per second
t_ffmpeg=$(seconds ffmpeg -v error -i "$work/minute.wav" \
    -filter_complex "showspectrum=s=1920x1080:slide=scroll:mode=combined" -f null -)

fps_lumacore=$(echo "$frames_lumacore / $t_lumacore" | bc -l)
fps_ffmpeg=$(echo "$frames_ffmpeg / $t_ffmpeg" | bc -l)
printf 'lumacore render:   %7.1f frames/s (%d frames in %.2f s)\n' "$fps_lumacore" "$frames_lumacore" "$t_lumacore"
printf 'ffmpeg showspectrum: %5.1f frames/s (%d frames in %.2f s)\n' "$fps_ffmpeg" "$frames_ffmpeg" "$t_ffmpeg"
printf 'ratio: %.1fx\n' "$(echo "$fps_lumacore / $fps_ffmpeg" | bc -l)"
