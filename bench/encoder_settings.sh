#!/usr/bin/env bash
# The encoder table: how fast each x264 and VP9 setting encodes Lumacore's pictures, how big the
# file gets and how close it stays to a lossless reference (SSIM).
#
# For the demo tune and, when given, INPUT (a slice of SLICE seconds of each, from DEMO_START and
# INPUT_START seconds), at each size of SIZES at 60 frames/s:
#  1. `lumacore render ... -o -` gives raw RGBA pictures; FFmpeg's swscale turns them into
#     yuv420p, BT.709, limited range, bilinear, as `lumacore render` does, into a .y4m file: the
#     lossless reference, made once (reading it back costs the encoders almost nothing);
#  2. each candidate encodes the reference with 2 encoder threads, timed (wall and CPU seconds)
#     under `flock /tmp/lumacore-bench.lock`;
#  3. FFmpeg's ssim filter compares the result with the reference (the "All" value).
# Then it prints one markdown table per input and size, and for x264 and for VP9 the settings
# whose SSIM is at least today's default's (x264 veryfast crf 20 without look-ahead or B-frames;
# VP9 cpu-used 8 crf 32) on every input and size, cheapest first.
#
#   usage: bench/encoder_settings.sh [INPUT]
#   environment: LUMACORE (the program, default build/native/apps/lumacore/lumacore),
#     SLICE (seconds, default 6), DEMO_START (default 10), INPUT_START (default 30),
#     SIZES (default "1280x720 1920x1080"), CANDIDATES (a list replacing the default one, words
#     such as x264:veryfast:20:nola, x264:fast:20:la, x264:faster:20:anim, vp9:8:32),
#     RESULTS (also write every measurement to this tab-separated file).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lumacore=${LUMACORE:-$root/build/native/apps/lumacore/lumacore}
input=${1:-}
slice=${SLICE:-6}
sizes=${SIZES:-1280x720 1920x1080}
lock=/tmp/lumacore-bench.lock
no_lookahead=rc-lookahead=0:bframes=0:sync-lookahead=0

fail() {
    echo "encoder_settings: $*" >&2
    exit 1
}
[ -x "$lumacore" ] || fail "$lumacore is not built"
for tool in ffmpeg flock /usr/bin/time awk bc; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
[ -z "$input" ] || [ -r "$input" ] || fail "cannot read '$input'"

# The default candidates, kept to what two shared cores measure in half an hour: the x264
# presets from ultrafast to medium without look-ahead or B-frames (nola, as `lumacore render`
# encodes), each at the CRFs around where it matches today's default; veryfast with x264's own
# look-ahead and B-frames (la) and tuned for animation (anim, still without look-ahead); VP9 at
# real-time speeds 5 to 8.
default_candidates() {
    echo x264:ultrafast:16:nola x264:ultrafast:18:nola x264:ultrafast:20:nola x264:ultrafast:23:nola
    echo x264:ultrafast:26:nola
    echo x264:superfast:16:nola x264:superfast:18:nola x264:superfast:20:nola
    echo x264:veryfast:18:nola x264:veryfast:20:nola x264:veryfast:23:nola
    echo x264:faster:18:nola x264:faster:20:nola x264:faster:23:nola
    echo x264:fast:20:nola x264:fast:23:nola x264:medium:20:nola x264:medium:23:nola
    echo x264:veryfast:20:la x264:veryfast:20:anim
    echo vp9:5:28 vp9:6:28 vp9:7:28 vp9:8:28 vp9:6:32 vp9:7:32 vp9:8:32 vp9:6:24 vp9:8:24 vp9:8:36
}
candidates=${CANDIDATES:-$(default_candidates | tr '\n' ' ')}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
results=$work/results.tsv
: >"$results"

# The lossless reference for one input and size into FILE.
make_reference() {
    local file=$1 size=$2 start=$3
    shift 3 # the rest: the input, if any
    "$lumacore" render "$@" --start "$start" --duration "$slice" --size "$size" --fps 60 \
        -q -o - |
        ffmpeg -nostdin -v error -f rawvideo -pix_fmt rgba -s "$size" -r 60 -i - \
            -vf "scale=out_color_matrix=bt709:out_range=tv:flags=bilinear,format=yuv420p" \
            -f yuv4mpegpipe -strict -1 -y "$file" ||
        fail "cannot make the reference for ${*:-the demo tune} at $size"
}

# The encoder's options and the file's extension for one candidate word.
encoder_options() {
    local codec setting crf variant
    IFS=: read -r codec setting crf variant <<<"$1"
    case "$codec:${variant:-}" in
    x264:nola) echo "mp4 -c:v libx264 -preset $setting -crf $crf -x264-params $no_lookahead" ;;
    x264:la) echo "mp4 -c:v libx264 -preset $setting -crf $crf" ;;
    x264:anim) echo "mp4 -c:v libx264 -preset $setting -tune animation -crf $crf -x264-params $no_lookahead" ;;
    vp9:) echo "webm -c:v libvpx-vp9 -deadline realtime -cpu-used $setting -row-mt 1 -crf $crf -b:v 0" ;;
    *) fail "unknown candidate '$1'" ;;
    esac
}

