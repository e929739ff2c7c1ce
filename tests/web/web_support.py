"""What the page's tests and figures share: the static site served from a free port, a headless
Chromium driven through Debian's chromedriver, the page's contract (its state, its canvas), the
native program's pictures, WAV files, and polling with a deadline."""

import base64
import functools
import http.server
import importlib.util
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import wave

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
WEB_ROOT = os.environ.get("LUMACORE_WEB_ROOT", os.path.join(ROOT, "build", "web"))
PROGRAM = os.environ.get(
    "LUMACORE_PROGRAM", os.path.join(ROOT, "build", "native", "apps", "lumacore", "lumacore"))
CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"
FFMPEG = shutil.which("ffmpeg") or "/usr/bin/ffmpeg"
BANNER_FRACTION = 0.09  # the history's banner strip: the bottom 9 % of the picture
FILES = "/files/"       # where a server's scratch folder appears


def missing(native=True):
    """Why the page cannot be tested here (with the native program, if `native`), or None."""
    needed = [(CHROMIUM, "chromium"), (DRIVER, "chromium-driver"),
              (os.path.join(WEB_ROOT, "lumacore.wasm"), "the page (apps/web/build.sh)")]
    if native:
        needed += [(PROGRAM, "the native lumacore"), (FFMPEG, "ffmpeg")]
    for path, what in needed:
        if not os.path.exists(path):
            return f"{what} is missing: {path}"
    if importlib.util.find_spec("selenium") is None:
        return "python3-selenium is not installed"
    return None


def poll(condition, seconds, description):
    """condition()'s first true value within `seconds`; fails with `description` otherwise (a
    string, or a function giving one, asked at the failure)."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            said = description() if callable(description) else description
            raise AssertionError(f"not within {seconds} s: {said}")
        time.sleep(0.05)


class Server:
    """The site over plain HTTP on 127.0.0.1 at a free port, and a scratch folder under /files/."""

    def __init__(self):
        self.scratch = tempfile.mkdtemp(prefix="lumacore-web-")

        class Handler(http.server.SimpleHTTPRequestHandler):
            def translate_path(handler, path):
                clean = urllib.parse.unquote(urllib.parse.urlsplit(path).path)
                if clean.startswith(FILES):
                    return os.path.join(self.scratch, os.path.basename(clean))
                return super().translate_path(path)

            def log_message(handler, *args):
                pass

        self.http = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Handler, directory=WEB_ROOT))
        self.address = f"http://127.0.0.1:{self.http.server_address[1]}/"
        self.thread = threading.Thread(target=self.http.serve_forever, daemon=True)
        self.thread.start()

    def file(self, name):
        return os.path.join(self.scratch, name)

    def close(self):
        self.http.shutdown()
        self.http.server_close()
        self.thread.join()
        shutil.rmtree(self.scratch, ignore_errors=True)


class Page:
    """One headless Chromium showing the page; its contract read through WebDriver."""

    def __init__(self, server, width=1280, height=800, arguments=()):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ("--headless=new", "--no-sandbox", f"--window-size={width},{height}",
                         "--autoplay-policy=no-user-gesture-required", *arguments):
            options.add_argument(argument)
        self.server = server
        self.driver = webdriver.Chrome(service=Service(DRIVER), options=options)

    def open(self, query=""):
        self.driver.get(self.server.address + ("?" + query if query else ""))
        return self.wait_until_not("loading")

    def close(self):
        self.driver.quit()

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def state(self):
        return self.js("return document.documentElement.dataset.state || ''")

    def field(self, name):
        return self.js(f"return window.lumacorePage ? window.lumacorePage.{name} : undefined")

    def message(self):
        return self.js("return document.getElementById('message').textContent")

    def element(self, selector):
        from selenium.webdriver.common.by import By
        return self.driver.find_element(By.CSS_SELECTOR, selector)

    def wait_until_not(self, state, seconds=30):
        return poll(lambda: self.state() not in ("", state) and self.state(), seconds,
                    lambda: f"the page leaves state {state!r} (it is {self.state()!r})")

    def wait_for(self, states, seconds=60):
        return poll(lambda: self.state() in states and self.state(), seconds,
                    lambda: f"the page reaches {states} (it is {self.state()!r}, message "
                    f"{self.message()!r})")

    def playing_past(self, seconds, deadline=60):
        """Waits until the page plays and has been heard past `seconds`."""
        poll(lambda: self.state() == "playing" and (self.field("time") or 0) > seconds, deadline,
             lambda: f"the page plays past {seconds} s (state {self.state()!r}, time "
             f"{self.field('time')!r}, message {self.message()!r})")

    def picture(self):
        """The canvas's pixels as a Picture."""
        width, height, data = self.js("""
            const canvas = document.getElementById('picture');
            const { width, height } = canvas;
            const bytes = canvas.getContext('2d').getImageData(0, 0, width, height).data;
            let text = '';
            for (let i = 0; i < bytes.length; i += 0x8000)
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
            return [width, height, btoa(text)];""")
        return Picture(width, height, base64.b64decode(data))


