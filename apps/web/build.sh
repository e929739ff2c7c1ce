#!/bin/sh
# Builds the web page into build/web/ (its CMake tree: build/web-tree). Usage: apps/web/build.sh
# [jobs]. Needs Debian's emscripten and libkissfft-dev (scripts/setup installs them).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
command -v emcmake >/dev/null || {
    echo "apps/web/build.sh: emcmake not found (apt-get install emscripten)" >&2
    exit 1
}
emcmake cmake -S "$root/apps/web" -B "$root/build/web-tree" -G Ninja >/dev/null
cmake --build "$root/build/web-tree" -j "${1:-2}"
