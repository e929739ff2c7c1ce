#!/usr/bin/python3
"""OBS Studio with the Lumacore source, for the README and the figures (run under an X server,
e.g. xvfb-run; bench/obs_figures.sh builds what it needs):
  screenshot MODULE SOUND BACKGROUND OUT  a scene of BACKGROUND (a picture) with the source, the
                                          3D history, transparent over it, listening to a media
                                          source playing SOUND; the scene (1920x1080) at 800x450
                                          into OUT
  figures MODULE SOUND PICTURE SECONDS    OBS at 1920x1080, 60 frames/s, playing SOUND: without
                                          the source, with PICTURE (a 1920x1080 image source, the
                                          cost of any full-frame layer) and with the source (the
                                          3D history at 1920x1080): OBS's CPU over SECONDS and its
                                          own frame statistics
  changes MODULE SOUND                    OBS at 1920x1080, 30 frames/s, playing SOUND, with the
                                          source: for each setting that needs a new runner (the
                                          size; the display; the call rate of an 8192x4096
                                          history; the size of a 4096x4096 one), OBS's frame
                                          counters over 20 s without changes, then over 20
                                          changes of it, one a second
OBS runs for a private user (HOME and XDG_CONFIG_HOME in a scratch folder) with obs-websocket on a
free port and MODULE installed in that user's plug-in folder, as the tests run it."""

import asyncio
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "obs"))
from obs_request import exchange  # noqa: E402

