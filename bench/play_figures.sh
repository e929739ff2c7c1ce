#!/usr/bin/env bash
# Figures of `lumacore play` on this machine, each run in its own virtual X display (Xvfb) and
# its own PulseAudio server with a null sink, so that nothing on the desktop takes part:
#   (a) CPU time of `play` at 1920x1080, --rate 60, over a minute of music, as % of one core,
#       against `render ... -o null` of the same sound and size (the same decoding, analysis and
#       drawing without the window and the sound card) in the same run;
#   (b) frame pacing: the intervals between presented frames (LUMACORE_TIMING_LOG), median and p99;
#   (c) audio to picture: for every click of a click track, the time the click reached the sink's
#       monitor (play_click_recorder) against the present time of the first frame whose newest
#       Render call's 1152-sample window holds the click; mean, min and max (positive: the
#       picture comes after the sound).
#   usage: bench/play_figures.sh [path/to/lumacore] [path/to/play_click_recorder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lumacore=${1:-$root/build/native/apps/lumacore/lumacore}
recorder=${2:-$root/build/native/bench/play_click_recorder}
figures_name=play_figures
# shellcheck source=bench/figures_common.sh
source "$root/bench/figures_common.sh"
require_tools Xvfb pulseaudio pactl ffmpeg
require_built "$lumacore" "$recorder"
start_display
start_sound_server lumacore_bench

load=$(cut -d ' ' -f 1-3 /proc/loadavg)

# (a) and (b): a minute of music-like sound.
make_minute "$work/minute.wav"

xvfb_before=$(cpu_of "$xvfb_pid")
LUMACORE_TIMING_LOG="$work/minute.timing" cpu_and_wall \
    "$lumacore" play "$work/minute.wav" --size 1920x1080 --rate 60 >"$work/play.cpu"
xvfb_cpu=$(awk -v a="$xvfb_before" -v b="$(cpu_of "$xvfb_pid")" 'BEGIN { printf "%.3f", b - a }')
cpu_and_wall "$lumacore" render "$work/minute.wav" --size 1920x1080 --fps 60 --rate 60 -q -o null \
    >"$work/render.cpu"
read -r play_cpu play_wall <"$work/play.cpu"
read -r render_cpu render_wall <"$work/render.cpu"

echo "load average before the runs: $load (figures from a busy machine are not comparable)"
echo "(a) CPU time over 60 s of music at 1920x1080, 60 Render calls/s"
awk -v p="$play_cpu" -v pw="$play_wall" -v r="$render_cpu" -v rw="$render_wall" -v x="$xvfb_cpu" 'BEGIN {
    printf "    lumacore play:           %6.2f s CPU in %6.2f s  = %5.1f %% of one core\n", p, pw, 100 * p / 60
    printf "    (the X server meanwhile: %6.2f s CPU = %5.1f %% of one core)\n", x, 100 * x / 60
    printf "    lumacore render -o null: %6.2f s CPU in %6.2f s  = %5.1f %% of one core (baseline)\n", r, rw, 100 * r / 60
    printf "    play / render: %.2f\n", p / r
}'

large_pacing=$(pacing "$work/minute.timing")

# (c): a click (44 samples at 0.9) every half second from 3 s on (past the settling of the
# streams' latencies as they start), 20 s in all.
clicks_from=132300 click_every=22050 click_count=34
ffmpeg -v error -f lavfi -i \
    "aevalsrc=if(gte(n\,$clicks_from)*lt(mod(n-$clicks_from\,$click_every)\,44)\,0.9\,0):s=44100:d=20" \
    -ac 2 "$work/clicks.wav"
"$recorder" lumacore_bench.monitor "$work/heard" 2>>"$work/errors.log" &
recorder_pid=$!
children+=("$recorder_pid")
wait_for 15 "the click recorder heard nothing" test -e "$work/heard"
LUMACORE_TIMING_LOG="$work/clicks.timing" "$lumacore" play "$work/clicks.wav" --size 640x360 \
    --rate 60 >/dev/null 2>>"$work/errors.log"
heard_all() { [ "$(wc -l <"$work/heard")" -ge "$click_count" ]; }
wait_for 5 "the recorder heard fewer than $click_count clicks" heard_all
kill -INT "$recorder_pid"
wait "$recorder_pid" || true

small_pacing=$(pacing "$work/clicks.timing")
echo "(b) frame pacing (intervals between presented frames)"
echo "    at 1920x1080: $large_pacing"
echo "    at 640x360 (the click track below): $small_pacing"
echo "(c) audio to picture, over $click_count clicks (picture presented minus click at the sink)"
awk -v from="$clicks_from" -v every="$click_every" -v count="$click_count" -v rate=60 '
    FNR == NR { heard[FNR - 1] = $1; heardCount = FNR; next }
    {
        # Call n starts its window at floor(n * 44100 / rate); the log gives its time n / rate.
        n = int($3 * rate + 0.5)
        first = int(n * 44100 / rate)
        for (k = 0; k < count; ++k) {
            click = from + k * every
            if (!(k in shown) && first <= click && click <= first + 1151) shown[k] = $1
            # The Hann window weighs the click fully once its centre has reached it.
            if (!(k in centred) && click <= first + 576) centred[k] = $1
        }
    }
    END {
        if (heardCount != count) { printf "    the recorder heard %d clicks, not %d\n", heardCount, count; exit 1 }
        for (k = 0; k < count; ++k)
            if (!(k in shown) || !(k in centred)) { printf "    click %d was never shown\n", k; exit 1 }
        summary("the first window holding the click:       ", shown)
        summary("the first window centred on or past it:  ", centred)
    }
    function summary(what, at,    k, offset, sum, min, max) {
        min = 1e18; max = -1e18
        for (k = 0; k < count; ++k) {
            offset = (at[k] - heard[k]) / 1e6
            sum += offset; if (offset < min) min = offset; if (offset > max) max = offset
        }
        printf "    %s mean %+.1f ms, min %+.1f ms, max %+.1f ms\n", what, sum / count, min, max
    }' "$work/heard" "$work/clicks.timing"
