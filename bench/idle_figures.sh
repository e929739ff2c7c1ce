#!/usr/bin/env bash
# What `lumacore listen` costs while nothing plays, against a baseline build, in one run on this
# machine: a virtual X display (Xvfb, 1920x1080) and a sound server with a null sink of their own
# (PulseAudio; FIGURES_SOUND_SERVER=pipewire for PipeWire). For each program, one run of listen at
# 1920x1080 and 60 Render calls/s: CPU time over MUSIC seconds of music played into the sink, then,
# after SETTLE seconds of silence, over IDLE seconds more of it (target: below 1 % of one core),
# with the pictures it presented in each stretch (its timing log).
#   usage: bench/idle_figures.sh [--base path/to/base/lumacore] [path/to/lumacore] [-- LISTEN ARGS]
# LISTEN ARGS replace the default of recording the sink's monitor: `-- --fifo PATH` records a FIFO
# instead, fed with the music and then with silence by this script (the path is made here).
# MUSIC, SETTLE and IDLE (seconds) default to 30, 20 and 60.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
base=""
if [ "${1:-}" = --base ]; then
    base=$2
    shift 2
fi
lumacore=$root/build/native/apps/lumacore/lumacore
if [ $# -gt 0 ] && [ "$1" != -- ]; then
    lumacore=$1
    shift
fi
[ "${1:-}" = -- ] && shift
listen_args=("$@")
music=${MUSIC:-30} settle=${SETTLE:-20} idle=${IDLE:-60}
figures_name=idle_figures
# shellcheck source=bench/figures_common.sh
source "$root/bench/figures_common.sh"
require_tools Xvfb pactl paplay ffmpeg
require_built "$lumacore" ${base:+"$base"}
start_display
start_sound_server lumacore_bench

# A FIFO named after --fifo is fed here: the music, then silence at the pace it is heard.
fifo=""
for ((i = 0; i < ${#listen_args[@]}; ++i)); do
    [ "${listen_args[i]}" = --fifo ] && fifo=${listen_args[i + 1]:-}
done

make_minute "$work/minute.wav"
ffmpeg -v error -i "$work/minute.wav" -t "$music" -f f32le -ar 44100 -ac 2 "$work/music.raw"
# The FIFO gets MPD's usual format, listen's default: 44100:16:2.
ffmpeg -v error -i "$work/minute.wav" -t "$music" -f s16le -ar 44100 -ac 2 "$work/music16.raw"

# Plays MUSIC seconds of music into the sink, or into the FIFO (then silence until stopped).
start_music() {
    if [ -n "$fifo" ]; then
        python3 - "$fifo" "$work/music16.raw" <<'PY' &
import sys, time
fifo, music = sys.argv[1], open(sys.argv[2], "rb").read()
block = 2 * 2 * 441  # 10 ms of 16-bit stereo frames
start = time.monotonic()
with open(fifo, "wb", buffering=0) as out:
    n = 0
    while True:
        chunk = music[n * block:(n + 1) * block] or bytes(block)
        out.write(chunk.ljust(block, b"\0"))
        n += 1
        time.sleep(max(0.0, start + n * 0.01 - time.monotonic()))
PY
    else
        paplay --latency-msec=20 --raw --format=float32le --rate=44100 --channels=2 \
            "$work/music.raw" &
    fi
    music_pid=$!
    children+=("$music_pid")
}

# The lines of a timing log (pictures presented) so far.
presented() { wc -l <"$1" 2>/dev/null || echo 0; }

echo "load average before the runs: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "listen ${listen_args[*]:-(the default sink monitor)} at 1920x1080, 60 calls/s:" \
    "${music} s of music, then ${settle} s of silence, then ${idle} s measured"
for program in ${base:+"$base"} "$lumacore"; do
    label=after
    [ "$program" = "$base" ] && label=before
    log="$work/$label.timing"
    [ -n "$fifo" ] && { rm -f "$fifo"; mkfifo "$fifo"; }
    LUMACORE_TIMING_LOG="$log" XDG_CONFIG_HOME="$work/config-$label" "$program" listen \
        "${listen_args[@]}" --size 1920x1080 --rate 60 >/dev/null 2>>"$work/errors.log" &
    listen_pid=$!
    children+=("$listen_pid")
    [ -z "$fifo" ] && wait_for 15 "listen ($label) drew nothing" test -s "$log"
    start_music
    [ -n "$fifo" ] && wait_for 15 "listen ($label) drew nothing" test -s "$log"
    cpu0=$(cpu_of "$listen_pid") pictures0=$(presented "$log")
    sleep "$music"
    cpu1=$(cpu_of "$listen_pid") pictures1=$(presented "$log")
    # The sink's monitor goes silent; a FIFO's writer goes on with silence.
    [ -z "$fifo" ] && { kill "$music_pid" 2>/dev/null || true; }
    sleep "$settle"
    cpu2=$(cpu_of "$listen_pid") pictures2=$(presented "$log")
    sleep "$idle"
    cpu3=$(cpu_of "$listen_pid") pictures3=$(presented "$log")
    # It ends as Q ends it, then dies of the signal (143).
    kill -TERM "$listen_pid"
    status=0
    wait "$listen_pid" || status=$?
    [ "$status" -eq 143 ] || fail "listen ($label) failed ($status): $(cat "$work/errors.log")"
    kill "$music_pid" 2>/dev/null || true
    wait "$music_pid" 2>/dev/null || true
    awk -v l="$label" -v m="$music" -v i="$idle" -v c0="$cpu0" -v c1="$cpu1" -v c2="$cpu2" \
        -v c3="$cpu3" -v p0="$pictures0" -v p1="$pictures1" -v p2="$pictures2" -v p3="$pictures3" \
        'BEGIN {
        printf "    %-6s music: %5.1f %% of one core, %5d pictures in %d s\n", l, 100 * (c1 - c0) / m, p1 - p0, m
        printf "    %-6s idle:  %5.2f %% of one core, %5d pictures in %d s\n", l, 100 * (c3 - c2) / i, p3 - p2, i
    }'
done
