#!/usr/bin/python3
"""Lumacore's web page as a user meets it, in headless Chromium and Firefox ESR: its stills against
the native program's pixel for pixel, a chosen file played and shown in its own rows, bad files,
bad parameters and a browser without what the page needs each answered with one message on a page
that still plays, the keyboard where the focus is, and a tab in the background that costs no more
than the picture can show when it comes back.
usage: page_test.py TESTCLASS... (with LUMACORE_PROGRAM and LUMACORE_WEB_ROOT set, or a source
tree's build/native and build/web)"""

import math
import random
import shutil

from web_support import WebTestCase, banner_top, lumacore, main, poll, render, write_wav

STILL_AT = 4.5  # past the first banner (4 s)


def tune(t):
    """Six seconds with something in every display: a bass, a rising whistle, a pulsing level."""
    level = 0.35 + 0.3 * math.sin(2 * math.pi * 0.7 * t)
    return level * (0.6 * math.sin(2 * math.pi * 110 * t) +
                    0.3 * math.sin(2 * math.pi * (600 * t + 250 * t * t)))


def analysed(server, name, seconds):
    """The frames file `name` in the server's scratch folder: `seconds` of the tune, analysed."""
    wav = server.file(name + ".wav")
    write_wav(wav, seconds, tune)
    lumacore("analyse", wav, "-o", server.file(name))
    return server.file(name)


def render_arguments(query):
    """The page's parameters as `lumacore render`'s options."""
    arguments = []
    for parameter in query.split("&"):
        key, value = parameter.split("=")
        arguments += [f"--{key}", value]
    return arguments


class PageMatchesRender(WebTestCase):
    # name, the page's parameters (each also an option of `lumacore render`), the picture's size,
    # whether the whole picture is compared (the history's banner text is the browser's)
    CASES = (
        ("history 3D", "module=history&mode=3d&size=1280x720", 1280, 720, False),
        ("history 2D, another size, brighter", "module=history&mode=2d&size=640x360&brightness=1.6",
         640, 360, False),
        ("oscilloscope", "module=scope", 289, 257, True),
        ("VU meter", "module=vu", 289, 257, True),
        ("history 3D, no title", "module=history&mode=3d&size=800x450&title=", 800, 450, True),
    )

    def test_stills_equal_the_programs(self):
        frames = analysed(self.server, "tune.lcf", 6)
        for name, query, width, height, whole in self.CASES:
            with self.subTest(name):
                arguments = ["--frames", frames, "--at", str(STILL_AT), *render_arguments(query)]
                expected = render(width, height, *arguments)
                self.page.open(f"frames=/files/tune.lcf&{query}&at={STILL_AT}")
                self.page.wait_for(("shown",))
                picture = self.page.picture()
                rows = range(height if whole else banner_top(height))
                count, first = picture.differences(expected, rows)
                self.assertEqual(count, 0, f"{count} pixels differ above row {rows.stop}, {first}")


# The newest columns of the 2D history, and how bright a band the tone lights is at least.
NEWEST_COLUMNS = 8
LIT = 100


def lit_rows(picture):
    """The rows above the banner whose newest columns reach LIT, and the brightest of them."""
    newest = range(picture.width - NEWEST_COLUMNS, picture.width)
    above = range(banner_top(picture.height))
    rows = {y: [picture.brightness(x, y) for x in newest] for y in above}
    lit = {y for y, values in rows.items() if max(values) >= LIT}
    return lit, max(rows, key=lambda y: sum(rows[y]))


class PlaysChosenFile(WebTestCase):
    TONE_BIN = 40  # of 576, a 1152-point window at 44100 Hz
    WIDTH, HEIGHT = 640, 480

    def test_tone_lights_its_own_rows(self):
        size = f"{self.WIDTH}x{self.HEIGHT}"
        tone = self.server.file("tone.wav")
        frequency = self.TONE_BIN * 44100 / 1152
        write_wav(tone, 10, lambda t: 0.02 * math.sin(2 * math.pi * frequency * t))
        native = render(self.WIDTH, self.HEIGHT, tone, "--module", "history", "--mode", "2d",
                        "--size", size, "--at", "1.5")
        native_lit, native_brightest = lit_rows(native)
        self.assertTrue(native_lit, "the native picture shows the tone")

        self.page.open(f"module=history&mode=2d&size={size}")
        self.page.element("#file").send_keys(tone)
        self.page.playing_past(1.0)
        lit, brightest = lit_rows(self.page.picture())
        self.assertIn(brightest, native_lit,
                      f"the page's brightest row; the program lights {sorted(native_lit)}")
        self.assertIn(native_brightest, lit,
                      f"the program's brightest row; the page lights {sorted(lit)}")


