#!/usr/bin/env bash
# Figures of `lumacore listen` on this machine, in a virtual X display (Xvfb) and a PulseAudio
# server with a null sink of their own:
#   (a) capture to picture: a click track played into the sink; for every click, the present time
#       of the first frame whose newest Render call's 1152-sample window is centred on or past the
#       click, minus the time the click reached the sink's monitor (play_click_recorder); mean,
#       min and max (target: below 50 ms);
#   (b) CPU time of `listen` at 1920x1080, --rate 60, over a minute of music, as % of one core;
#       with --app, recording the application alone, and again with three of its streams.
# Where a click lies in what listen captured is read from its last picture: the 2D history draws
# each call as a column of one pixel, so the brightest column of a click's columns is the call whose
# window centre lies nearest to it (within half a call, 8 ms). The clicks come 30.2 calls apart,
# so that this rounding falls differently for each, and the offset between the recorder's frames
# and listen's is the median over all the clicks the picture holds.
#   usage: bench/listen_figures.sh [--app] [path/to/lumacore] [path/to/play_click_recorder]
# With --app every sound is played by an application of its own name and listen records it
# alone (`listen --app`) instead of the sink's monitor.
# FIGURES_DESKTOP=wayland-wallpaper draws listen as the wallpaper of a 1920x1080 output of a
# Wayland compositor (headless sway, no X11) instead of in a window on Xvfb.
# FIGURES_SOUND_SERVER=pipewire runs PipeWire (with its pulse server) instead of PulseAudio, and
# FIGURES_SOUND_API (auto, pulse or pipewire) is listen's --sound-api: on PipeWire the automatic
# choice is PipeWire's own API, `pulse` its pulse server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
app_mode=false
if [ "${1:-}" = --app ]; then
    app_mode=true
    shift
fi
lumacore=${1:-$root/build/native/apps/lumacore/lumacore}
recorder=${2:-$root/build/native/bench/play_click_recorder}
# What listen records, and how the sound is played for it.
sound_api=${FIGURES_SOUND_API:-auto}
listen_from=(--sound-api "$sound_api") player=(paplay --latency-msec=20)
if $app_mode; then
    listen_from+=(--app lumacore-figures)
    player+=(--client-name=lumacore-figures)
fi
# The targets: PipeWire's own API, with its small quantum, is held to shorter lags.
target="mean below 30 ms, none above 45 ms"
if [ "${FIGURES_SOUND_SERVER:-pulseaudio}" = pipewire ] && [ "$sound_api" != pulse ]; then
    target="mean below 25 ms, none above 35 ms"
fi
echo "sound server: ${FIGURES_SOUND_SERVER:-pulseaudio}, listen --sound-api $sound_api"
figures_name=listen_figures
# shellcheck source=bench/figures_common.sh
source "$root/bench/figures_common.sh"
require_tools Xvfb pactl paplay pacat ffmpeg
require_built "$lumacore" "$recorder"
display_args=(--size 1920x1080)
if [ "${FIGURES_DESKTOP:-x11}" = wayland-wallpaper ]; then
    start_compositor 1
    display_args=(--wallpaper)
else
    start_display
fi
start_sound_server lumacore_bench

load=$(cut -d ' ' -f 1-3 /proc/loadavg)
echo "load average before the runs: $load (figures from a busy machine are not comparable)"

# Whether the timing log holds a frame with a call drawn (the log is written in blocks, so its
# last line may be cut short).
drawing() { [ -s "$1" ] && awk 'NF == 3 && $3 >= 0 { found = 1; exit } END { exit !found }' "$1"; }

# (a) A click (44 samples at 0.9) every 22197 frames from 3 s on (a stream that starts into the
# sink unsettles the server's timing for its first seconds, which stamped the recorder's first
# clicks hundreds of milliseconds early), 14 s in all: listen's picture
# (1920 calls, 32 s at 60 calls/s) holds all of them.
width=1920 height=1080 rate=60 call_frames=735
clicks_from=132300 click_every=22197
ffmpeg -v error -f lavfi -i \
    "aevalsrc=if(gte(n\,$clicks_from)*lt(mod(n-$clicks_from\,$click_every)\,44)\,0.9\,0):s=44100:d=14" \
    -ac 2 "$work/clicks.wav"
# Silence, played throughout with a short latency: a null sink with nothing asking for less runs
# in blocks of seconds, and a stream that starts into one is heard only after it.
pacat --latency-msec=20 /dev/zero 2>/dev/null &
children+=($!)
"$recorder" lumacore_bench.monitor "$work/heard" 2>>"$work/errors.log" &
recorder_pid=$!
children+=("$recorder_pid")
wait_for 15 "the click recorder heard nothing" test -e "$work/heard"
# Quiet enough that no click reaches the display's cap, so that the columns differ in brightness.
LUMACORE_TIMING_LOG="$work/clicks.timing" "$lumacore" listen "${listen_from[@]}" --mode 2d --brightness 0.2 \
    "${display_args[@]}" --rate "$rate" --duration 15 --dump "$work/clicks.png" \
    >/dev/null 2>>"$work/errors.log" &
listen_pid=$!
children+=("$listen_pid")
wait_for 15 "listen drew nothing" drawing "$work/clicks.timing"
"${player[@]}" "$work/clicks.wav"
wait "$listen_pid" || fail "listen failed: $(cat "$work/errors.log")"
kill -INT "$recorder_pid"
wait "$recorder_pid" || true

