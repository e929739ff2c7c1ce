"""What the page's tests and figures share: the static site served from a free port, a headless
Chromium driven through Debian's chromedriver and a headless Firefox driven through its own
WebDriver BiDi agent, the page's contract (its state, its canvas) read the same way in both, the
native program's pictures, WAV files, a private sound server, and polling with a deadline."""

import asyncio
import base64
import functools
import http.server
import importlib.util
import json
import math
import os
import re
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
FIREFOX = "/usr/bin/firefox-esr"
PULSEAUDIO = shutil.which("pulseaudio") or "/usr/bin/pulseaudio"
FFMPEG = shutil.which("ffmpeg") or "/usr/bin/ffmpeg"
BANNER_FRACTION = 0.09  # the history's banner strip: the bottom 9 % of the picture
FILES = "/files/"       # where a server's scratch folder appears


def missing(native=True, browser="chromium"):
    """Why the page cannot be tested here in `browser` (chromium or firefox; with the native
    program, if `native`), or None."""
    if browser == "firefox":
        needed = [(FIREFOX, "firefox-esr")]
        module, package = "websockets", "python3-websockets"
    else:
        needed = [(CHROMIUM, "chromium"), (DRIVER, "chromium-driver")]
        module, package = "selenium", "python3-selenium"
    needed.append((os.path.join(WEB_ROOT, "lumacore.wasm"), "the page (apps/web/build.sh)"))
    if native:
        needed += [(PROGRAM, "the native lumacore"), (FFMPEG, "ffmpeg")]
    for path, what in needed:
        if not os.path.exists(path):
            return f"{what} is missing: {path}"
    if importlib.util.find_spec(module) is None:
        return f"{package} is not installed"
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


class PageContract:
    """The page's contract as every browser's fixture reads it, through js(SCRIPT, *ARGS): a
    function body, its arguments in `arguments`, giving back what it returns."""

    def js(self, script, *args):
        raise NotImplementedError

    def state(self):
        return self.js("return document.documentElement.dataset.state || ''")

    def field(self, name):
        return self.js(f"return window.lumacorePage ? window.lumacorePage.{name} : undefined")

    def message(self):
        return self.js("return document.getElementById('message').textContent")

    def focused(self):
        """The focused element's id ('' for one without, 'body' for none)."""
        return self.js("const e = document.activeElement;"
                       "return !e || e === document.body ? 'body' : e.id")

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


class Page(PageContract):
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
        self.shown = None  # the page's window while another tab is in front of it
        self.loaded_first = []  # before_load()'s scripts

    def open(self, query=""):
        self.driver.get(self.server.address + ("?" + query if query else ""))
        return self.wait_until_not("loading")

    def close(self):
        self.driver.quit()

    def js(self, script, *args):
        if self.shown:  # run in the page behind, from the tab in front
            return self.driver.execute_script(
                "return new opener.Function(arguments[0]).apply(opener, arguments[1])",
                script, list(args))
        return self.driver.execute_script(script, *args)

    def element(self, selector):
        from selenium.webdriver.common.by import By
        return self.driver.find_element(By.CSS_SELECTOR, selector)

    def click(self, selector):
        self.element(selector).click()

    def press(self, key):
        """Presses `key` (a character, a name of KEY_CODES or its code) where the focus is."""
        from selenium.webdriver.common.action_chains import ActionChains
        ActionChains(self.driver).send_keys(KEY_CODES.get(key, key)).perform()

    def before_load(self, script):
        """Runs `script` in every page opened from now on, before the page's own scripts, until
        forget_before_load()."""
        added = self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                                            {"source": script})
        self.loaded_first.append(added["identifier"])

    def forget_before_load(self):
        for identifier in self.loaded_first:
            self.driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument",
                                        {"identifier": identifier})
        self.loaded_first = []

    def hide(self):
        """Opens another tab in front of the page, as a user who turns to another one: the page
        is hidden and has no animation frames. js() still reaches it, from the tab in front."""
        self.shown = self.driver.current_window_handle
        self.driver.execute_script("window.open('about:blank', 'lumacore-front')")
        front = [h for h in self.driver.window_handles if h != self.shown]
        self.driver.switch_to.window(front[0])
        poll(lambda: self.js("return document.visibilityState") == "hidden", 10,
             "the page is hidden behind the tab in front")

    def show(self):
        """Closes the tab in front: the page is seen again."""
        self.driver.close()
        self.driver.switch_to.window(self.shown)
        self.shown = None
        poll(lambda: self.js("return document.visibilityState") == "visible", 10,
             "the page is seen again")


