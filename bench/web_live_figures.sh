#!/usr/bin/env bash
# Figures of the web page (build/web/, apps/web/build.sh) while its tab is hidden, in headless
# Chromium against a local server on a free port (bench/web_live_figures.py), the history in 3D
# at 1280x720:
#   (a) the demo tune playing, the tab hidden for SHORT and for LONG seconds (default 60 and 300)
#       and shown again: how long the first animation frame after the return takes, and the
#       longest in the 3 s after it (the tune lasts 30 s, so its clock stops at its end whatever
#       the wait);
#   (b) the same with a sound longer than the waits, opened as a file;
#   (c) the same while listening to Chromium's stand-in microphone;
#   (d) listening with the tab hidden for LISTEN seconds (default 600): the WebAssembly memory's
#       size every minute (every LISTEN/10 s when shorter), then the first frame after the return.
#   usage: bench/web_live_figures.sh [path/to/build/web] [SHORT LONG LISTEN]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export LUMACORE_WEB_ROOT=${1:-$root/build/web}
short=${2:-60} long=${3:-300} listen=${4:-600}
every=$(awk -v s="$listen" 'BEGIN { print (s >= 600 ? 60 : s / 10) }')
python=/usr/bin/python3 # Debian's, for python3-selenium
command -v "$python" >/dev/null || python=python3

echo "load average before the runs: $(cut -d ' ' -f 1-3 /proc/loadavg)" \
    "(figures from a busy machine are not comparable)"
echo "(a) the demo tune, the tab hidden and shown again"
"$python" "$root/bench/web_live_figures.py" hidden demo "$short" "$long"
echo "(b) a sound longer than the waits, opened as a file"
"$python" "$root/bench/web_live_figures.py" hidden file "$short" "$long"
echo "(c) listening to the stand-in microphone"
"$python" "$root/bench/web_live_figures.py" hidden microphone "$short" "$long"
echo "(d) listening with the tab hidden for $listen s: the WebAssembly memory"
"$python" "$root/bench/web_live_figures.py" listen "$listen" "$every"
