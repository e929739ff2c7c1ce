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
for tool in Xvfb pulseaudio pactl ffmpeg; do
    command -v "$tool" >/dev/null || { echo "play_figures: $tool is not installed" >&2; exit 1; }
done
for program in "$lumacore" "$recorder"; do
    [ -x "$program" ] || { echo "play_figures: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d)
children=()
cleanup() {
    for pid in "${children[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# Polls COMMAND every 50 ms for up to SECONDS; fails with DESCRIPTION if it never succeeds.
wait_for() {
    local seconds=$1 description=$2
    shift 2
    local tries=$((seconds * 20))
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || { echo "play_figures: $description" >&2; exit 1; }
        sleep 0.05
    done
}

# The display: Xvfb writes its number to the descriptor once it accepts clients.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
children+=("$xvfb_pid")
wait_for 15 "Xvfb did not start" test -s "$work/display"
export DISPLAY=":$(head -n 1 "$work/display")"
unset WAYLAND_DISPLAY

# The sound server, in a private runtime folder; clients never start one of their own.
mkdir -m 700 "$work/pulse"
printf 'autospawn = no\n' >"$work/pulse/client.conf"
XDG_RUNTIME_DIR="$work/pulse" HOME="$work/pulse" XDG_CONFIG_HOME="$work/pulse/config" \
    pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --load="module-native-protocol-unix auth-anonymous=1" \
    --load="module-null-sink sink_name=lumacore_bench" 2>"$work/pulse.log" &
children+=($!)
export PULSE_SERVER="unix:$work/pulse/pulse/native" PULSE_CLIENTCONFIG="$work/pulse/client.conf"
export XDG_RUNTIME_DIR="$work/pulse" XDG_CONFIG_HOME="$work/config"
unset SDL_AUDIODRIVER
wait_for 15 "the sound server did not answer" pactl info
pactl set-default-sink lumacore_bench

load=$(cut -d ' ' -f 1-3 /proc/loadavg)

# (a) and (b): a minute of music-like sound (a bass, a melody and pink noise), as in
# bench/lumacore_vs_ffmpeg.sh.
ffmpeg -v error -filter_complex \
    "sine=frequency=55:duration=60,volume=0.6[a];sine=frequency=440:duration=60,volume=0.2[b];anoisesrc=d=60:c=pink:a=0.08[c];[a][b][c]amix=inputs=3" \
    -ar 44100 -ac 2 "$work/minute.wav"

# Runs a command and prints its user plus system CPU seconds, then its wall seconds.
cpu_and_wall() {
    local TIMEFORMAT='%U %S %R' times
    times=$({ time "$@" >/dev/null 2>>"$work/errors.log"; } 2>&1) || {
        echo "play_figures: $* failed:" >&2
        cat "$work/errors.log" >&2
        exit 1
    }
    awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' <<<"$times"
}

# CPU seconds a running process has used so far (user plus system).
cpu_of() { awk -v tick="$(getconf CLK_TCK)" '{ printf "%.3f\n", ($14 + $15) / tick }' "/proc/$1/stat"; }

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

# Frame count and rate, then median, p99 and largest interval between presented frames of a
# timing log.
pacing() {
    local frames
    frames=$(wc -l <"$1")
    [ "$frames" -gt 1 ] || { echo "play_figures: $1 holds $frames frames" >&2; exit 1; }
    awk 'NR > 1 { print ($1 - previous) / 1e6 } { previous = $1 }' "$1" | sort -n |
        awk -v frames="$frames" '{ v[NR] = $1; sum += $1 } END {
            printf "%d frames, %.1f frames/s; median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                frames, 1000 * NR / sum, v[int((NR + 1) / 2)], v[int(NR * 0.99 + 0.999999)], v[NR]
        }'
}

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
