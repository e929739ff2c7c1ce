#!/usr/bin/env bash
# Audacious with the Lumacore plug-in, on a private X display and sound server, from a private
# prefix whose Visualization folder holds only the module built here (Audacious takes its plug-in
# folder from its binary's place), with a private configuration and session bus.
#   bench/audacious_figures.sh [SECONDS]       Audacious's CPU playing a minute of music-like
#                                              sound without the plug-in, with its dock at
#                                              1280x720 (the 3D history), paused with it, and
#                                              playing a minute of silence with it
#   bench/audacious_figures.sh screenshot OUT  the README's picture: Audacious and the dock's 3D
#                                              history playing the demo tune
set -euo pipefail
cd "$(dirname "$0")/.."
figures_name=audacious_figures
source bench/figures_common.sh
require_tools audacious audtool Xvfb xdotool ffmpeg pactl dbus-daemon
cmake --preset native >/dev/null
cmake --build --preset native --target lumacore lumacore-audacious >/dev/null
module="$PWD/build/native/apps/audacious/lumacore-audacious.so"
lumacore="$PWD/build/native/apps/lumacore/lumacore"

# The private prefix: Audacious's binary beside links to the system's plug-in folders.
program=$(readlink -f "$(command -v audacious)")
system_prefix=$(dirname "$(dirname "$program")")
system_plugins=$(dirname "$(ls -d "$system_prefix"/lib/*/audacious/Output "$system_prefix"/lib/audacious/Output 2>/dev/null | head -n 1)")
[ -d "$system_plugins" ] || fail "Audacious's plug-in folder was not found beside $program"
prefix="$work/prefix"
plugins="$prefix/${system_plugins#"$system_prefix"/}"
mkdir -p "$prefix/bin" "$plugins/Visualization" "$prefix/share"
cp "$program" "$prefix/bin/audacious"
for folder in "$system_plugins"/*; do
    [ "$(basename "$folder")" = Visualization ] || ln -s "$folder" "$plugins/"
done
ln -s "$module" "$plugins/Visualization/lumacore-audacious.so"
ln -s "$system_prefix/share/audacious" "$prefix/share/audacious"

start_display
start_sound_server lumacore_figures
dbus-daemon --session --nofork --print-address=3 3>"$work/session-bus" 2>"$work/session-bus.log" &
children+=($!)
wait_for 15 "dbus-daemon did not start" test -s "$work/session-bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/session-bus")

# One run of Audacious playing FILE with the plug-in ENABLED (1 or 0) and the history in THREE_D
# (TRUE or FALSE), its configuration fresh. Sets audacious_pid.
start_audacious() {
    local file=$1 enabled=$2 three_d=$3
    local config="$work/config/audacious"
    rm -rf "$work/config" "$work/data" "$work/cache"
    mkdir -p "$config"
    printf 'format 11\nvis %s\nstamp %s\nversion 48\nflags 2\nname Lumacore\npriority 0\nabout 1\nconfig 1\nenabled %s\n' \
        "$plugins/Visualization/lumacore-audacious.so" "$(stat -L -c %Y "$module")" "$enabled" \
        >"$config/plugin-registry"
    # The interface's own little spectrum in its info area off, in every run alike.
    printf '[lumacore]\ndisplay=0\nthree_d=%s\nbrightness=100\n[qtui]\ninfoarea_show_vis=FALSE\n' \
        "$three_d" >"$config/config"
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
        "$prefix/bin/audacious" --qt "$file" 2>"$work/audacious.log" &
    audacious_pid=$!
    children+=("$audacious_pid")
    wait_for 30 "Audacious did not play $file" playing
}
playing() { [ "$(audtool playback-status)" = playing ]; }
paused() { [ "$(audtool playback-status)" = paused ]; }
picture_is() { [ "$(xdotool getwindowgeometry --shell "$(picture_window)" | grep -E '^(WIDTH|HEIGHT)=' | tr '\n' ' ')" = "WIDTH=$1 HEIGHT=$2 " ]; }
picture_window() { xdotool search --onlyvisible --name '^Lumacore picture$' | head -n 1; }
dock_at() { xdotool getwindowgeometry --shell "$(dock_window)" | grep -qx "Y=$1"; }
dock_window() { xdotool search --onlyvisible --name '^Lumacore$' | head -n 1; }

# Makes the dock's picture WIDTH x HEIGHT at X,Y, above the player's window.
place_dock() {
    local width=$1 height=$2 x=$3 y=$4
    wait_for 15 "the dock did not open" picture_window
    local dock picture
    dock=$(dock_window)
    picture=$(picture_window)
    eval "$(xdotool getwindowgeometry --shell "$dock" | sed 's/^/dock_/')"
    eval "$(xdotool getwindowgeometry --shell "$picture" | sed 's/^/picture_/')"
    xdotool windowsize "$dock" $((width + dock_WIDTH - picture_WIDTH)) \
        $((height + dock_HEIGHT - picture_HEIGHT)) windowmove "$dock" "$x" "$y" windowraise "$dock"
    wait_for 15 "the dock did not take ${width}x$height" picture_is "$width" "$height"
}

stop_audacious() {
    audtool shutdown || true
    local tries=100
    while kill -0 "$audacious_pid" 2>/dev/null && [ $((tries--)) -gt 0 ]; do sleep 0.05; done
    kill "$audacious_pid" 2>/dev/null || true
    wait "$audacious_pid" 2>/dev/null || true
}

if [ "${1:-}" = screenshot ]; then
    out=$(readlink -f "$2")
    "$lumacore" render -q --size 64x64 -o "$work/demo.mkv"
    ffmpeg -v error -y -i "$work/demo.mkv" -vn -metadata artist=Lumacore \
        -metadata title="Demo tune" -metadata album="Lumacore" -c:a flac "$work/demo.flac"
    start_audacious "$work/demo.flac" 1 TRUE
    main=$(xdotool search --onlyvisible --name 'Audacious$' | head -n 1)
    xdotool windowsize "$main" 800 300 windowmove "$main" 0 0
    place_dock 800 450 0 300
    wait_for 15 "the dock did not take its place" dock_at 300
    # Twenty seconds in: the history full and the banner shown (it comes every four seconds).
    until [ "$(audtool current-song-output-length-seconds)" -ge 20 ]; do sleep 0.2; done
    eval "$(xdotool getwindowgeometry --shell "$(dock_window)" | sed 's/^/dock_/')"
    ffmpeg -v error -y -f x11grab -video_size "800x$((dock_Y + dock_HEIGHT))" -i "$DISPLAY+0,0" \
        -frames:v 1 "$out"
    stop_audacious
    echo "$out"
    exit 0
fi

seconds=${1:-30}
make_minute "$work/minute.wav"
ffmpeg -v error -f lavfi -i anullsrc=r=44100:cl=stereo -t 60 "$work/silence.wav"
# CPU % of one core Audacious and then the X server (which copies each picture to the screen)
# spend over the next SECONDS (after five of the track, to settle).
cpu_over() {
    until [ "$(audtool current-song-output-length-seconds)" -ge 5 ] || ! playing; do sleep 0.2; done
    local player server
    player=$(cpu_of "$audacious_pid")
    server=$(cpu_of "$xvfb_pid")
    sleep "$seconds"
    awk -v a="$player" -v b="$(cpu_of "$audacious_pid")" -v c="$server" \
        -v d="$(cpu_of "$xvfb_pid")" -v s="$seconds" \
        'BEGIN { printf "%5.1f  %5.1f", 100 * (b - a) / s, 100 * (d - c) / s }'
}
start_audacious "$work/minute.wav" 0 TRUE
without=$(cpu_over)
stop_audacious
start_audacious "$work/minute.wav" 1 TRUE
place_dock 1280 720 0 0
with=$(cpu_over)
audtool playback-pause
wait_for 15 "Audacious did not pause" paused
pausedCpu=$(cpu_over)
stop_audacious
start_audacious "$work/silence.wav" 1 TRUE
place_dock 1280 720 0 0
silent=$(cpu_over)
stop_audacious
echo "Audacious playing a minute of music-like sound, $seconds s each, CPU % of one core"
echo "                                         Audacious   Xvfb"
echo "  without the plug-in:                   $without"
echo "  with the dock's 3D history, 1280x720:  $with"
echo "  the same, paused:                      $pausedCpu"
echo "  the same playing silence:              $silent"
