#!/usr/bin/python3
"""Figures of the web page in headless Chromium against a local server (bench/web_figures.sh):
  pictures PICTURES  render + canvas upload time of each picture while the demo tune plays, per
                     module: median and 99th percentile over at least PICTURES pictures
  first LOADS        navigation start to the first picture on the canvas of the plain ?demo page,
                     over LOADS loads with the browser's cache off
  screenshot FILE    the page at ?demo&module=history&mode=3d&at=12 in a 1280x800 window
A picture's time is the page's own (lumacorePage.timings: the render calls due, the conversion
and the canvas upload); the first picture is the page's performance mark lumacore-first-picture,
beside lumacore-ready (the module compiled and started)."""

import math
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from web_support import Page, Server, missing, poll  # noqa: E402

# The page's marks: the module compiled and started, the first picture on the canvas.
MARKS = """
    const at = (name) => (performance.getEntriesByName(name)[0] || {}).startTime;
    const first = at('lumacore-first-picture');
    return first === undefined ? null : [at('lumacore-ready'), first];"""

# name, the page's parameters
MODULES = (
    ("history 3D", "module=history&mode=3d&size=1280x720"),
    ("history 2D", "module=history&mode=2d&size=1280x720"),
    ("oscilloscope", "module=scope"),
    ("VU meter", "module=vu"),
)


def percentile(values, fraction):
    """The nearest-rank percentile."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(fraction * len(ordered)) - 1)]


def pictures(server, count):
    page = Page(server)
    try:
        for name, query in MODULES:
            page.open("demo&" + query)
            page.wait_for(("playing",))
            times = poll(lambda: (t := page.field("timings")) and len(t) >= count and t, 120,
                         f"{count} pictures of {name}")
            size = page.field("picture")
            print(f"    {name:13} {size['width']:4}x{size['height']:<4} {len(times):5} pictures: "
                  f"median {statistics.median(times):5.2f} ms, "
                  f"p99 {percentile(times, 0.99):5.2f} ms")
    finally:
        page.close()


def first_picture(server, loads):
    page = Page(server)
    try:
        page.driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": True})
        marks = []
        for _ in range(loads):
            page.driver.get(server.address + "?demo")
            marks.append(poll(lambda: page.js(MARKS), 60, "a first picture on #picture"))
        print(f"    {loads} loads of ?demo, cache off")
        for index, name in ((0, "module ready"), (1, "first picture")):
            times = [mark[index] for mark in marks]
            print(f"    {name:13}: median {statistics.median(times):4.0f} ms, "
                  f"min {min(times):4.0f} ms, max {max(times):4.0f} ms")
    finally:
        page.close()


def screenshot(server, path):
    page = Page(server, 1280, 800)
    try:
        # The page's viewport itself at 1280x800 (the window's frame would take some of it).
        page.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})
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