# WebDriver's codes for the keys the tests press, as selenium's Keys has them.
KEY_CODES = {"Enter": "\ue007", "Tab": "\ue004", "Escape": "\ue00c", "ArrowLeft": "\ue012",
             "ArrowRight": "\ue014"}


class FirefoxPage(PageContract):
    """One headless Firefox ESR showing the page, driven without geckodriver through its own
    WebDriver BiDi agent (a websocket); the same contract as Page. With `sound`, Firefox plays
    into a private sound server (it has no stand-in output as Chromium has)."""

    ANSWER = 60  # seconds a command may take

    def __init__(self, server, width=1280, height=800, sound=None):
        import websockets
        self.server = server
        self.folder = tempfile.mkdtemp(prefix="lumacore-firefox-")
        profile = os.path.join(self.folder, "profile")
        os.mkdir(profile)
        log = os.path.join(self.folder, "firefox.log")
        environment = dict(os.environ, MOZ_CRASHREPORTER_DISABLE="1", **(sound or {}))
        with open(log, "wb") as out:
            self.process = subprocess.Popen(
                [FIREFOX, "--headless", "--remote-debugging-port", "0", "--profile", profile,
                 "about:blank"], stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                env=environment)

        def listening():
            if self.process.poll() is not None:
                raise AssertionError(f"firefox-esr ended: {tail(log)}")
            with open(log, errors="replace") as text:
                found = re.search(r"WebDriver BiDi listening on (ws://\S+)", text.read())
            return found and found.group(1)
        self.loop = asyncio.new_event_loop()
        self.socket = None
        try:
            address = poll(listening, 60, lambda: f"firefox-esr's agent listens: {tail(log)}")

            async def connect():
                return await websockets.connect(address + "/session", max_size=None,
                                                ping_interval=None)
            self.socket = self.loop.run_until_complete(connect())
            self.last_id = 0
            self.command("session.new", capabilities={})
            self.context = self.command("browsingContext.getTree")["contexts"][0]["context"]
            self.command("browsingContext.setViewport", context=self.context,
                         viewport={"width": width, "height": height})
        except BaseException:
            self.close()
            raise

    def command(self, method, **params):
        """Sends one BiDi command and waits for its answer (events meanwhile are let go)."""
        self.last_id += 1
        number = self.last_id

        async def exchange():
            await self.socket.send(json.dumps({"id": number, "method": method, "params": params}))
            while True:
                answer = json.loads(await self.socket.recv())
                if answer.get("id") == number:
                    return answer
        try:
            answer = self.loop.run_until_complete(asyncio.wait_for(exchange(), self.ANSWER))
        except asyncio.TimeoutError:
            raise AssertionError(
                f"firefox-esr does not answer {method} within {self.ANSWER} s") from None
        if answer.get("type") == "error":
            raise AssertionError(f"{method}: {answer.get('error')}: {answer.get('message')}")
        return answer["result"]

    def open(self, query=""):
        self.command("browsingContext.navigate", context=self.context, wait="complete",
                     url=self.server.address + ("?" + query if query else ""))
        return self.wait_until_not("loading")

    def close(self):
        try:
            if self.socket:
                self.command("session.end")
                self.loop.run_until_complete(self.socket.close())
        finally:
            self.loop.close()
            self.process.terminate()  # its content processes end with it
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            shutil.rmtree(self.folder, ignore_errors=True)

    def call(self, script, *args):
        """The raw BiDi value script (a function body) returns."""
        result = self.command(
            "script.callFunction", functionDeclaration=f"function() {{ {script} }}",
            target={"context": self.context}, awaitPromise=False,
            arguments=[bidi_value(a) for a in args], serializationOptions={"maxObjectDepth": 8})
        if result["type"] == "exception":
            raise AssertionError(f"script failed: {result['exceptionDetails']['text']}")
        return result["result"]

    def js(self, script, *args):
        return python_value(self.call(script, *args))

    def click(self, selector):
        node = self.call("return document.querySelector(arguments[0])", selector)
        assert node["type"] == "node", f"nothing on the page is {selector}"
        self.command("input.performActions", context=self.context, actions=[{
            "type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"},
            "actions": [
                {"type": "pointerMove", "x": 0, "y": 0,
                 "origin": {"type": "element", "element": {"sharedId": node["sharedId"]}}},
                {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]}])
        self.command("input.releaseActions", context=self.context)

    def press(self, key):
        """Presses `key` (a character, a name of KEY_CODES or its code) where the focus is."""
        value = KEY_CODES.get(key, key)
        self.command("input.performActions", context=self.context, actions=[{
            "type": "key", "id": "keyboard",
            "actions": [{"type": "keyDown", "value": value}, {"type": "keyUp", "value": value}]}])
        self.command("input.releaseActions", context=self.context)


