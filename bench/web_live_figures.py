#!/usr/bin/python3
"""Figures of the web page's clock while its tab is hidden, in headless Chromium against a local
server (bench/web_live_figures.sh); the display is the history, 3D, at 1280x720:
  hidden SOURCE SECONDS...  SOURCE playing, the tab hidden for each of SECONDS in turn (a fresh
                            page each), then shown again: how long the first animation frame
                            after its return takes (and the longest in the 3 s after it), and
                            how many frames ran while it was hidden (none, in a browser that
                            stops them). SOURCE: demo (the built-in
                            tune, 30 s: its clock stops at its end), file (music-like sound a
                            minute longer than the longest wait, opened as a user opens a file)
                            or microphone (listening to Chromium's stand-in microphone)
  listen SECONDS EVERY      listening to the stand-in microphone, the tab hidden for SECONDS: the
                            WebAssembly memory's size every EVERY seconds, then the first
                            animation frame after the tab's return
The tab is hidden as a user hides it: another tab is opened in front of it in the same window
(CDP Target.createTarget), and it comes back when that tab is closed and the page's own target is
activated again. Every animation frame is timed from outside the page: requestAnimationFrame is
wrapped before the tab is hidden, so each callback the page asks for is timed as it runs. The
memory is the WebAssembly.Memory the module was instantiated with, kept by a script that wraps
WebAssembly.instantiate and instantiateStreaming before the page's own scripts run."""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from web_support import FFMPEG, Page, Server, missing, poll  # noqa: E402

DISPLAY = "module=history&mode=3d&size=1280x720"
FAKE_MICROPHONE = ("--use-fake-device-for-media-stream", "--use-fake-ui-for-media-stream")
MB = 1 << 20

# Every animation frame callback timed: how many ran; of those that start at or after `mark`
# (performance.now() milliseconds), the first (its start, its length and the page's visibility
# then) and the longest length.
TIME_FRAMES = """
    if (window.lumacoreFrames) return;
    const frames = window.lumacoreFrames = { count: 0, mark: Infinity, first: null, longest: 0 };
    const request = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = (callback) => request((stamp) => {
        const start = performance.now();
        try {
            callback(stamp);
        } finally {
            const length = performance.now() - start;
            frames.count++;
            if (start >= frames.mark) {
                if (!frames.first) frames.first = [start, length, document.visibilityState];
                frames.longest = Math.max(frames.longest, length);
            }
        }
    });"""

# Before any of the page's scripts: keeps the memory of every WebAssembly instance made.
KEEP_MEMORY = """
    (() => {
        const memories = window.lumacoreMemories = [];
        const keep = (result) => {
            const instance = result instanceof WebAssembly.Instance ? result : result.instance;
            for (const value of Object.values(instance.exports))
                if (value instanceof WebAssembly.Memory) memories.push(value);
            return result;
        };
        const instantiate = WebAssembly.instantiate;
        WebAssembly.instantiate = (...args) => instantiate.apply(WebAssembly, args).then(keep);
        const streaming = WebAssembly.instantiateStreaming;
        if (streaming)
            WebAssembly.instantiateStreaming =
                (...args) => streaming.apply(WebAssembly, args).then(keep);
    })();"""

MEMORY = """
    const memories = window.lumacoreMemories || [];
    return memories.length ? memories.map((m) => m.buffer.byteLength) : null;"""


class Tab:
    """The page's tab hidden behind a new one in the same window, and shown again."""

    def __init__(self, page):
        self.page = page
        self.driver = page.driver
        self.own = self.driver.current_window_handle  # chromedriver's handle is the target id
        self.front = None

    def hide(self):
        self.front = self.driver.execute_cdp_cmd(
            "Target.createTarget", {"url": "about:blank"})["targetId"]
        poll(lambda: self.visibility() == "hidden", 10, "the page is hidden behind a new tab")

    def show(self):
        self.driver.execute_cdp_cmd("Target.activateTarget", {"targetId": self.own})
        self.driver.execute_cdp_cmd("Target.closeTarget", {"targetId": self.front})
        self.front = None

    def visibility(self):
        return self.page.js("return document.visibilityState")


AFTER_RETURN = 3  # seconds of frames after the return in which the longest is looked for


def frames(page):
    return page.js("return window.lumacoreFrames.count")


