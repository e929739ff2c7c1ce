#!/usr/bin/env bash
# What `lumacore listen` costs on the desktop, at 1920x1080 and 60 calls/s with music playing:
# resident memory and CPU in a window on X11 (Xvfb) and as a native Wayland client (headless
# sway, no X11), and the wallpaper's CPU on one and on two 1920x1080 outputs. Each run settles
# for 10 s, then its CPU is taken over SECONDS and its resident set at the end.
#   usage: bench/desktop_figures.sh [SECONDS, default 30] [path/to/lumacore]
#          bench/desktop_figures.sh screenshot FILE.png [path/to/lumacore]
# The screenshot: the wallpaper (the demo tune) behind a terminal window on a 1280x720 output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
figures_name=desktop_figures
# shellcheck source=bench/figures_common.sh
source "$root/bench/figures_common.sh"

if [ "${1:-}" = screenshot ]; then
    out=$(realpath -m "$2")
    lumacore=${3:-$root/build/native/apps/lumacore/lumacore}
    require_tools grim foot
    require_built "$lumacore"
    start_compositor 1 'for_window [app_id="foot"] floating enable, resize set 560 220, move position 680 50'
    swaymsg output HEADLESS-1 resolution 1280x720 >/dev/null
    export LUMACORE_TIMING_LOG="$work/timing.log" XDG_CONFIG_HOME="$work/config"
    "$lumacore" play --wallpaper --no-sound --mode 3d --duration 60 </dev/null 2>"$work/play.log" &
    children+=($!)
    foot --font=monospace:size=12 sh -c "printf '$ lumacore play --wallpaper\\n'; sleep 120" \
        2>"$work/foot.log" &
    children+=($!)
    # Twelve seconds of the tune drawn: the history full of it.
    wait_for 60 "the wallpaper drew too little: $(cat "$work/play.log")" \
        awk 'END { exit !($2 >= 12) }' "$work/timing.log"
    grim "$out"
    echo "$out"
    exit 0
fi

seconds=${1:-30}
lumacore=${2:-$root/build/native/apps/lumacore/lumacore}
require_tools Xvfb pactl paplay ffmpeg
require_built "$lumacore"
start_sound_server lumacore_bench
make_minute "$work/minute.wav"
(while :; do paplay "$work/minute.wav" 2>/dev/null || exit; done) &
children+=($!)
export XDG_CONFIG_HOME="$work/config"

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# LABEL ARGS...: one listen run measured.
measure() {
    local label=$1
    shift
    "$lumacore" listen --rate 60 --duration $((seconds + 30)) "$@" </dev/null \
        2>"$work/listen.log" &
    local listen=$!
    sleep 10 # the stream, the window and the first pictures settle
    kill -0 "$listen" 2>/dev/null || fail "$label: listen ended early: $(cat "$work/listen.log")"
    local before after
    before=$(cpu_of "$listen")
    sleep "$seconds"
    after=$(cpu_of "$listen")
    printf '%-34s CPU %5.1f %% of one core, RSS %6d kB\n' "$label" \
        "$(echo "($after - $before) * 100 / $seconds" | bc -l)" "$(rss "$listen")"
    kill "$listen"
    wait "$listen" 2>/dev/null || true
}

start_display
measure "window, X11" --size 1920x1080
measure "wallpaper, X11" --wallpaper
start_compositor 1 "output HEADLESS-2 resolution 1920x1080 position 1920,0"
measure "window, Wayland" --size 1920x1080 --video wayland
measure "wallpaper, Wayland, 1 output" --wallpaper
swaymsg create_output >/dev/null
wait_for 15 "sway did not make a second output" outputs_are 2
measure "wallpaper, Wayland, 2 outputs" --wallpaper
swaymsg output HEADLESS-2 disable >/dev/null
measure "wallpaper, Wayland, 2 outputs, one off" --wallpaper
