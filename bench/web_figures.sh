#!/usr/bin/env bash
# Figures of the web page (build/web/, apps/web/build.sh) in headless Chromium against a local
# server on a free port (bench/web_figures.py):
#   (a) render + canvas upload time of a picture, history at 1280x720 and the scopes at their
#       289x257, while the demo tune plays: median and p99 over at least 600 pictures each;
#   (b) gzip -9 size of what a browser downloads for it: lumacore-page.js, lumacore.js and
#       lumacore.wasm;
#   (c) navigation start to the first picture on the canvas of the plain ?demo page (cache off).
#   usage: bench/web_figures.sh [path/to/build/web]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export LUMACORE_WEB_ROOT=${1:-$root/build/web}
python=/usr/bin/python3 # Debian's, for python3-selenium
command -v "$python" >/dev/null || python=python3

echo "load average before the runs: $(cut -d ' ' -f 1-3 /proc/loadavg)" \
    "(figures from a busy machine are not comparable)"
echo "(a) one picture: the render calls due, the conversion and the canvas upload (the page's timings)"
"$python" "$root/bench/web_figures.py" pictures 600
echo "(b) gzip -9 sizes"
total=0
for file in lumacore-page.js lumacore.js lumacore.wasm; do
    if [ ! -f "$LUMACORE_WEB_ROOT/$file" ]; then
        echo "web_figures: $LUMACORE_WEB_ROOT/$file is missing (apps/web/build.sh)" >&2
        exit 1
    fi
    plain=$(wc -c <"$LUMACORE_WEB_ROOT/$file")
    packed=$(gzip -9 -c "$LUMACORE_WEB_ROOT/$file" | wc -c)
    total=$((total + packed))
    printf '    %-17s %8d bytes, gzip -9 %8d bytes\n' "$file" "$plain" "$packed"
done
printf '    %-17s %8s        gzip -9 %8d bytes\n' "together" "" "$total"
echo "(c) navigation start to the first picture on the canvas"
"$python" "$root/bench/web_figures.py" first 10
