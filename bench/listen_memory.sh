#!/usr/bin/env bash
# Memory of `lumacore listen` over a long run with music playing: its resident set sampled every
# 30 s in a virtual X display (Xvfb, 1920x1080) and a sound server of their own, after a minute to
# settle; prints each sample, then the first, the last and the largest, and the CPU time listen
# (and the X server) used between the first sample and the last. Flat is the aim: nothing the
# live path keeps may grow with the time it has run.
#   usage: bench/listen_memory.sh [--base path/to/base/lumacore] [SECONDS, default 1200]
#                                 [path/to/lumacore] [-- LISTEN ARGS]
# With --base the base build is measured first, the same way, on the same display and server.
# LISTEN ARGS replace the window's `--size 1920x1080`: `-- --wallpaper` measures the wallpaper
# (on every monitor of the display: Xvfb has one). FIGURES_MONITORS=N runs on a display of N
# monitors of 1920x1080 instead (Xorg's dummy driver, as root).
# FIGURES_SOUND_SERVER=pipewire runs it on PipeWire (through its own API, as listen chooses there).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
base=""
if [ "${1:-}" = --base ]; then
    base=$2
    shift 2
fi
seconds=1200
if [ $# -gt 0 ] && [ "$1" != -- ]; then
    seconds=$1
    shift
fi
lumacore=$root/build/native/apps/lumacore/lumacore
if [ $# -gt 0 ] && [ "$1" != -- ]; then
    lumacore=$1
    shift
fi
[ "${1:-}" = -- ] && shift
listen_args=("$@")
[ ${#listen_args[@]} -gt 0 ] || listen_args=(--size 1920x1080)
figures_name=listen_memory
# shellcheck source=bench/figures_common.sh
source "$root/bench/figures_common.sh"
require_tools Xvfb pactl paplay ffmpeg
require_built "$lumacore" ${base:+"$base"}
if [ -n "${FIGURES_MONITORS:-}" ]; then
    start_monitors_display "$FIGURES_MONITORS"
else
    start_display
fi
start_sound_server lumacore_bench

make_minute "$work/minute.wav"
# The music, over and over, for as long as the runs.
(while :; do paplay "$work/minute.wav" 2>/dev/null || exit; done) &
children+=($!)

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# One run of PROGRAM, its figures labelled LABEL.
measure() {
    local program=$1 label=$2
    "$program" listen "${listen_args[@]}" --rate 60 --duration $((seconds + 180)) \
        2>"$work/listen.log" </dev/null &
    local listen=$!
    children+=("$listen")
    wait_for 15 "listen did not start" test -e "/proc/$listen/status"
    sleep 60 # the window, the server's stream and the first pictures settle
    local samples=() cpu_first xvfb_first
    cpu_first=$(cpu_of "$listen") xvfb_first=$(cpu_of "$xvfb_pid")
    for ((elapsed = 0; elapsed <= seconds; elapsed += 30)); do
        kill -0 "$listen" 2>/dev/null || fail "listen ended early: $(cat "$work/listen.log")"
        samples+=("$(rss "$listen")")
        echo "$label after ${elapsed}s: ${samples[-1]} kB"
        [ "$elapsed" -lt "$seconds" ] && sleep 30
    done
    local cpu xvfb largest
    cpu=$(awk -v a="$cpu_first" -v b="$(cpu_of "$listen")" -v s="$seconds" \
        'BEGIN { printf "%.2f s = %.1f %% of one core", b - a, 100 * (b - a) / s }')
    xvfb=$(awk -v a="$xvfb_first" -v b="$(cpu_of "$xvfb_pid")" -v s="$seconds" \
        'BEGIN { printf "%.2f s = %.1f %%", b - a, 100 * (b - a) / s }')
    largest=$(printf '%s\n' "${samples[@]}" | sort -n | tail -n 1)
    kill "$listen" 2>/dev/null || true
    wait "$listen" 2>/dev/null || true
    echo "$label: listen ${listen_args[*]} RSS over ${seconds}s (${FIGURES_SOUND_SERVER:-pulseaudio}, ${FIGURES_MONITORS:-1} monitor(s)): first ${samples[0]} kB, last ${samples[-1]} kB, largest $largest kB, grew $((samples[-1] - samples[0])) kB; CPU $cpu (the X server $xvfb)"
}

[ -n "$base" ] && measure "$base" base
measure "$lumacore" this
