#!/usr/bin/env bash
# OBS Studio with the Lumacore source (bench/obs_figures.py): the figures, or the README's scene.
#   bench/obs_figures.sh [SECONDS]        CPU and OBS's frame times without the source, with a
#                                         full-frame picture and with the source (60 s each)
#   bench/obs_figures.sh screenshot OUT   the scene picture for the README
#   bench/obs_figures.sh changes          OBS's frames drawn and lagged while settings that need a
#                                         new runner change, 20 times each, against none
# LUMACORE_OBS_MODULE measures another build of lumacore-obs.so (an older commit's) instead.
# The music is the demo tune (lumacore renders it; its sound is taken out as FLAC).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target lumacore lumacore-obs >/dev/null
lumacore="$PWD/build/native/apps/lumacore/lumacore"
module="${LUMACORE_OBS_MODULE:-$PWD/build/native/apps/obs/lumacore-obs.so}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$lumacore" render -q --size 64x64 -o "$work/demo.mkv"
ffmpeg -v error -y -i "$work/demo.mkv" -vn -c:a flac "$work/demo.flac"
run() { xvfb-run -a --server-args="-screen 0 1920x1080x24" /usr/bin/python3 bench/obs_figures.py "$@"; }
# A generated picture stands for the streamer's scene behind the source.
ffmpeg -v error -y -f lavfi -i "mandelbrot=s=1920x1080:end_pts=1" -frames:v 1 "$work/scene.png"
if [ "${1:-}" = screenshot ]; then
    run screenshot "$module" "$work/demo.flac" "$work/scene.png" "$(readlink -f "$2")"
elif [ "${1:-}" = changes ]; then
    run changes "$module" "$work/demo.flac"
else
    run figures "$module" "$work/demo.flac" "$work/scene.png" "${1:-60}"
fi
