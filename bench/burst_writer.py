#!/usr/bin/python3
"""Feeds a sound server's pipe source (module-pipe-source, float32le stereo) a steady tone that
arrives in bursts: BURST seconds of it every PERIOD seconds of wall time, each burst written at
once when the monotonic clock says it is due. With BURST equal to PERIOD the source delivers
exactly as much sound as time passes, only not evenly. Runs until it is ended (SIGTERM or
SIGINT) or, with COUNT, after COUNT bursts.
  usage: bench/burst_writer.py FIFO [BURST [PERIOD [FREQUENCY [COUNT]]]]"""

import array
import fcntl
import math
import os
import signal
import sys
import time

RATE = 44100
AMPLITUDE = 0.5


def tone(first, count, frequency):
    """Frames first .. first + count of the tone, both channels, as float32 bytes."""
    step = 2 * math.pi * frequency / RATE
    samples = array.array("f", bytes(8 * count))
    for n in range(count):
        samples[2 * n] = samples[2 * n + 1] = AMPLITUDE * math.sin(step * (first + n))
    if sys.byteorder != "little":
        samples.byteswap()
    return samples.tobytes()


def main():
    arguments = sys.argv[1:]
    if not 1 <= len(arguments) <= 5:
        sys.exit(__doc__.split("\n")[-1].strip())
    fifo = arguments[0]
    burst = float(arguments[1]) if len(arguments) > 1 else 0.3
    period = float(arguments[2]) if len(arguments) > 2 else burst
    frequency = float(arguments[3]) if len(arguments) > 3 else 440.0
    count = int(arguments[4]) if len(arguments) > 4 else None
    burst_frames = round(burst * RATE)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    # The source keeps the pipe open for reading, so this open does not wait. A pipe that holds
    # a whole burst takes it in one write, however late the server reads it.
    out = os.open(fifo, os.O_WRONLY)
    try:
        fcntl.fcntl(out, fcntl.F_SETPIPE_SZ, 1 << 20)
    except OSError:
        pass  # a smaller pipe: the burst goes in as fast as the server reads
    start = time.monotonic()
    made = 0
    try:
        while count is None or made < count:
            data = tone(made * burst_frames, burst_frames, frequency)  # made before it is due
            wait = start + made * period - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            view = memoryview(data)
            while view:
                view = view[os.write(out, view):]
            made += 1
    except (KeyboardInterrupt, BrokenPipeError):
        pass
    finally:
        os.close(out)


if __name__ == "__main__":
    main()