def shown_again(tab, deadline):
    """Shows the hidden tab again; a line on its frames: the first after the return (the whole
    callback, and the page's own time for the picture it drew, when it drew one), the longest in
    the AFTER_RETURN seconds that follow and where the page's clock stands then."""
    page = tab.page
    pictures = len(page.field("timings"))  # no frame runs to add one while the tab is hidden
    page.js("window.lumacoreFrames.mark = performance.now()")
    tab.show()
    first = poll(lambda: page.js("return window.lumacoreFrames.first"), deadline,
                 "an animation frame after the tab's return")
    time.sleep(AFTER_RETURN)
    longest = page.js("return window.lumacoreFrames.longest")
    timings = page.field("timings")
    drawn = (f", its picture {timings[pictures] / 1000:.3f} s by the page's timings"
             if len(timings) > pictures else ", no picture")
    return (f"the first frame after the return took {first[1] / 1000:.3f} s ({first[2]}"
            f"{drawn}); the longest in the {AFTER_RETURN} s after it {longest / 1000:.3f} s; "
            f"the clock then at {page.field('time'):.2f} s")


def long_sound(path, seconds):
    """Music-like sound (a bass, a melody and pink noise, as bench/figures_common.sh makes) of
    `seconds` into a FLAC file."""
    subprocess.run([FFMPEG, "-v", "error", "-filter_complex",
                    f"sine=frequency=55:duration={seconds},volume=0.6[a];"
                    f"sine=frequency=440:duration={seconds},volume=0.2[b];"
                    f"anoisesrc=d={seconds}:c=pink:a=0.08[c];[a][b][c]amix=inputs=3",
                    "-ar", "44100", "-ac", "2", path], check=True)


def start_source(page, source, sound):
    """Starts the display on `source`, waits until its clock has passed a second and has every
    animation frame timed from then on; the tab to hide."""
    if source == "demo":
        page.open("demo&" + DISPLAY)
    else:
        page.open(DISPLAY)
    if source == "file":
        page.element("#file").send_keys(sound)
    elif source == "microphone":
        page.js("const s = document.getElementById('listen-source');"
                "s.value = 'microphone'; s.dispatchEvent(new Event('change'));")
        page.element("#listen").click()
        page.wait_for(("listening",), 30)
    poll(lambda: page.state() in ("playing", "listening") and (page.field("time") or 0) > 1, 60,
         lambda: f"the clock passes 1 s (state {page.state()!r}, time {page.field('time')!r}, "
         f"message {page.message()!r})")
    page.js(TIME_FRAMES)
    poll(lambda: frames(page) >= 10, 10, "ten timed animation frames")
    return Tab(page)


def hidden(server, source, durations):
    sound = None
    if source == "file":
        sound = server.file("long.flac")
        long_sound(sound, round(max(durations)) + 60)
    for seconds in durations:
        page = Page(server, arguments=FAKE_MICROPHONE if source == "microphone" else ())
        try:
            tab = start_source(page, source, sound)
            heard = page.field("time")
            tab.hide()
            time.sleep(1)  # a frame already under way when the tab went
            before = frames(page)
            time.sleep(max(0, seconds - 1))
            ran = frames(page) - before
            print(f"    hidden {seconds:.0f} s at {heard:.2f} s: {ran} animation frames while "
                  f"hidden; {shown_again(tab, max(120, seconds))}", flush=True)
        finally:
            page.close()


def listen(server, seconds, every):
    page = Page(server, arguments=FAKE_MICROPHONE)
    try:
        page.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                                    {"source": KEEP_MEMORY})
        tab = start_source(page, "microphone", None)
        memory = lambda: poll(lambda: page.js(MEMORY), 10, "the module's WebAssembly memory")
        print(f"    at {page.field('time'):.2f} s of listening: WebAssembly memory "
              f"{memory()[0] / MB:.1f} MB; the tab hidden", flush=True)
        tab.hide()
        hidden_at = time.monotonic()
        count = frames(page)
        readings = 0
        while readings * every < seconds:
            readings += 1
            due = hidden_at + min(readings * every, seconds)
            time.sleep(max(0, due - time.monotonic()))
            print(f"    {time.monotonic() - hidden_at:5.0f} s hidden: WebAssembly memory "
                  f"{memory()[0] / MB:6.1f} MB ({tab.visibility()}, "
                  f"{frames(page) - count} animation frames since hidden)", flush=True)
        print(f"    {shown_again(tab, max(120, seconds))}; WebAssembly memory then "
              f"{memory()[0] / MB:.1f} MB")
    finally:
        page.close()


def main():
    reason = missing(native=False)
    if reason:
        sys.exit(f"web_live_figures: {reason}")
    command = sys.argv[1]
    server = Server()
    try:
        if command == "hidden":
            hidden(server, sys.argv[2], [float(a) for a in sys.argv[3:]])
        else:
            listen(server, float(sys.argv[2]), float(sys.argv[3]))
    finally:
        server.close()


if __name__ == "__main__":
    main()
