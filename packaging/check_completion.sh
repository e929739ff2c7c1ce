#!/usr/bin/env bash
# check_completion.sh PROGRAM COMPLETION: the bash completion for lumacore, driven the way bash
# drives it (COMP_WORDS split as readline splits them, then the function), against a table of
# command lines and what they must offer; and, for each command, the options `PROGRAM COMMAND
# --help` prints against the ones completing "-" offers. One line per failure, exit 1.
set -uo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 PROGRAM COMPLETION" >&2
    exit 2
fi
program=$(realpath "$1") || exit 2
completion=$2
for library in /usr/share/bash-completion/bash_completion /etc/bash_completion; do
    [ -r "$library" ] && break
done
if [ ! -r "$library" ]; then
    echo "bash-completion is not installed" >&2
    exit 2
fi
# shellcheck source=/dev/null
source "$library"
# shellcheck source=/dev/null
source "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/music/sub"
touch "$work/music/a.flac" "$work/music/b.mp3" "$work/shot.png" "$work/notes.txt" "$work/cover.jpg"
# The program, except that `listen --list-sources` and `listen --list-apps` print fixed lists in
# the program's format (no sound server needed): "* " marks the default sink's monitor and the
# application --follow-player takes, tabs part the fields.
cat >"$work/lumacore" <<EOF
#!/bin/sh
if [ "\$1" = listen ] && [ "\$2" = --list-sources ]; then
    printf '* speakers.monitor\tMonitor of Speakers\n  usb-mic\tUSB Microphone\n'
    exit 0
fi
if [ "\$1" = listen ] && [ "\$2" = --list-apps ]; then
    printf '* Firefox\tfirefox-esr\t4242\tspeakers\tBand - Song\n  mpv\tmpv\t99\tspeakers\t-\n'
    exit 0
fi
exec "$program" "\$@"
EOF
chmod +x "$work/lumacore"
cd "$work" || exit 2

# What completing the last word of LINE offers, sorted, on one line. Words are split at spaces
# and around "=", as readline splits them.
offered() {
    local line=$1 word
    COMP_WORDS=()
    for word in $line; do
        while [[ $word == *=* ]]; do
            [ -n "${word%%=*}" ] && COMP_WORDS+=("${word%%=*}")
            COMP_WORDS+=("=")
            word=${word#*=}
        done
        [ -n "$word" ] && COMP_WORDS+=("$word")
    done
    [[ $line == *" " || $line == *= ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _lumacore "$work/lumacore" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]:-}"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//'
}

failures=0
expect() {
    local line=$1 wanted=$2 got
    got=$(offered "$line")
    if [ "$got" != "$wanted" ]; then
        echo "'$line' offers '$got', not '$wanted'"
        failures=$((failures + 1))
    fi
}

# line | what it must offer, sorted (folders without their "/", which bash adds on show); a
# line ending in a space before the "|" completes a new, empty word
while IFS='|' read -r line wanted; do
    [ -z "$line" ] && continue
    expect "${line% }" "${wanted# }"
done <<'TABLE'
lumacore  | analyse listen play render
lumacore --v | --version
lumacore pl | play
lumacore play --mod | --mode --module
lumacore play --module  | history scope vu
lumacore listen --mode  | 2d 3d
lumacore render --module=s | scope
lumacore render --quality b | balanced best
lumacore render --quality=f | fast
lumacore render --trans | --transparent
lumacore render --background c | cover cover.jpg
lumacore render --format  | mkv mov mp4 png webm
lumacore render a.flac --format=w | webm
lumacore render --jo | --jobs
lumacore render --jobs  |
lumacore render -r mus | music
lumacore render -o mus | music
lumacore analyse song.wav --output=no | notes.txt
lumacore play --frames s | shot.png
lumacore play --dump  | music shot.png
lumacore play music/ | music/a.flac music/b.mp3 music/sub
lumacore play --size  |
lumacore render --brightness  |
lumacore listen  |
lumacore listen --source  | speakers.monitor usb-mic
lumacore listen --source=u | usb-mic
lumacore listen --app  | Firefox mpv
lumacore listen --app=m | mpv
lumacore listen --sound-api p | pipewire pulse
lumacore listen --fifo mus | music
lumacore listen --fifo-format  |
lumacore listen --video  | auto wayland x11
lumacore play --layer b | background bottom
lumacore play --monitor  |
lumacore render --no | 
lumacore play --no | --no-sound
TABLE

# Every option a command's help prints is offered after "-", and nothing else.
for command in play listen render analyse; do
    wanted=$("$program" "$command" --help |
        awk '/^[A-Za-z]+:$/ { section = $0; next }
             section == "Options:" && /^  -/ { n = split($1, names, ","); for (i = 1; i <= n; i++) print names[i] }' |
        sort | tr '\n' ' ' | sed 's/ $//')
    expect "lumacore $command -" "$wanted"
done

if [ $failures -gt 0 ]; then
    exit 1
fi
echo "the completion offers what every command line in the table and every command's help want"