# The brightness of each column in the rows of bins 2 to 10 (below the bass, where a
# click is as bright as anywhere), newest column first.
top=$((height * 91 * 2 / 15000)) bottom=$((height * 91 * 10 / 15000))
ffmpeg -v error -i "$work/clicks.png" -vf "crop=$width:$((bottom - top)):0:$top" \
    -f rawvideo -pix_fmt gray - | od -An -v -tu1 -w"$width" |
    awk -v w="$width" '{ for (x = 1; x <= NF; ++x) sum[x] += $x }
        END { for (x = w; x >= 1; --x) print sum[x] }' \
    >"$work/columns"

echo "(a) capture to picture, clicks into the sink (picture presented minus click at the monitor)"
awk -v rate="$rate" -v call="$call_frames" -v every="$click_every" -v target="$target" '
    FILENAME == ARGV[1] { heardNs[FNR] = $1; heardFrame[FNR] = $2; heard = FNR; next }
    FILENAME == ARGV[2] { present[FNR] = $1; newest[FNR] = int($3 * rate + 0.5); presents = FNR; next }
    { column[FNR - 1] = $1; if ($1 > brightest) brightest = $1; columns = FNR }
    END {
        if (heard < 4) { printf "    the recorder heard %d clicks\n", heard; exit 1 }
        last = newest[presents] # the call of the newest column
        # Clicks: runs of lit columns, oldest first; each at the centre of its brightest call.
        for (c = columns - 1; c >= -1; --c) {
            lit = c >= 0 && column[c] > brightest / 4
            if (lit && (!inRun || column[c] > column[best])) best = c
            if (lit && !inRun) inRun = 1
            if (!lit && inRun) { seen[++clicks] = (last - best) * call + 576; inRun = 0 }
        }
        # The oldest column may have lost the start of a click: it is left out.
        if (column[columns - 1] > brightest / 4) { for (i = 1; i < clicks; ++i) seen[i] = seen[i + 1]; --clicks }
        if (clicks < 4) { printf "    the picture holds %d clicks\n", clicks; exit 1 }
        # Which heard click is the first one seen: the pairing whose lags are smallest and positive.
        chosen = 0
        for (first = 1; first + clicks - 1 <= heard; ++first) {
            n = 0
            for (i = 1; i <= clicks; ++i) offsets[++n] = seen[i] - heardFrame[first + i - 1]
            sortValues(offsets, n); offset = offsets[int((n + 1) / 2)]
            if (!lags(first, offset)) continue
            if (!chosen || mean < bestMean) { chosen = first; bestMean = mean; bestOffset = offset; spread = offsets[n] - offsets[1] }
        }
        if (!chosen) { print "    no pairing of the clicks seen with those heard has positive lags"; exit 1 }
        lags(chosen, bestOffset)
        printf "    %d clicks: mean %+.1f ms, min %+.1f ms, max %+.1f ms (target: %s)\n", clicks, mean, min, max, target
        printf "    (offset of listen'\''s frames from the recorder'\''s: %d, spread of the estimates %d frames)\n", bestOffset, spread
    }
    function sortValues(v, n,    i, j, x) {
        for (i = 2; i <= n; ++i) {
            x = v[i]
            for (j = i - 1; j >= 1 && v[j] > x; --j) v[j + 1] = v[j]
            v[j + 1] = x
        }
    }
    # The lags when heard click `first` is the first one seen and listen frame = recorder frame +
    # offset; false when any is negative or never shown.
    function lags(first, offset,    i, frame, p, lag, sum) {
        min = 1e18; max = -1e18; sum = 0
        for (i = 0; i < clicks; ++i) {
            frame = heardFrame[first + i] + offset
            for (p = 1; p <= presents && newest[p] * call + 576 < frame; ++p) {}
            if (p > presents) return 0
            lag = (present[p] - heardNs[first + i]) / 1e6
            if (lag < 0) return 0
            sum += lag; if (lag < min) min = lag; if (lag > max) max = lag
        }
        mean = sum / clicks
        return 1
    }' "$work/heard" "$work/clicks.timing" "$work/columns"

# (b) A minute of music into the sink, listened to for a minute (with --app: by one stream of
# the application, then by three).
make_minute "$work/minute.wav"
streams_runs=(1)
$app_mode && streams_runs=(1 3)
echo "(b) CPU time over 60 s of music at 1920x1080, 60 Render calls/s"
for streams in "${streams_runs[@]}"; do
    players=()
    for ((s = 0; s < streams; ++s)); do
        "${player[@]}" "$work/minute.wav" &
        players+=($!)
        children+=($!)
    done
    xvfb_before=$(cpu_of "$xvfb_pid")
    LUMACORE_TIMING_LOG="$work/minute$streams.timing" cpu_and_wall "$lumacore" listen \
        "${listen_from[@]}" "${display_args[@]}" --rate 60 --duration 60 >"$work/listen.cpu"
    xvfb_cpu=$(awk -v a="$xvfb_before" -v b="$(cpu_of "$xvfb_pid")" 'BEGIN { printf "%.3f", b - a }')
    read -r listen_cpu listen_wall <"$work/listen.cpu"
    what="lumacore listen"
    $app_mode && what="listen --app, $streams stream(s)"
    awk -v w="$what" -v l="$listen_cpu" -v lw="$listen_wall" -v x="$xvfb_cpu" 'BEGIN {
        printf "    %-26s %6.2f s CPU in %6.2f s  = %5.1f %% of one core\n", w ":", l, lw, 100 * l / 60
        printf "    (the display server then: %6.2f s CPU = %5.1f %% of one core)\n", x, 100 * x / 60
    }'
    echo "    pacing: $(pacing "$work/minute$streams.timing")"
    kill "${players[@]}" 2>/dev/null || true
    wait "${players[@]}" 2>/dev/null || true
done