class Picture:
    """R, G, B, A bytes, row after row."""

    def __init__(self, width, height, rgba):
        assert len(rgba) == 4 * width * height, f"{len(rgba)} bytes for {width}x{height}"
        self.width, self.height, self.rgba = width, height, rgba

    def brightness(self, x, y):
        """The brightest channel: every colour of the palette has one at full scale."""
        offset = 4 * (y * self.width + x)
        return max(self.rgba[offset:offset + 3])

    def differences(self, other, rows):
        """Pixels (RGB) of `rows` that differ, and a description of the first."""
        if (self.width, self.height) != (other.width, other.height):
            return 1, f"{self.width}x{self.height} against {other.width}x{other.height}"
        count, first = 0, ""
        for y in rows:
            start = 4 * y * self.width
            end = start + 4 * self.width
            mine, theirs = self.rgba[start:end], other.rgba[start:end]
            if mine == theirs:
                continue
            for x in range(self.width):
                a, b = mine[4 * x:4 * x + 3], theirs[4 * x:4 * x + 3]
                if a != b:
                    count += 1
                    first = first or f"first at ({x}, {y}): {tuple(a)} against {tuple(b)}"
        return count, first


def banner_top(height):
    """The first row of the history's banner strip."""
    return math.trunc((1 - BANNER_FRACTION) * height)


def lumacore(*arguments):
    """Runs the native program; its standard output."""
    run = subprocess.run([PROGRAM, *arguments], capture_output=True)
    if run.returncode != 0:
        raise AssertionError(f"lumacore {' '.join(arguments)}: {run.stderr.decode().strip()}")
    return run.stdout


def render(width, height, *arguments):
    """The still `lumacore render ARGUMENTS -o still.png` writes, a width x height Picture (read
    back with ffmpeg)."""
    with tempfile.TemporaryDirectory() as folder:
        still = os.path.join(folder, "still.png")
        lumacore("render", *arguments, "-q", "-o", still)
        decoded = subprocess.run([FFMPEG, "-v", "error", "-i", still, "-f", "rawvideo", "-pix_fmt",
                                  "rgba", "-"], capture_output=True, check=True)
    return Picture(width, height, decoded.stdout)


def write_wav(path, seconds, formula, rate=44100):
    """16-bit stereo WAV whose frame n is formula(n / rate) on both channels (clipped to +-1)."""
    frames = bytearray()
    for n in range(int(seconds * rate)):
        value = max(-32767, min(32767, round(32767 * formula(n / rate))))
        frames += struct.pack("<hh", value, value)
    with wave.open(path, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(bytes(frames))


class WebTestCase(unittest.TestCase):
    """A test with its own server and browser (skipped when the page cannot be tested here)."""

    BROWSER_ARGUMENTS = ()  # more of Chromium's switches

    def setUp(self):
        reason = missing()
        if reason:
            self.skipTest(reason)
        self.server = Server()
        self.addCleanup(self.server.close)
        self.page = Page(self.server, arguments=self.BROWSER_ARGUMENTS)
        self.addCleanup(self.page.close)


def main():
    """Runs the test classes named on the command line; exits 77 (skipped) when all of them
    skipped, as CTest's SKIP_RETURN_CODE expects."""
    names = sys.argv[1:]
    module = sys.modules["__main__"]
    load = unittest.defaultTestLoader.loadTestsFromName
    suite = unittest.TestSuite(load(name, module) for name in names)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(77 if result.skipped and len(result.skipped) >= result.testsRun else 0)
