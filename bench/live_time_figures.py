#!/usr/bin/python3
"""What bench/live_time_figures.sh reads from a run of `lumacore listen --mode 2d`:
  - from its timing log (LUMACORE_TIMING_LOG: presented-ns heard-seconds newest-call-seconds a
    line), the stream time (newest call, last minus first of the frames with a call drawn) over
    the wall time (presented, the same frames);
  - from its dumped picture, the blank columns among the NEWEST columns (the right-hand ones):
    the 2D history draws one column a call, and a column with no lit pixel above the banner
    (the top 91 %) drew a call of silence.
  usage: bench/live_time_figures.py TIMING PNG [NEWEST]"""

import math
import subprocess
import sys

FFMPEG = "ffmpeg"
HISTORY_FRACTION = 0.91  # the history above the banner strip


def stream_over_wall(lines):
    """(stream seconds, wall seconds, frames) over the frames with a call drawn; a line cut
    short (the log is read while written) or a frame before the first call is left out."""
    drawn = []
    for line in lines:
        fields = line.split()
        if len(fields) != 3:
            continue
        presented, newest = int(fields[0]), float(fields[2])
        if newest >= 0:
            drawn.append((presented, newest))
    if len(drawn) < 2:
        raise ValueError(f"{len(drawn)} frames with a call drawn")
    (first_ns, first_call), (last_ns, last_call) = drawn[0], drawn[-1]
    return last_call - first_call, (last_ns - first_ns) / 1e9, len(drawn)


def blank_columns(width, height, rgb, newest):
    """(blank columns, runs of them, the longest run) among the `newest` right-hand columns of
    a width x height picture of R, G, B bytes."""
    rows = math.trunc(HISTORY_FRACTION * height)
    first = max(0, width - newest)
    lit = [False] * (width - first)
    for y in range(rows):
        row = rgb[3 * y * width:3 * (y + 1) * width]
        for x in range(first, width):
            if not lit[x - first] and any(row[3 * x:3 * x + 3]):
                lit[x - first] = True
    blank = runs = longest = run = 0
    for on in lit:
        run = 0 if on else run + 1
        blank += run > 0
        runs += run == 1
        longest = max(longest, run)
    return blank, runs, longest


def read_png(path):
    """width, height and R, G, B bytes of a PNG file (decoded by ffmpeg)."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height", "-of", "csv=p=0", path],
                           capture_output=True, text=True, check=True)
    width, height = (int(v) for v in probe.stdout.strip().split(","))
    decoded = subprocess.run([FFMPEG, "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt",
                              "rgb24", "-"], capture_output=True, check=True)
    return width, height, decoded.stdout


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.split("\n")[-1].strip())
    timing, png = sys.argv[1], sys.argv[2]
    newest = int(sys.argv[3]) if len(sys.argv) > 3 else 600
    with open(timing) as log:
        stream, wall, frames = stream_over_wall(log)
    print(f"    stream time over wall time: {stream:.2f} s of calls in {wall:.2f} s = "
          f"{stream / wall:.2f}x ({frames} frames)")
    blank, runs, longest = blank_columns(*read_png(png), newest)
    print(f"    blank columns in the newest {newest}: {blank}, in {runs} runs (longest {longest})")


if __name__ == "__main__":
    main()