DATA = os.path.join(HERE, "..", "apps", "obs", "data")
START_SECONDS = 60
SETTLE_SECONDS = 5  # after a change, before measuring


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Obs:
    """OBS for a private user with `module` installed; stopped and removed on exit."""

    def __init__(self, module):
        self.folder = tempfile.mkdtemp(prefix="lumacore-obs-figures-")
        config = os.path.join(self.folder, "config", "obs-studio")
        plugin = os.path.join(config, "plugins", "lumacore-obs")
        os.makedirs(os.path.join(plugin, "bin", "64bit"))
        shutil.copy(module, os.path.join(plugin, "bin", "64bit", "lumacore-obs.so"))
        shutil.copytree(DATA, os.path.join(plugin, "data"))
        self.port = free_port()
        with open(os.path.join(config, "global.ini"), "w") as ini:
            ini.write("[General]\nFirstRun=false\n\n[OBSWebSocket]\nFirstLoad=false\n"
                      f"ServerEnabled=true\nServerPort={self.port}\nAuthRequired=false\n"
                      "AlertsEnabled=false\n")
        self.logs = os.path.join(config, "logs")
        environment = dict(os.environ, HOME=self.folder,
                           XDG_CONFIG_HOME=os.path.join(self.folder, "config"),
                           XDG_CACHE_HOME=os.path.join(self.folder, "cache"),
                           LIBGL_ALWAYS_SOFTWARE="1")
        self.process = subprocess.Popen(
            ["obs", "--disable-shutdown-check", "--minimize-to-tray", "--multi"], cwd=self.folder,
            env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + START_SECONDS
        while True:
            try:
                self.request()
                break
            except Exception:  # not listening yet  # noqa: BLE001
                if self.process.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("OBS did not answer on its websocket") from None
                time.sleep(0.2)

    def request(self, *requests):
        """The responses' data, in order; raises when one failed or OBS did not answer."""
        answers = []
        failed = asyncio.run(exchange(self.port, list(requests),
                                      lambda _, response: answers.append(response)))
        if failed:
            status = answers[-1].get("requestStatus", {})
            raise RuntimeError(f"{answers[-1].get('requestType')}: {status.get('comment')}")
        return [answer.get("responseData") or {} for answer in answers]

    def cpu_seconds(self):
        """The CPU time OBS has used so far (user and system, its threads included)."""
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        """Stops OBS and gives its log."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        names = sorted(os.listdir(self.logs)) if os.path.isdir(self.logs) else []
        if not names:
            return ""
        with open(os.path.join(self.logs, names[-1]), errors="replace") as log:
            return log.read()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)


def create(name, kind, settings, scene="Scene"):
    return {"requestType": "CreateInput",
            "requestData": {"sceneName": scene, "inputName": name, "inputKind": kind,
                            "inputSettings": settings}}


def media(sound):
    return create("music", "ffmpeg_source",
                  {"local_file": sound, "looping": True, "restart_on_activate": False})


def lumacore(size, settings=None):
    width, height = size
    return create("Lumacore", "lumacore_source",
                  {"display": "history", "mode": "3d", "width": width, "height": height,
                   "audio_source": "music", "transparent": True, "title": "",
                   **(settings or {})})


def video(obs, width, height, fps=60):
    obs.request({"requestType": "SetVideoSettings",
                 "requestData": {"baseWidth": width, "baseHeight": height, "outputWidth": width,
                                 "outputHeight": height, "fpsNumerator": fps,
                                 "fpsDenominator": 1}})


def screenshot(module, sound, background, out):
    with Obs(module) as obs:
        video(obs, 1920, 1080)
        obs.request(create("background", "image_source", {"file": background}), media(sound),
                    lumacore((1920, 1080), {"title": "Lumacore in OBS Studio"}))
        time.sleep(12)  # the history fills with the music
        obs.request({"requestType": "SaveSourceScreenshot",
                     "requestData": {"sourceName": "Scene", "imageFormat": "png",
                                     "imageWidth": 800, "imageHeight": 450,
                                     "imageFilePath": os.path.abspath(out)}})
    print(out)


def measure(module, sound, seconds, sources):
    with Obs(module) as obs:
        video(obs, 1920, 1080)
        obs.request(media(sound), *sources)
        time.sleep(SETTLE_SECONDS)
        stats = obs.request({"requestType": "GetStats"})[0]
        cpu, start = obs.cpu_seconds(), time.monotonic()
        time.sleep(seconds)
        cpu, wall = obs.cpu_seconds() - cpu, time.monotonic() - start
        after = obs.request({"requestType": "GetStats"})[0]
    frames = after["renderTotalFrames"] - stats["renderTotalFrames"]
    skipped = after["renderSkippedFrames"] - stats["renderSkippedFrames"]
    return {"cpu": 100 * cpu / wall, "frame": after["averageFrameRenderTime"],
            "frames": frames, "skipped": skipped}


def figures(module, sound, picture, seconds):
    print(f"OBS Studio at 1920x1080, 60 frames/s, a media source playing {sound}; "
          f"{seconds:.0f} s each (load before: {os.getloadavg()[0]:.2f})")
    # The picture is the cost of any full-frame layer in this OBS: drawn each frame, uploaded once.
    for label, sources in (("without the source", []),
                           ("with a 1920x1080 picture (image source)",
                            [create("picture", "image_source", {"file": picture})]),
                           ("with the 3D history 1920x1080", [lumacore((1920, 1080))])):
        got = measure(module, sound, seconds, sources)
        print(f"{label}: CPU {got['cpu']:.1f} % of a core, average frame render "
              f"{got['frame']:.2f} ms (OBS's stats), {got['frames']} frames rendered, "
              f"{got['skipped']} skipped")


CHANGES = 20
CHANGE_SECONDS = 1.0


def counters(obs):
    """OBS's frame counters now: frames due, lagged (the video thread late, OBS's "skipped due to
    rendering lag") and skipped by the video output ("due to encoding lag")."""
    stats = obs.request({"requestType": "GetStats"})[0]
    return {"due": stats["renderTotalFrames"], "lagged": stats["renderSkippedFrames"],
            "output": stats["outputSkippedFrames"]}


def counted(obs, during):
    """The counters' growth while during() runs."""
    before = counters(obs)
    start = time.monotonic()
    during()
    after = counters(obs)
    got = {key: after[key] - before[key] for key in after}
    got["drawn"] = got["due"] - got["lagged"]
    got["seconds"] = time.monotonic() - start
    return got


def settings(obs, values):
    obs.request({"requestType": "SetInputSettings",
                 "requestData": {"inputName": "Lumacore", "inputSettings": values}})


def changes(module, sound):
    """Each setting that needs a new runner changed 20 times, against the same time without."""
    # 30 frames/s: at 60 the 1920x1080 history alone already costs OBS a third of its frames on
    # a software renderer, and the changes' own cost would be lost in that.
    print(f"OBS Studio at 1920x1080, 30 frames/s, a media source playing {sound}, the source "
          f"listening; {CHANGES} changes {CHANGE_SECONDS:.0f} s apart against "
          f"{CHANGES * CHANGE_SECONDS:.0f} s without (load before: {os.getloadavg()[0]:.2f})")
    history = {"display": "history", "mode": "3d", "rate": 60}
    cases = (
        ("the size, 3D history 1920x1080 <-> 1904x1072",
         {**history, "width": 1920, "height": 1080}, [{"width": 1904, "height": 1072},
                                                     {"width": 1920, "height": 1080}]),
        ("the display, 3D history 1920x1080 <-> oscilloscope",
         {**history, "width": 1920, "height": 1080}, [{"display": "oscilloscope"},
                                                     {"display": "history"}]),
        # One call a second: OBS's own cost of a picture this large stays small between changes.
        # The call rate needs a new runner and keeps the texture; the size needs a new texture
        # too, which OBS makes in its video thread.
        ("the call rate, 2D history 8192x4096, 1 <-> 2 calls/s",
         {**history, "mode": "2d", "rate": 1, "width": 8192, "height": 4096},
         [{"rate": 2}, {"rate": 1}]),
        ("the size, 2D history 4096x4096 <-> 4096x4080 at 1 call/s",
         {**history, "mode": "2d", "rate": 1, "width": 4096, "height": 4096},
         [{"height": 4080}, {"height": 4096}]),
    )
    with Obs(module) as obs:
        video(obs, 1920, 1080, 30)
        obs.request(media(sound), lumacore((1920, 1080)))
        for label, start, steps in cases:
            settings(obs, start)
            time.sleep(SETTLE_SECONDS)
            quiet = counted(obs, lambda: time.sleep(CHANGES * CHANGE_SECONDS))

            def change():
                begin = time.monotonic()
                for number in range(CHANGES):
                    settings(obs, steps[number % len(steps)])
                    time.sleep(max(0.0, begin + (number + 1) * CHANGE_SECONDS - time.monotonic()))
            changing = counted(obs, change)
            time.sleep(SETTLE_SECONDS)  # the last change's picture in before the next case
            for name, got in (("without changes", quiet), (f"{CHANGES} changes", changing)):
                print(f"{label}, {name}: {got['drawn']} frames drawn of {got['due']} due, "
                      f"{got['lagged']} lagged, {got['output']} skipped by the output "
                      f"({got['seconds']:.1f} s)")
        log = obs.stop()
    for line in log.splitlines():
        if "[lumacore-obs]" in line:
            print("OBS's log:", line.strip())


def main():
    arguments = sys.argv[1:]
    if len(arguments) == 5 and arguments[0] == "screenshot":
        screenshot(*arguments[1:])
    elif len(arguments) == 5 and arguments[0] == "figures":
        figures(arguments[1], arguments[2], arguments[3], float(arguments[4]))
    elif len(arguments) == 3 and arguments[0] == "changes":
        changes(arguments[1], arguments[2])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