def bidi_value(value):
    """A script's argument (None, a number or a string) as BiDi takes it."""
    if value is None:
        return {"type": "null"}
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return {"type": "number", "value": value}
    if isinstance(value, str):
        return {"type": "string", "value": value}
    raise TypeError(f"no BiDi value for {value!r}")


def python_value(remote):
    """A value BiDi gives back, as WebDriver's execute_script would give it."""
    kind = remote["type"]
    if kind in ("undefined", "null"):
        return None
    if kind == "number":
        special = {"NaN": math.nan, "-0": -0.0, "Infinity": math.inf, "-Infinity": -math.inf}
        return special.get(remote["value"], remote["value"])
    if kind == "array":
        return [python_value(v) for v in remote.get("value", [])]
    if kind == "object":
        return {k: python_value(v) for k, v in remote.get("value", [])}
    if kind in ("string", "boolean"):
        return remote["value"]
    return remote  # a node, a function: as BiDi describes it


class SoundServer:
    """A private PulseAudio server whose only sink plays into nothing, for a browser that needs
    a sound device to run its clock; environment() points a client at it."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="lumacore-pulse-")  # 0700, as the server wants
        with open(os.path.join(self.folder, "client.conf"), "w") as conf:
            conf.write("autospawn = no\n")
        environment = dict(os.environ, XDG_RUNTIME_DIR=self.folder, HOME=self.folder,
                           XDG_CONFIG_HOME=os.path.join(self.folder, "config"),
                           XDG_STATE_HOME=os.path.join(self.folder, "state"))
        for name in ("PULSE_SERVER", "DISPLAY"):
            environment.pop(name, None)
        log = os.path.join(self.folder, "server.log")
        with open(log, "wb") as out:
            self.process = subprocess.Popen(
                [PULSEAUDIO, "--daemonize=no", "--exit-idle-time=-1", "-n",
                 "--load=module-native-protocol-unix auth-anonymous=1",
                 "--load=module-null-sink sink_name=lumacore_web"],
                stdin=subprocess.DEVNULL, stdout=out, stderr=out, env=environment,
                cwd=self.folder)
        try:
            poll(lambda: self.process.poll() is None and os.path.exists(
                os.path.join(self.folder, "pulse", "native")), 30,
                lambda: f"the sound server answers: {tail(log)}")
        except AssertionError:
            self.close()
            raise

    def environment(self):
        return {"PULSE_SERVER": "unix:" + os.path.join(self.folder, "pulse", "native"),
                "PULSE_CLIENTCONFIG": os.path.join(self.folder, "client.conf")}

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(20)
        shutil.rmtree(self.folder, ignore_errors=True)


def tail(path, lines=5):
    """The last lines of a log, on one line."""
    try:
        with open(path, errors="replace") as text:
            return " | ".join(text.read().strip().splitlines()[-lines:])
    except OSError:
        return "(no log)"


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

    BROWSER = "chromium"    # or "firefox"
    BROWSER_ARGUMENTS = ()  # more of Chromium's switches
    SOUND = False           # Firefox plays into a private sound server (skipped without one)

    def setUp(self):
        reason = missing(browser=self.BROWSER)
        if not reason and self.BROWSER == "firefox" and self.SOUND and not os.path.exists(
                PULSEAUDIO):
            reason = f"pulseaudio is missing: {PULSEAUDIO}"
        if reason:
            self.skipTest(reason)
        self.server = Server()
        self.addCleanup(self.server.close)
        if self.BROWSER == "firefox":
            sound = None
            if self.SOUND:
                sounds = SoundServer()
                self.addCleanup(sounds.close)
                sound = sounds.environment()
            self.page = FirefoxPage(self.server, sound=sound)
        else:
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
