"""The measuring parts of bench/live_time_figures.sh: what it reads from listen's timing log and
picture (bench/live_time_figures.py) and the sound its pipe source is fed (bench/burst_writer.py).
A figure is only as good as these: a miscounted column or a writer that sends too much or too
early would put a fault of the bench on the program."""

import array
import math
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

BENCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench")
sys.path.insert(0, BENCH)
import live_time_figures as figures  # noqa: E402


def picture(width, height, lit):
    """R, G, B bytes of a black picture with the pixels `lit` {(x, y): (r, g, b)}."""
    rgb = bytearray(3 * width * height)
    for (x, y), colour in lit.items():
        rgb[3 * (y * width + x):3 * (y * width + x) + 3] = bytes(colour)
    return bytes(rgb)


class ColumnsAndClock(unittest.TestCase):
    # what, width, height (rows 0..17 of 20 lie above the banner), newest, lit pixels,
    # (blank, runs, longest)
    COLUMNS = (
        ("all dark", 10, 20, 6, {}, (6, 1, 6)),
        ("one faint pixel lights its column", 10, 20, 6, {(9, 0): (0, 0, 1)}, (5, 1, 5)),
        ("the last row above the banner counts", 10, 20, 6, {(9, 17): (1, 0, 0)}, (5, 1, 5)),
        ("the banner's rows do not", 10, 20, 6, {(9, 18): (255, 255, 255)}, (6, 1, 6)),
        ("columns older than the newest are left out", 10, 20, 6,
         {(x, 3): (9, 9, 9) for x in range(4)}, (6, 1, 6)),
        ("gaps between lit columns are runs", 10, 20, 6,
         {(5, 0): (0, 9, 0), (7, 4): (0, 9, 0), (8, 9): (0, 9, 0)}, (3, 3, 1)),
        ("a picture narrower than the newest", 4, 20, 6, {(1, 2): (9, 0, 0)}, (3, 2, 2)),
    )

    # what, timing log, (stream seconds, wall seconds, frames)
    CLOCK = (
        ("steady", "1000000000 0.1 0.5\n1500000000 0.6 1.0\n2000000000 1.1 1.5\n",
         (1.0, 1.0, 3)),
        ("faster than the wall", "0 0 0\n1000000000 1.76 1.76\n", (1.76, 1.0, 2)),
        ("frames before the first call are left out",
         "0 0 -0.016667\n500000000 0 -0.016667\n1000000000 0 0\n3000000000 1 1\n",
         (1.0, 2.0, 2)),
        ("a line cut short is left out", "0 0 0\n1000000000 1 1\n2000000000 1.5", (1.0, 1.0, 2)),
    )

    def test_blank_columns(self):
        for what, width, height, newest, lit, expected in self.COLUMNS:
            with self.subTest(what):
                self.assertEqual(figures.blank_columns(width, height, picture(width, height, lit),
                                                       newest), expected)

    def test_stream_over_wall(self):
        for what, log, expected in self.CLOCK:
            with self.subTest(what):
                stream, wall, frames = figures.stream_over_wall(log.splitlines())
                self.assertAlmostEqual(stream, expected[0], places=9)
                self.assertAlmostEqual(wall, expected[1], places=9)
                self.assertEqual(frames, expected[2])
        with self.assertRaises(ValueError):
            figures.stream_over_wall(["0 0 -0.016667", "1000000000 0 0"])

    def test_png_read_back(self):
        if shutil.which("ffmpeg") is None or shutil.which("ffprobe") is None:
            self.skipTest("ffmpeg is not installed")
        width, height = 7, 5
        rgb = bytes(range(3 * width * height))
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "picture.png")
            subprocess.run(["ffmpeg", "-v", "error", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                            f"{width}x{height}", "-i", "-", path], input=rgb, check=True)
            self.assertEqual(figures.read_png(path), (width, height, rgb))


class BurstWriter(unittest.TestCase):
    RATE = 44100

    def test_bursts_are_one_steady_tone_sent_when_due(self):
        # burst seconds, period, frequency, bursts
        for burst, period, frequency, count in ((0.02, 0.2, 997.0, 3), (0.2, 0.2, 443.0, 2)):
            with self.subTest(burst=burst, period=period):
                launched = time.monotonic()
                arrivals, data = self.run_writer(burst, period, frequency, count)
                samples = array.array("f")
                samples.frombytes(data)
                if sys.byteorder != "little":
                    samples.byteswap()
                frames = round(burst * self.RATE)
                self.assertEqual(len(samples), 2 * frames * count)
                step = 2 * math.pi * frequency / self.RATE
                for n in range(frames * count):  # no phase jump where a burst starts
                    expected = 0.5 * math.sin(step * n)
                    self.assertAlmostEqual(samples[2 * n], expected, places=6, msg=f"frame {n}")
                    self.assertEqual(samples[2 * n + 1], samples[2 * n], f"frame {n}")
                # The last burst is not sent before it is due, counted from before the writer
                # started (how late it comes is the machine's).
                last = next(t for t, total in arrivals if total > (count - 1) * frames * 8)
                self.assertGreaterEqual(last - launched, (count - 1) * period)

    def run_writer(self, burst, period, frequency, count):
        """What the writer sends into a FIFO: [(monotonic time, bytes so far)] and the bytes."""
        with tempfile.TemporaryDirectory() as folder:
            fifo = os.path.join(folder, "burst.fifo")
            os.mkfifo(fifo)
            reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)  # the writer's open then succeeds
            writer = subprocess.Popen([sys.executable, os.path.join(BENCH, "burst_writer.py"),
                                       fifo, str(burst), str(period), str(frequency), str(count)])
            data, arrivals = bytearray(), []
            deadline = time.monotonic() + 30
            try:
                while time.monotonic() < deadline:
                    if not select.select([reader], [], [], 0.1)[0]:
                        continue
                    chunk = os.read(reader, 1 << 20)
                    if not chunk:  # the writer closed its end
                        break
                    data += chunk
                    arrivals.append((time.monotonic(), len(data)))
                else:
                    self.fail("the writer did not finish within 30 s")
                self.assertEqual(writer.wait(10), 0)
            finally:
                writer.kill()
                writer.wait()
                os.close(reader)
        return arrivals, bytes(data)


if __name__ == "__main__":
    unittest.main()
