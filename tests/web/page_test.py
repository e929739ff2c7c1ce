#!/usr/bin/python3
"""Lumacore's web page as a user meets it, in headless Chromium: its stills against the native
program's pixel for pixel, a chosen file played and shown in its own rows, and bad files and bad
parameters each answered with one message on a page that still plays.
usage: page_test.py TESTCLASS... (with LUMACORE_PROGRAM and LUMACORE_WEB_ROOT set, or a source
tree's build/native and build/web)"""

import math
import random

from web_support import WebTestCase, banner_top, lumacore, main, poll, render, write_wav

STILL_AT = 4.5  # past the first banner (4 s)


def tune(t):
    """Six seconds with something in every display: a bass, a rising whistle, a pulsing level."""
    level = 0.35 + 0.3 * math.sin(2 * math.pi * 0.7 * t)
    return level * (0.6 * math.sin(2 * math.pi * 110 * t) +
                    0.3 * math.sin(2 * math.pi * (600 * t + 250 * t * t)))


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
        wav, frames = self.server.file("tune.wav"), self.server.file("tune.lcf")
        write_wav(wav, 6, tune)
        lumacore("analyse", wav, "-o", frames)
        for name, query, width, height, whole in self.CASES:
            with self.subTest(name):
                arguments = ["--frames", frames, "--at", str(STILL_AT)]
                for parameter in query.split("&"):
                    key, value = parameter.split("=")
                    arguments += [f"--{key}", value]
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