# Encodes the reference with one candidate and appends its figures to the results.
measure() {
    local label=$1 reference=$2 candidate=$3 options extension output times ssim
    options=$(encoder_options "$candidate")
    extension=${options%% *}
    output=$work/encoded.$extension
    # shellcheck disable=SC2086 # the options are words
    flock "$lock" /usr/bin/time -f '%e %U %S' -o "$work/time" \
        ffmpeg -nostdin -v error -i "$reference" -an ${options#* } -threads 2 \
        -color_range tv -colorspace bt709 -color_primaries bt709 -color_trc bt709 \
        -y "$output" || fail "$candidate failed on $label"
    times=$(tail -n 1 "$work/time")
    # Both sides are numbered frame by frame first: WebM keeps times in whole milliseconds, and
    # pairing frames by those rounded times would compare neighbours.
    ssim=$(ffmpeg -nostdin -v info -i "$output" -i "$reference" \
        -lavfi "[0:v]settb=1/60,setpts=N[a];[1:v]settb=1/60,setpts=N[b];[a][b]ssim" -f null - 2>&1 |
        sed -n 's/.*SSIM.* All:\([0-9.]*\) (\([0-9.inf]*\)).*/\1 \2/p')
    [ -n "$ssim" ] || fail "no SSIM for $candidate on $label"
    read -r wall user system <<<"$times"
    read -r all decibels <<<"$ssim"
    printf '%s\t%s\t%s\t%.2f\t%s\t%s\t%s\n' "$label" "$candidate" "$wall" \
        "$(echo "$user + $system" | bc -l)" "$(stat -c %s "$output")" "$all" "$decibels" \
        >>"$results"
    rm -f "$output"
}

run_input() {
    local name=$1 start=$2 size label reference candidate
    shift 2
    for size in $sizes; do
        label="$name $size"
        reference=$work/reference.y4m
        echo "encoder_settings: $label: making the reference" >&2
        make_reference "$reference" "$size" "$start" "$@"
        for candidate in $candidates; do
            echo "encoder_settings: $label: $candidate" >&2
            measure "$label" "$reference" "$candidate"
        done
        rm -f "$reference"
    done
}

started=$(date +%s)
run_input "demo tune" "${DEMO_START:-10}"
[ -z "$input" ] || run_input "$(basename "$input")" "${INPUT_START:-30}" "$input"
[ -z "${RESULTS:-}" ] || cp "$results" "$RESULTS"

frames=$((slice * 60))
# One table per input and size.
awk -F'\t' -v frames="$frames" -v slice="$slice" '
    $1 != shown {
        shown = $1
        printf "\n### %s, %d s (%d frames)\n\n", $1, slice, frames
        print "| encoder | setting | crf | options | wall s | CPU s | frames/s (wall) | kbit/s | SSIM (All) | SSIM dB |"
        print "|---|---|---:|---|---:|---:|---:|---:|---:|---:|"
    }
    {
        split($2, c, ":")
        options = c[1] == "vp9" ? "realtime, row-mt" : c[4] == "nola" ? "no look-ahead, no B" : c[4] == "la" ? "look-ahead, B-frames" : "tune animation, no look-ahead"
        setting = c[1] == "vp9" ? "cpu-used " c[2] : c[2]
        printf "| %s | %s | %s | %s | %.2f | %.2f | %.1f | %.0f | %.5f | %.2f |\n", c[1], setting, c[3], options,
            $3, $4, frames / $3, $5 * 8 / slice / 1000, $6, $7
    }' "$results"

# For each codec, the settings at least as close as today's default on every input and size,
# by CPU seconds summed over them.
awk -F'\t' '
    { key = $1 SUBSEP $2; ssim[key] = $6; cpu[$2] += $4; wall[$2] += $3; labels[$1] = 1; seen[$2] = 1 }
    END {
        split("x264:veryfast:20:nola vp9:8:32", base, " ")
        for (b = 1; b <= 2; ++b) {
            codec = substr(base[b], 1, index(base[b], ":") - 1)
            printf "\n### %s: at least the SSIM of %s on every input and size, cheapest first\n\n", codec, base[b]
            print "| candidate | CPU s (sum) | wall s (sum) | worst SSIM margin |"
            print "|---|---:|---:|---:|"
            n = 0
            for (c in seen) {
                if (index(c, codec ":") != 1) continue
                ok = 1; margin = 1
                for (l in labels) {
                    if (!((l SUBSEP base[b]) in ssim) || !((l SUBSEP c) in ssim)) { ok = 0; break }
                    d = ssim[l SUBSEP c] - ssim[l SUBSEP base[b]]
                    if (d < 0) { ok = 0; break }
                    if (d < margin) margin = d
                }
                if (ok) { n++; name[n] = c; cost[n] = cpu[c]; least[c] = margin }
            }
            for (i = 1; i <= n; ++i)
                for (j = i + 1; j <= n; ++j)
                    if (cost[j] < cost[i]) { t = cost[i]; cost[i] = cost[j]; cost[j] = t; t = name[i]; name[i] = name[j]; name[j] = t }
            for (i = 1; i <= n; ++i)
                printf "| %s | %.2f | %.2f | %+.5f |\n", name[i], cpu[name[i]], wall[name[i]], least[name[i]]
        }
    }' "$results"
echo
echo "encoder_settings: $(($(date +%s) - started)) s" >&2
