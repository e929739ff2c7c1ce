#!/usr/bin/env bash
# Figures of `lumacore listen`'s clock against sources that do not deliver sound steadily, in a
# virtual X display (Xvfb) and a PulseAudio server of their own:
#   (a) a pipe source (module-pipe-source) fed a steady 440 Hz tone in bursts: 0.3 s of it every
#       0.3 s of wall time (bench/burst_writer.py), so the source delivers exactly as much sound
#       as time passes;
#   (b) the monitor of the idle null sink (nothing plays into it).
# For each, `listen --mode 2d --size 1280x720 --rate 60` runs for SECONDS (default 10) with
# LUMACORE_TIMING_LOG and --dump, and the figures (bench/live_time_figures.py) are:
#   - stream time over wall time: the newest Render call's time, last minus first of the frames
#     with a call drawn, over the present times of the same frames (1.00: the display keeps time
#     with the sound; above 1: it draws more sound than came in);
#   - blank columns in the last picture's newest 600 columns (10 s at 60 calls/s): the 2D history
#     draws one column a call, and a column with no lit pixel in the top 91 % (above the banner)
#     drew a call of silence. A steady tone should leave none; the idle sink, only blank ones.
#   usage: bench/live_time_figures.sh [path/to/lumacore] [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lumacore=${1:-$root/build/native/apps/lumacore/lumacore}
seconds=${2:-10}
figures_name=live_time_figures
# shellcheck source=bench/figures_common.sh
source "$root/bench/figures_common.sh"
python=/usr/bin/python3
command -v "$python" >/dev/null || python=python3
require_tools Xvfb pulseaudio pactl ffmpeg ffprobe
require_built "$lumacore"
start_display
start_sound_server lumacore_bench

echo "load average before the runs: $(cut -d ' ' -f 1-3 /proc/loadavg)" \
    "(figures from a busy machine are not comparable)"

width=1280 height=720 rate=60 newest=600

# Runs listen on SOURCE for the run's length into $work/NAME.timing and $work/NAME.png.
listen_to() {
    local source=$1 name=$2
    LUMACORE_TIMING_LOG="$work/$name.timing" "$lumacore" listen --source "$source" --mode 2d \
        --size "${width}x$height" --rate "$rate" --duration "$seconds" --dump "$work/$name.png" \
        >/dev/null 2>>"$work/errors.log" || fail "listen on $source failed: $(cat "$work/errors.log")"
    [ -s "$work/$name.png" ] || fail "listen on $source dumped no picture"
}

# The stream time over the wall time and the blank columns of run NAME (bench/live_time_figures.py).
figures_of() {
    "$python" "$root/bench/live_time_figures.py" "$work/$1.timing" "$work/$1.png" "$newest" ||
        fail "cannot read the run $1"
}

# (a) The pipe source: the server makes the FIFO and keeps it open for reading.
pactl load-module module-pipe-source source_name=burst file="$work/burst.fifo" \
    format=float32le rate=44100 channels=2 >/dev/null
wait_for 15 "the pipe source made no FIFO" test -p "$work/burst.fifo"
"$python" "$root/bench/burst_writer.py" "$work/burst.fifo" 0.3 0.3 440 &
children+=($!)
listen_to burst bursts
echo "(a) a steady tone delivered 0.3 s at a time every 0.3 s (module-pipe-source), ${seconds} s"
figures_of bursts

# (b) The idle null sink's monitor.
listen_to lumacore_bench.monitor idle
echo "(b) the monitor of an idle null sink (nothing plays), ${seconds} s"
figures_of idle