class UndecodableFileLeavesPageUsable(WebTestCase):
    def test_message_then_demo_plays(self):
        # Random bytes without 0xFF, so that no MPEG audio frame can start anywhere in them.
        junk = self.server.file("noise.mp3")
        generator = random.Random(11)
        with open(junk, "wb") as out:
            out.write(bytes(generator.randrange(255) for _ in range(65536)))
        before = self.page.open()
        self.page.element("#file").send_keys(junk)
        poll(lambda: "noise.mp3" in self.page.message(), 20,
             lambda: f"#message names noise.mp3 (it says {self.page.message()!r})")
        self.assertEqual(self.page.state(), before)
        self.assertIn("noise.mp3", self.page.field("error"))
        self.page.element("#demo").click()
        self.page.playing_past(0.5)
        heard = self.page.field("time")
        self.page.playing_past(heard + 0.5)


class ListensKeysAndSettings(WebTestCase):
    # Chromium's stand-in microphone (a beep every second), granted without asking.
    BROWSER_ARGUMENTS = ("--use-fake-device-for-media-stream", "--use-fake-ui-for-media-stream")

    def test_listening_draws_the_microphone(self):
        self.page.open("module=history&mode=2d&size=640x360")
        self.page.element("#listen").click()
        self.page.wait_for(("listening",), 30)
        poll(lambda: (self.page.field("time") or 0) > 2.5, 30,
             lambda: f"the live clock passes 2.5 s (it is {self.page.field('time')!r})")
        picture = self.page.picture()
        lit = [picture.brightness(x, y) for x in range(picture.width)
               for y in range(banner_top(picture.height))]
        self.assertGreaterEqual(max(lit), LIT, "the beeps are drawn")
        self.assertGreater(lit.count(0), len(lit) // 2, "and the silence between them is dark")

    def test_keys_and_controls_are_kept_for_the_next_visit(self):
        from selenium.webdriver.common.keys import Keys
        self.page.open()
        self.page.element("#demo").click()
        self.page.playing_past(0.5)
        poll(lambda: not self.page.js("return document.getElementById('position').disabled"), 30,
             "the whole tune is made and can be sought")
        body = self.page.element("body")
        before = self.page.field("time")
        body.send_keys(Keys.ARROW_RIGHT)
        poll(lambda: self.page.field("time") >= before + 4.5, 10,
             lambda: f"Right seeks 5 s on from {before} (it is {self.page.field('time')})")
        body.send_keys("d")  # 2D
        body.send_keys("m")  # the oscilloscope
        body.send_keys("+")
        self.assertEqual(self.page.field("picture"), {"width": 289, "height": 257})
        self.page.open()  # a new visit: the module, the drawing and the brightness as left
        self.assertEqual(self.page.js("return document.getElementById('module').value"), "scope")
        self.assertEqual(self.page.js("return document.getElementById('mode').value"), "2d")
        self.assertEqual(self.page.js("return document.getElementById('brightness').value"),
                         "1.1")
        self.page.open("module=vu")  # the address wins for the visit and is not kept
        self.page.open()
        self.assertEqual(self.page.js("return document.getElementById('module').value"), "scope")


class FirefoxMatchesRender(PageMatchesRender):
    """The same stills in Firefox ESR."""
    BROWSER = "firefox"


class FirefoxPlaysAfterClick(WebTestCase):
    BROWSER = "firefox"
    SOUND = True
    # the address, whether Firefox holds the sound until the page is touched, what is clicked
    CASES = (
        ("", False, "#demo"),     # the click on Demo is the user's: Firefox holds nothing
        ("demo", True, "#stage"),  # the address's demo waits for a click on the page
    )

    def test_the_message_goes_once_the_sound_plays(self):
        for query, held, click in self.CASES:
            with self.subTest(f"?{query}, {click} clicked"):
                self.page.open(query)
                if held:
                    poll(lambda: "holds the sound" in self.page.message(), 20,
                         lambda: f"#message says the sound is held ({self.page.message()!r})")
                self.page.click(click)
                self.page.playing_past(1.0)
                self.assertEqual(self.page.message(), "")


class FramesNamedWithPercentSigns(WebTestCase):
    # the file's name on the server, frames= as the address holds it
    CASES = (
        ("100%.lcf", "/files/100%25.lcf"),
        ("50% off.lcf", "/files/50%25%20off.lcf"),
        ("100%.lcf", "/files/100%2525.lcf"),  # the escape itself escaped
    )

    def test_stills_and_playing(self):
        tune_frames = analysed(self.server, "tune.lcf", 6)
        query = "module=scope"
        expected = render(289, 257, "--frames", tune_frames, "--at", str(STILL_AT),
                          *render_arguments(query))
        for name, address in self.CASES:
            with self.subTest(f"{name} at {address}"):
                shutil.copyfile(tune_frames, self.server.file(name))
                self.page.open(f"frames={address}&{query}&at={STILL_AT}")
                self.page.wait_for(("shown",))
                self.assertEqual(self.page.field("title"), name)
                count, first = self.page.picture().differences(expected, range(257))
                self.assertEqual(count, 0, f"{count} pixels differ, {first}")
                self.page.open(f"frames={address}&{query}")
                self.page.playing_past(0.5)

    def test_a_missing_one_is_named(self):
        self.page.open("frames=/files/gone%25.lcf")
        poll(lambda: "gone%.lcf" in self.page.message(), 20,
             lambda: f"#message names gone%.lcf (it says {self.page.message()!r})")
        self.assertEqual(self.page.state(), "ready")


class StartUpFailuresAreSaid(WebTestCase):
    # what the browser lacks (a script run before the page's), the address, the state the page
    # reaches, words of its message
    CASES = (
        ("an AudioContext that cannot be made",
         "window.AudioContext = function () { throw new Error('no sound device'); };", "demo",
         "playing", "no Web Audio"),
        ("no ResizeObserver", "delete window.ResizeObserver;", "", "error",
         "could not start: ResizeObserver"),
    )

    def test_one_message_each(self):
        for name, lack, query, state, words in self.CASES:
            with self.subTest(name):
                self.page.before_load(lack)
                try:
                    self.page.open(query)
                    poll(lambda: words in self.page.message(), 20,
                         lambda: f"#message says {words!r} (it says {self.page.message()!r})")
                    self.page.wait_for((state,), 20)
                    self.assertNotIn("\n", self.page.message())
                finally:
                    self.page.forget_before_load()


class KeysGoWhereTheFocusIs(WebTestCase):
    ADDRESS = "frames=/files/long.lcf&module=history&mode=3d&brightness=1&size=320x180"
    # where the focus is ("" for nowhere), the key, what it does
    CASES = (
        ("play", "Enter", "pauses"),              # a focused button is pressed,
        ("play", " ", "pauses"),                  # once: the display does not pause as well
        ("demo", " ", "plays the demo"),          # nor instead
        ("demo", "Enter", "plays the demo"),
        ("play", "Tab", "focuses position"),      # Tab moves on from a control
        ("mode", "Tab", "focuses brightness"),
        ("brightness", "ArrowRight", "brightens"),  # a slider keeps its arrows
        ("", " ", "pauses"),                      # the display's keys where no control has it
        ("", "ArrowRight", "seeks 5 s"),
        ("", "m", "shows the oscilloscope"),
        ("", "Tab", "fills the screen"),
        ("stage", "d", "draws in 2D"),
    )
    OUTCOMES = {
        "pauses": lambda page, before: page.state() == "paused",
        "plays the demo": lambda page, before:
            page.state() == "playing" and page.field("title") not in (None, "", "long.lcf"),
        "brightens": lambda page, before: page.js(
            "return document.getElementById('brightness').value") == "1.1"
            and page.field("time") < before + 4,
        "seeks 5 s": lambda page, before: page.field("time") >= before + 4.5,
        "shows the oscilloscope": lambda page, before:
            page.field("picture") == {"width": 289, "height": 257},
        "fills the screen": lambda page, before: page.js(
            "return document.fullscreenElement && document.fullscreenElement.id") == "stage",
        "draws in 2D": lambda page, before:
            page.js("return document.getElementById('mode').value") == "2d",
    }

    def outcome(self, what, before):
        if what.startswith("focuses "):
            wanted = what.split()[1]
            return self.page.focused() == wanted and not self.page.js(
                "return document.fullscreenElement")
        return self.OUTCOMES[what](self.page, before)

    def test_each_key_where_it_is_pressed(self):
        analysed(self.server, "long.lcf", 20)
        for focus, key, what in self.CASES:
            with self.subTest(f"{key!r} on {focus or 'the display'} {what}"):
                self.page.open(self.ADDRESS)
                self.page.playing_past(1.0)
                if focus:
                    self.page.js("document.getElementById(arguments[0]).focus()", focus)
                else:
                    self.page.js("document.activeElement.blur()")
                self.assertEqual(self.page.focused(), focus or "body")
                before = self.page.field("time")
                self.page.press(key)
                poll(lambda: self.outcome(what, before), 20,
                     lambda: f"it {what} (state {self.page.state()!r}, time "
                     f"{self.page.field('time')!r}, focus on {self.page.focused()!r})")
                # Still so once every event of the key has been handled.
                self.assertTrue(self.outcome(what, before), f"it still {what}")


# The page's clock for a frames file played silently is performance.now(): this one can be put
# forward, as if that long had gone by without a frame.
MOVABLE_CLOCK = """(() => {
    const now = performance.now.bind(performance);
    let ahead = 0;
    performance.now = () => now() + ahead;
    window.moveClock = (seconds) => { ahead += 1000 * seconds; };
})();"""


class HiddenTabCatchesUpWithinThePicture(WebTestCase):
    AWAY = 60  # seconds in the background
    # the display, the most Render calls the first frame back may make: those whose drawing the
    # picture can still show (the history's columns, the VU meter's chart, the oscilloscope's
    # one), and a few
    CASES = (
        ("history 3D", "module=history&mode=3d&size=1280x720", 1280 + 10),
        ("VU meter", "module=vu", 289 + 10),
        ("oscilloscope", "module=scope", 1 + 10),
    )

    def test_first_frame_back(self):
        analysed(self.server, "long.lcf", self.AWAY + 10)
        self.page.before_load(MOVABLE_CLOCK)
        for name, query, most in self.CASES:
            with self.subTest(name):
                self.page.open(f"frames=/files/long.lcf&{query}")
                self.page.playing_past(0.5)
                self.page.hide()
                left = self.page.js("""
                    moveClock(arguments[0]);
                    const calls = lumacorePage.calls;
                    // Runs after the page's next frame, which was asked for before this one.
                    requestAnimationFrame(() => {
                        window.firstFrameBack = lumacorePage.calls - calls;
                    });
                    return lumacorePage.time;""", self.AWAY)
                self.page.show()
                made = poll(lambda: self.page.js(
                    "return 'firstFrameBack' in window ? [window.firstFrameBack] : null"), 30,
                    "the first frame back is drawn")[0]
                self.assertGreater(made, 0)
                self.assertLessEqual(made, most, "Render calls in the first frame back")
                # The clock and the position bar show where the sound is now.
                poll(lambda: self.page.js("""
                    const at = Number(document.getElementById('position').value);
                    const clock = document.getElementById('clock').textContent;
                    const whole = Math.floor(at);
                    return at >= arguments[0] && clock ===
                        `${Math.floor(whole / 60)}:${String(whole % 60).padStart(2, '0')}`;""",
                    left + self.AWAY), 10,
                    lambda: f"the clock shows {left + self.AWAY} s on (it shows " + self.page.js(
                        "return document.getElementById('clock').textContent") + ")")


# Keeps the taps the page puts on the sound it listens to, so that a test can hand blocks of
# sound to the page's own handler of what a tap posts.
KEPT_TAPS = """(() => {
    const Node = window.AudioWorkletNode;
    window.lumacoreTaps = [];
    window.AudioWorkletNode = class extends Node {
        constructor(...args) { super(...args); window.lumacoreTaps.push(this); }
    };
})();"""

# Posts arguments[0] seconds of loud noise at arguments[1] frames a second to the page's newest
# tap, in blocks of 4800 frames, all in this one task: no frame is drawn meanwhile.
POST_NOISE = """
    const [seconds, rate] = arguments;
    const tap = window.lumacoreTaps[window.lumacoreTaps.length - 1];
    const block = 4800;
    const left = new Float32Array(block), right = new Float32Array(block);
    let seed = 1;
    for (let i = 0; i < block; ++i) {
        seed = (seed * 16807) % 2147483647;
        left[i] = right[i] = 0.8 * (seed / 1073741823.5 - 1);
    }
    for (let posted = 0; posted < seconds * rate; posted += block)
        tap.port.onmessage({ data: [left, right] });
"""


class ListeningTestCase(WebTestCase):
    # Chromium's stand-in microphone, granted without asking.
    BROWSER_ARGUMENTS = ("--use-fake-device-for-media-stream", "--use-fake-ui-for-media-stream")

    def listen(self):
        self.page.before_load(KEPT_TAPS)
        self.page.open("module=history&mode=2d&size=640x360")
        self.page.click("#listen")
        self.page.wait_for(("listening",), 30)


class LiveSoundWithinMemory(ListeningTestCase):
    MEMORY_CAP = 64 << 20

    def test_ten_minutes_without_a_frame(self):
        self.listen()
        self.page.js(POST_NOISE, 600, 48000)
        memory = self.page.field("memory")
        self.assertLess(memory, self.MEMORY_CAP, f"{memory / 2**20:.0f} MB of wasm memory")
        self.assertEqual((self.page.state(), self.page.message()), ("listening", ""))


class LiveSoundWhileHidden(ListeningTestCase):
    def test_what_was_heard_meanwhile_is_not_drawn_late(self):
        self.listen()
        poll(lambda: (self.page.field("time") or 0) > 1, 30, "the live clock passes 1 s")
        self.page.hide()
        left = self.page.field("time")
        self.page.js(POST_NOISE, 60, 44100)
        self.page.show()
        poll(lambda: self.page.field("time") > left + 0.5, 30,
             lambda: f"the live clock goes on from {left} (it is {self.page.field('time')})")
        # The noise would light every row; the microphone's beeps light a few. The noise's last
        # moment was heard last, so a loaded machine may still show it a little after the page
        # is shown; drawing the minute heard away would show it for a minute.
        rows = banner_top(self.page.field("picture")["height"])
        lit = []  # rows lit by the newest columns, each time looked at

        def beeps_again():
            lit.append(len(lit_rows(self.page.picture())[0]))
            return lit[-1] < rows // 2

        poll(beeps_again, 10, lambda: f"rows lit by the newest columns: {lit[-1]} of {rows}")
        self.assertLess(self.page.field("time"), left + 30,
                        "the live clock has not run through the minute heard away")


class BadParametersLeavePageUsable(WebTestCase):
    # the query, a word its message names
    CASES = (
        ("module=nosuch", "nosuch"),
        ("at=-1", "-1"),
        ("size=0x0", "0x0"),
        ("frames=missing.lcf", "missing.lcf"),
    )

    def test_one_message_each(self):
        for query, word in self.CASES:
            with self.subTest(query):
                state = self.page.open(query)
                message = poll(self.page.message, 20, f"a message for {query}").strip()
                self.assertNotEqual(state, "error")
                self.assertIn(word, message)
                self.assertNotIn("\n", message)
                self.page.element("#demo").click()
                self.page.playing_past(0.5)


if __name__ == "__main__":
    main()
