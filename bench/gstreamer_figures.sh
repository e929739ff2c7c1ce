#!/usr/bin/env bash
# How fast lumacorevis draws a minute of sound to GStreamer's fakesink (gst-launch-1.0, no clock)
# against `lumacore render -o null` of the same file at the same size and rate, in the same run:
# each twice, for the 3D history at 1280x720 and the oscilloscope at 289x257, 60 pictures a
# second; CPU and wall seconds and the ratio to real time. The plug-in is loaded from the build
# folder with a registry of the run's own.
#   usage: bench/gstreamer_figures.sh [path/to/lumacore] [folder/of/libgstlumacore.so]
set -euo pipefail
figures_name=gstreamer_figures
root=$(cd "$(dirname "$0")/.." && pwd)
lumacore=${1:-$root/build/native/apps/lumacore/lumacore}
plugins=${2:-$root/build/native/apps/gstreamer}
source "$root/bench/figures_common.sh"
require_tools ffmpeg gst-launch-1.0
[ -x "$lumacore" ] || fail "$lumacore is not built"
[ -f "$plugins/libgstlumacore.so" ] || fail "$plugins/libgstlumacore.so is not built"
export GST_PLUGIN_PATH=$plugins GST_REGISTRY=$work/registry.bin

make_minute "$work/minute.wav"
echo "load average before the runs: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "| display | run | CPU s | wall s | x real time |"
echo "|---|---|---:|---:|---:|"
row() {
    read -r cpu wall <<<"$(cpu_and_wall "${@:3}")"
    awk -v d="$1" -v r="$2" -v c="$cpu" -v w="$wall" \
        'BEGIN { printf "| %s | %s | %.2f | %.2f | %.1f |\n", d, r, c, w, 60 / w }'
}
for display in "history 1280 720" "scope 289 257"; do
    read -r module width height <<<"$display"
    for run in 1 2; do
        row "$module ${width}x$height" "lumacorevis $run" gst-launch-1.0 -q filesrc \
            location="$work/minute.wav" ! decodebin ! audioconvert ! lumacorevis module="$module" \
            ! "video/x-raw,width=$width,height=$height,framerate=60/1" ! fakesink sync=false
        row "$module ${width}x$height" "render -o null $run" "$lumacore" render -q \
            "$work/minute.wav" --module "$module" --size "${width}x$height" --fps 60 -o null
    done
done
