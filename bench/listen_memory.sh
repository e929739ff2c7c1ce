#!/usr/bin/env bash
# Memory of `lumacore listen` over a long run with music playing: its resident set sampled every
# 30 s in a virtual X display (Xvfb) and a sound server of their own, after a minute to settle;
# prints each sample, then the first, the last and the largest. Flat is the aim: nothing the live
# path keeps may grow with the time it has run.
#   usage: bench/listen_memory.sh [SECONDS, default 1200] [path/to/lumacore]
# FIGURES_SOUND_SERVER=pipewire runs it on PipeWire (through its own API, as listen chooses there).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-1200}
lumacore=${2:-$root/build/native/apps/lumacore/lumacore}
figures_name=listen_memory
# shellcheck source=bench/figures_common.sh
source "$root/bench/figures_common.sh"
require_tools Xvfb pactl paplay ffmpeg
require_built "$lumacore"
start_display
start_sound_server lumacore_bench

make_minute "$work/minute.wav"
# The music, over and over, for as long as the run.
(while :; do paplay "$work/minute.wav" 2>/dev/null || exit; done) &
children+=($!)
"$lumacore" listen --size 1920x1080 --rate 60 --duration $((seconds + 180)) 2>"$work/listen.log" &
listen=$!
children+=("$listen")

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
wait_for 15 "listen did not start" test -e "/proc/$listen/status"
sleep 60 # the window, the server's stream and the first pictures settle
samples=()
for ((elapsed = 0; elapsed <= seconds; elapsed += 30)); do
    kill -0 "$listen" 2>/dev/null || fail "listen ended early: $(cat "$work/listen.log")"
    samples+=("$(rss "$listen")")
    echo "after ${elapsed}s: ${samples[-1]} kB"
    [ "$elapsed" -lt "$seconds" ] && sleep 30
done
printf '%s\n' "${samples[@]}" | sort -n | tail -n 1 | {
    read -r largest
    echo "listen RSS over ${seconds}s (${FIGURES_SOUND_SERVER:-pulseaudio}): first ${samples[0]} kB, last ${samples[-1]} kB, largest $largest kB, grew $((samples[-1] - samples[0])) kB"
}
