#!/usr/bin/env bash
# How long `lumacore render` takes for an album: ten tracks (the demo tune and nine of generated
# music, 20 to 28 s each, about four minutes in all) rendered to MP4 one after another, one
# program run per track, against the same tracks as one batch, one at a time (--jobs 1) and two
# at a time (--jobs 2), in the same run, in turns: wall and CPU seconds of each round, then each
# way's medians and the ratio of its wall time to the one-by-one time. All rounds are timed under
# `flock /tmp/lumacore-bench.lock`, so that benchmarks on the machine take turns; the batches'
# videos are checked to hold as many frames as the one-by-one ones.
#   usage: bench/batch_figures.sh [path/to/lumacore]
#   BATCH_SIZE (default 1280x720) and BATCH_FPS (default 60) set the picture, BATCH_ROUNDS
#   (default 3) how often each way is timed; the medians are compared.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lumacore=${1:-$root/build/native/apps/lumacore/lumacore}
size=${BATCH_SIZE:-1280x720}
fps=${BATCH_FPS:-60}
rounds=${BATCH_ROUNDS:-3}
lock=/tmp/lumacore-bench.lock
figures_name=batch_figures
# shellcheck source=bench/figures_common.sh
source "$root/bench/figures_common.sh"
require_tools ffmpeg ffprobe flock awk
require_built "$lumacore"

# The tracks: the demo tune, taken from a render's sound track, and nine pieces of a bass, a
# wandering melody and pink noise, each with its own pitches and length.
mkdir "$work/album"
"$lumacore" render -q --size 16x16 --fps 1 -o "$work/demo.mkv"
ffmpeg -nostdin -v error -i "$work/demo.mkv" -vn -c:a flac "$work/album/01 demo tune.flac"
for i in 2 3 4 5 6 7 8 9 10; do
    seconds=$((18 + i))
    bass=$((40 + 15 * i))
    melody=$((300 + 70 * i))
    ffmpeg -nostdin -v error -filter_complex \
        "sine=frequency=$bass:duration=$seconds,volume=0.5[a];aevalsrc=0.2*sin(2*PI*($melody+$melody/3*sin(2*PI*t/($i/2)))*t):d=${seconds}[b];anoisesrc=d=$seconds:c=pink:a=0.06[c];[a][b][c]amix=inputs=3" \
        -ar 44100 -ac 2 "$work/album/$(printf '%02d' "$i") generated.flac"
done
mapfile -t tracks < <(find "$work/album" -type f | sort)
[ ${#tracks[@]} -eq 10 ] || fail "made ${#tracks[@]} tracks, not 10"
total=$(for track in "${tracks[@]}"; do
    ffprobe -v error -show_entries format=duration -of csv=p=0 "$track"
done | awk '{ s += $1 } END { printf "%.1f", s }')

one_by_one() {
    local track
    for track in "${tracks[@]}"; do
        "$lumacore" render "$track" -q --size "$size" --fps "$fps" \
            -o "$work/one/$(basename "${track%.*}").mp4"
    done
}

# Renders the tracks the way WAY says ("one" or a number of jobs) and prints its CPU and wall
# seconds.
render_way() {
    if [ "$1" = one ]; then
        mkdir -p "$work/one"
        cpu_and_wall one_by_one
    else
        cpu_and_wall "$lumacore" render "$work/album" -q --jobs "$1" --size "$size" --fps "$fps" \
            -o "$work/batch-$1/"
    fi
}

way_name() {
    if [ "$1" = one ]; then echo "one program run per track"; else echo "one batch, --jobs $1"; fi
}

# The frame count of every video in FOLDER, one line each, by name.
frame_counts() {
    local video
    for video in "$1"/*.mp4; do
        printf '%s %s\n' "$(basename "$video")" "$(ffprobe -v error -select_streams v:0 \
            -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$video")"
    done
}

echo "ten tracks, $total s of sound, to MP4 at $size, $fps frames/s; $(nproc) cores;" \
    "$rounds rounds, the ways in turn; load before: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo
echo "| round | way | wall s | CPU s |"
echo "|---:|---|---:|---:|"
# The rounds take the lock together, so that every way is timed under the same conditions; each
# round starts with another way, so that none always comes first.
exec 9>"$lock"
flock 9
ways=(one 1 2)
declare -A walls cpus
for ((round = 1; round <= rounds; round++)); do
    for ((k = 0; k < ${#ways[@]}; k++)); do
        way=${ways[(k + round - 1) % ${#ways[@]}]}
        read -r cpu wall <<<"$(render_way "$way")"
        walls[$way]+="$wall "
        cpus[$way]+="$cpu "
        printf '| %d | %s | %.2f | %.2f |\n' "$round" "$(way_name "$way")" "$wall" "$cpu"
    done
done
flock -u 9
for jobs in 1 2; do
    [ "$(frame_counts "$work/batch-$jobs")" = "$(frame_counts "$work/one")" ] ||
        fail "the batch with --jobs $jobs made other videos than the runs one by one"
done

median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo
echo "| way | median wall s | median CPU s | wall against one by one |"
echo "|---|---:|---:|---:|"
one_wall=$(median <<<"${walls[one]}")
for way in "${ways[@]}"; do
    wall=$(median <<<"${walls[$way]}")
    printf '| %s | %.2f | %.2f | %.2f |\n' "$(way_name "$way")" "$wall" \
        "$(median <<<"${cpus[$way]}")" "$(awk -v a="$wall" -v b="$one_wall" 'BEGIN { print a / b }')"
done
