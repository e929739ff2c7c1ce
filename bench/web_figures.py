#!/usr/bin/python3
"""Figures of the web page in headless Chromium against a local server (bench/web_figures.sh):
  pictures PICTURES  render + canvas upload time of each picture while the demo tune plays, per
                     module: median and 99th percentile over at least PICTURES pictures
  first LOADS        navigation start to the first picture on the canvas of the plain ?demo page,
                     over LOADS loads with the browser's cache off
  screenshot FILE    the page at ?demo&module=history&mode=3d&at=12 in a 1280x800 window
A picture's time is that of the animation frame callback that put it on #picture (the page's
render call and its upload inside it), taken by a script that runs before the page's own."""

import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from web_support import Page, Server, missing, poll  # noqa: E402

WATCH = """
(() => {
    const figures = { times: [], first: null };
    window.lumacoreFigures = figures;
    let drew = false;
    const watched = (original) => function (...args) {
        if (this.canvas && this.canvas.id === 'picture') {
            drew = true;
            if (figures.first === null) figures.first = performance.now();
        }
        return original.apply(this, args);
    };
    const context = CanvasRenderingContext2D.prototype;
    context.putImageData = watched(context.putImageData);
    context.drawImage = watched(context.drawImage);
    const request = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = (callback) => request((now) => {
        drew = false;
        const start = performance.now();
        callback(now);
        if (drew) figures.times.push(performance.now() - start);
    });
})();
"""

# name, the page's parameters
MODULES = (
    ("history 3D", "module=history&mode=3d&size=1280x720"),
    ("history 2D", "module=history&mode=2d&size=1280x720"),
    ("oscilloscope", "module=scope"),
    ("VU meter", "module=vu"),
)


def watched_page(server):
    page = Page(server)
    page.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": WATCH})
    return page


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def play_demo(page, query):
    """Opens the demo at `query` and sees that it plays (clicking #demo if it waits for the user)."""
    if page.open("demo&" + query) != "playing":
        page.element("#demo").click()
    page.wait_for(("playing",))


def pictures(server, count):
    page = watched_page(server)
    try:
        for name, query in MODULES:
            play_demo(page, query)
            times = poll(lambda: (t := page.js("return lumacoreFigures.times")) and len(t) >= count
                         and t, 120, f"{count} pictures of {name}")
            size = page.field("picture")
            print(f"    {name:13} {size['width']:4}x{size['height']:<4} {len(times):5} pictures: "
                  f"median {statistics.median(times):6.2f} ms, p99 {percentile(times, 0.99):6.2f} ms")
    finally:
        page.close()


def first_picture(server, loads):
    page = watched_page(server)
    try:
        page.driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
        times = []
        for _ in range(loads):
            page.driver.get(server.address + "?demo")
            times.append(poll(lambda: page.js("return lumacoreFigures.first"), 60,
                              "a first picture on #picture"))
        print(f"    {loads} loads of ?demo, cache off: median {statistics.median(times):.0f} ms, "
              f"min {min(times):.0f} ms, max {max(times):.0f} ms")
    finally:
        page.close()


def screenshot(server, path):
    page = Page(server, 1280, 800)
    try:
        page.open("demo&module=history&mode=3d&at=12")
        page.wait_for(("shown",))
        page.driver.save_screenshot(path)
    finally:
        page.close()


def main():
    reason = missing(native=False)
    if reason:
        sys.exit(f"web_figures: {reason}")
    command, argument = sys.argv[1], sys.argv[2]
    server = Server()
    try:
        {"pictures": lambda: pictures(server, int(argument)),
         "first": lambda: first_picture(server, int(argument)),
         "screenshot": lambda: screenshot(server, argument)}[command]()
    finally:
        server.close()


if __name__ == "__main__":
    main()
