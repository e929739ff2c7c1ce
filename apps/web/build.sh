#!/bin/sh
# Builds the portable core, the analyser and the web driver with Debian's emscripten into
# build/web/: lumacore.js + lumacore.wasm for a page, and lumacore-node.js (the wasm inside,
# -sSINGLE_FILE) for node. Usage: apps/web/build.sh [jobs]   (needs: apt-get install emscripten
# libkissfft-dev)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/build/web"
jobs=${1:-1}
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
command -v em++ >/dev/null || { echo "apps/web/build.sh: em++ not found (apt-get install emscripten)"; exit 1; }
[ -f /usr/include/kissfft/kissfft.hh ] || { echo "apps/web/build.sh: kissfft.hh not found (apt-get install libkissfft-dev)"; exit 1; }

mkdir -p "$out/obj" "$out/kissfft"
# Only the template header: the folder's C headers would hide web/include/kiss_fftr.h.
ln -sf /usr/include/kissfft/kissfft.hh "$out/kissfft/kissfft.hh"

sources="
src/host/raster/bitmap.cpp
src/host/raster/coverage.cpp
src/host/raster/polygon_fill.cpp
src/host/raster/raster_surface.cpp
src/history/history_state.cpp
src/history/palette.cpp
src/history/column_box.cpp
src/history/history_render.cpp
src/scope/oscilloscope.cpp
src/scope/vu_meter.cpp
src/scope/scope_state.cpp
src/frames/frames_file.cpp
apps/lumacore/audio/audio_source.cpp
apps/lumacore/audio/demo_tune.cpp
apps/lumacore/pipeline/sample_buffer.cpp
apps/lumacore/pipeline/call_source.cpp
apps/lumacore/analysis/analyser.cpp
apps/web/web_runner.cpp
apps/web/web_render.cpp
"
flags="-std=c++20 -O2 -Wall -Wextra -Werror -I$root/apps/web/include -I$root/src -I$root/apps/lumacore -isystem $out/kissfft"

objects=""
running=0
for s in $sources; do
    o="$out/obj/$(echo "$s" | tr / _).o"
    objects="$objects $o"
    if [ ! -f "$o" ] || [ "$root/$s" -nt "$o" ] || [ "$root/apps/web/include/kiss_fftr.h" -nt "$o" ]; then
        echo "em++ $s"
        # shellcheck disable=SC2086
        nice em++ $flags -c "$root/$s" -o "$o" &
        running=$((running + 1))
        if [ "$running" -ge "$jobs" ]; then wait; running=0; fi
    fi
done
wait

link="-O2 -sALLOW_MEMORY_GROWTH=1 -sMODULARIZE=1 -sEXPORT_NAME=createLumacore
 -sEXPORTED_FUNCTIONS=_lumacore_web_render,_malloc,_free -sEXPORTED_RUNTIME_METHODS=HEAPU8"
# shellcheck disable=SC2086
nice em++ $objects $link -o "$out/lumacore.js"
# shellcheck disable=SC2086
nice em++ $objects $link -sSINGLE_FILE=1 -o "$out/lumacore-node.js"
cp "$root/apps/web/index.html" "$out/index.html"
echo "built $out: index.html, lumacore.js, lumacore.wasm, lumacore-node.js"
