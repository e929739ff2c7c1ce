// The page around the WebAssembly display: where the sound comes from (a file the browser
// decodes, the built-in tune, a microphone or a shared tab, a frames file), the clock that says
// which moment is being heard, the canvas, the controls and the settings kept in localStorage.
// The module itself (analysis, drawing, banner) runs in lumacore.wasm, the same code as natively.
"use strict";

(() => {
  const MODULES = ["history", "scope", "vu"];
  const SCOPE_SIZE = { width: 289, height: 257 }; // the scope window's client area
  const TUNE_RATE = 44100;
  const SEEK_STEP = 5;
  const FRAMES_PATH = "/input.frames";
  const SETTINGS_KEY = "lumacore.settings";
  const TIMINGS_KEPT = 2000;

  const root = document.documentElement;
  const $ = (id) => document.getElementById(id);
  const stage = $("stage");
  const canvas = $("picture");
  const context = canvas.getContext("2d", { alpha: false });

  let lc = null; // the wasm module
  let state = "loading";
  let lastError = "";
  let audio = null; // the AudioContext, made on first need
  let track = null; // what plays: { buffer, title, offset, startedAt, node, length, ended }
  let frames = null; // a frames file shown without sound: { length, started, offset, paused }
  let live = null; // { stream, source, tap, sink }
  let soundNumber = 0;
  let heard = 0; // the last time shown, never going back while nothing seeks
  let shownTitle = ""; // the banner's title of what is shown
  let firstPicture = true;
  const timings = []; // ms per picture drawn: render calls + conversion + canvas upload

  // ---- state and messages --------------------------------------------------------------

  const HELD = "The browser holds the sound until you click the page or press a key.";

  function setState(next) {
    state = next;
    root.dataset.state = next;
    $("play").disabled = !(track || frames);
    $("play").textContent = next === "paused" ? "Play" : "Pause";
  }

  function say(text) {
    lastError = text;
    $("message").textContent = text;
    $("message").hidden = !text;
    if (text) console.warn("lumacore: " + text);
  }

  function wasmError(where) {
    const text = lc.UTF8ToString(lc._lumacore_error()).split(FRAMES_PATH).join(where);
    return text || "failed";
  }

  // A failure nothing else caught (a browser without something the page needs, memory running
  // out): one line on the page instead of an unhandled rejection. A page that had not started
  // says so and stops; one that had stays as it was.
  function failed(e) {
    const why = (e && e.message) || String(e);
    if (state === "loading") {
      say(`Lumacore could not start: ${why}.`);
      setState("error");
    } else {
      say(`Lumacore failed: ${why}.`);
    }
  }

  // Runs `action` (which may return a promise), saying what went wrong instead of throwing.
  function reported(action) {
    return (...args) => {
      try {
        return Promise.resolve(action(...args)).catch(failed);
      } catch (e) {
        failed(e);
        return Promise.resolve();
      }
    };
  }

  window.lumacorePage = {
    get state() { return state; },
    get time() { return heard; },
    get error() { return lastError; },
    get picture() { return { width: canvas.width, height: canvas.height }; },
    get title() { return shownTitle; },
    // Milliseconds per picture drawn (render calls, conversion and canvas upload), newest last.
    get timings() { return timings.slice(); },
    // Render calls made since the display started, and the wasm module's memory in bytes.
    get calls() { return lc ? lc._lumacore_calls_made() : 0; },
    get memory() { return lc ? lc.HEAPU8.buffer.byteLength : 0; },
  };

  // ---- settings: localStorage, then the address's parameters (kept only when changed) ----

  const defaults = { module: "history", mode: "3d", brightness: 1.0, listen: "microphone" };
  function loadSettings() {
    try {
      const kept = JSON.parse(localStorage.getItem(SETTINGS_KEY) || "{}");
      return Object.assign({}, defaults, kept);
    } catch (e) {
      return Object.assign({}, defaults);
    }
  }
  const settings = loadSettings();
  function keep(name, value) {
    settings[name] = value;
    try {
      const kept = JSON.parse(localStorage.getItem(SETTINGS_KEY) || "{}");
      kept[name] = value;
      localStorage.setItem(SETTINGS_KEY, JSON.stringify(kept));
    } catch (e) {
      // Storage refused (private browsing, quota): the setting holds for this visit.
    }
  }

  const params = new URLSearchParams(location.search);
  const problems = [];
  const display = {
    module: settings.module, mode: settings.mode, brightness: Number(settings.brightness),
    size: null, rate: 60, title: null,
  };
  if (!MODULES.includes(display.module)) display.module = "history";
  if (display.mode !== "2d" && display.mode !== "3d") display.mode = "3d";
  if (!(display.brightness >= 0.2 && display.brightness <= 2)) display.brightness = 1;

  function numberParam(name, low, high) {
    if (!params.has(name)) return null;
    const text = params.get(name);
    const value = Number(text);
    if (text === "" || !Number.isFinite(value) || value < low || value > high) {
      problems.push(`${name}=${text}: not a number from ${low} to ${high}`);
      return null;
    }
    return value;
  }
  if (params.has("module")) {
    if (MODULES.includes(params.get("module"))) display.module = params.get("module");
    else problems.push(`module=${params.get("module")}: not history, scope or vu`);
  }
  if (params.has("mode")) {
    if (["2d", "3d"].includes(params.get("mode"))) display.mode = params.get("mode");
    else problems.push(`mode=${params.get("mode")}: not 2d or 3d`);
  }
  const brightnessParam = numberParam("brightness", 0.2, 2);
  if (brightnessParam !== null) display.brightness = brightnessParam;
  const rateParam = numberParam("rate", 1, 1000);
  if (rateParam !== null) display.rate = rateParam;
  if (params.has("size")) {
    const match = /^(\d{1,4})x(\d{1,4})$/.exec(params.get("size"));
    const size = match && { width: Number(match[1]), height: Number(match[2]) };
    if (size && size.width >= 1 && size.height >= 1 && size.width <= 4096 && size.height <= 4096)
      display.size = size;
    else problems.push(`size=${params.get("size")}: not WIDTHxHEIGHT, 1 to 4096 each`);
  }
  if (params.has("title")) display.title = params.get("title");
  const at = numberParam("at", 0, 1e6);

  // ---- the picture ----------------------------------------------------------------------

  function moduleNumber() { return MODULES.indexOf(display.module); }

  // The picture's size: the scopes' window, the history at the address's size or the stage's.
  function pictureSize() {
    if (display.module !== "history") return SCOPE_SIZE;
    if (display.size) return display.size;
    return {
      width: Math.max(1, Math.min(4096, stage.clientWidth)),
      height: Math.max(1, Math.min(4096, stage.clientHeight)),
    };
  }

  // The canvas on the stage: enlarged by the largest whole factor that fits (shrunk to fit when
  // even one does not), centred, never smoothed.
  function placeCanvas() {
    const width = stage.clientWidth, height = stage.clientHeight;
    let factor = Math.floor(Math.min(width / canvas.width, height / canvas.height));
    if (factor < 1) factor = Math.min(width / canvas.width, height / canvas.height);
    const shownWidth = Math.max(1, Math.round(canvas.width * factor));
    const shownHeight = Math.max(1, Math.round(canvas.height * factor));
    canvas.style.width = shownWidth + "px";
    canvas.style.height = shownHeight + "px";
    canvas.style.left = Math.floor((width - shownWidth) / 2) + "px";
    canvas.style.top = Math.floor((height - shownHeight) / 2) + "px";
  }

  function draw() {
    const width = lc._lumacore_width(), height = lc._lumacore_height();
    const pixels = lc._lumacore_pixels();
    if (!pixels || width < 1 || height < 1) return;
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
      placeCanvas();
    }
    const bytes = new Uint8ClampedArray(lc.HEAPU8.buffer, pixels, width * height * 4);
    context.putImageData(new ImageData(bytes, width, height), 0, 0);
    if (firstPicture) {
      firstPicture = false;
      performance.mark("lumacore-first-picture");
    }
  }

  // Starts the display over the source just chosen, with the address's title if it gives one;
  // false after saying why not.
  function startDisplay(sourceTitle) {
    const shown = display.title !== null ? display.title : sourceTitle;
    const size = pictureSize();
    const result = lc._lumacore_start(moduleNumber(), display.mode === "3d" ? 1 : 0,
      display.brightness, size.width, size.height, display.rate, cString(shown));
    if (result !== 0) {
      say(wasmError("the display"));
      return false;
    }
    shownTitle = shown;
    heard = 0;
    draw();
    return true;
  }

  // Makes the calls due by `time` and draws when the picture changed.
  function show(time) {
    const started = performance.now();
    const changed = lc._lumacore_advance(time);
    if (changed < 0) {
      say(wasmError("the input"));
      return;
    }
    if (changed > 0) {
      draw();
      timings.push(performance.now() - started);
      if (timings.length > TIMINGS_KEPT) timings.splice(0, timings.length - TIMINGS_KEPT);
    }
  }

  // A string in the wasm module's memory for one call (kept until the next).
  let stringSpace = 0;
  function cString(text) {
    const length = lc.lengthBytesUTF8(text) + 1;
    if (stringSpace) lc._free(stringSpace);
    stringSpace = lc._malloc(length);
    lc.stringToUTF8(text, stringSpace, length);
    return stringSpace;
  }

  // ---- sound ----------------------------------------------------------------------------

  function audioContext() {
    if (audio) return audio;
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return null;
    try {
      audio = new Context({ sampleRate: TUNE_RATE, latencyHint: "interactive" });
    } catch (e) {
      try {
        audio = new Context(); // a browser that will not open at that rate
      } catch (again) {
        return null; // none to be had (no sound device, too many contexts): as without Web Audio
      }
    }
    if (audio.state === "running") runningSince = audio.currentTime;
    audio.addEventListener("statechange", () => {
      runningSince = audio.state === "running" ? audio.currentTime : Infinity;
      if (audio.state === "running" && lastError === HELD) say("");
    });
    return audio;
  }

  // The sound's output and base latency, read again once a second, and only once the sound has
  // run for a second: Firefox can stall the page for good when outputLatency is read while its
  // sound device starts (seen with PulseAudio). Until then the picture is drawn that much early.
  let runningSince = Infinity; // the context's time when it last began to run
  let latency = 0;
  let latencyRead = -Infinity;
  function soundLatency() {
    const now = audio.currentTime;
    if (now - runningSince >= 1 && now - latencyRead >= 1) {
      latency = (audio.outputLatency || 0) + (audio.baseLatency || 0);
      latencyRead = now;
    }
    return latency;
  }

  // Hands the page's channels to the wasm module as sound number n.
  function registerSound(left, right, sampleRate, title) {
    if (!lc.sounds) lc.sounds = new Map();
    lc.sounds.clear(); // one source at a time
    const id = ++soundNumber;
    lc.sounds.set(id, [left, right]);
    if (lc._lumacore_use_sound(id, left.length, sampleRate, cString(title)) !== 0) {
      say(wasmError(title)); // the message names the sound
      return false;
    }
    return true;
  }

  // The built-in tune's two channels, made by the wasm module (the same code as natively): its
  // whole length at once, filled a block at a time by makeTune().
  let demo = null; // { channels, made, title }
  function demoTune() {
    if (!demo) {
      const total = lc._lumacore_demo_frames();
      demo = {
        channels: [new Float32Array(total), new Float32Array(total)],
        made: 0,
        title: lc.UTF8ToString(lc._lumacore_demo_title()),
      };
    }
    return demo;
  }
  function makeTune(until) {
    const tune = demoTune();
    const block = 65536;
    const left = lc._malloc(block * 4), right = lc._malloc(block * 4);
    const end = Math.min(until, tune.channels[0].length);
    while (tune.made < end) {
      const got = lc._lumacore_demo_read(tune.made, left, right, Math.min(block, end - tune.made));
      if (got <= 0) break;
      tune.channels[0].set(lc.HEAPF32.subarray(left >> 2, (left >> 2) + got), tune.made);
      tune.channels[1].set(lc.HEAPF32.subarray(right >> 2, (right >> 2) + got), tune.made);
      tune.made += got;
    }
    lc._free(left);
    lc._free(right);
    return tune;
  }

  function stopAll() {
    if (track && track.node) {
      track.node.onended = null;
      track.node.stop();
    }
    track = null;
    frames = null;
    stopListening();
  }

  // Plays `buffer` (an AudioBuffer) with the display drawn from it, or from `channels` of
  // `length` seconds when given (the demo, whose head plays first); false after saying why not.
  function playBuffer(buffer, title, channels, length) {
    stopAll();
    const left = channels ? channels[0] : buffer.getChannelData(0);
    const right = channels ? channels[1]
      : buffer.numberOfChannels > 1 ? buffer.getChannelData(1) : left;
    if (!registerSound(left, right, buffer.sampleRate, title)) return false;
    if (!startDisplay(title)) return false;
    length = length || buffer.duration;
    track = { buffer, title, offset: 0, startedAt: 0, node: null, length };
    setPosition(length);
    startNode(0);
    setState("playing");
    resumeSound();
    return true;
  }

  // A browser may hold the sound until the page is clicked or a key is pressed. Firefox says
  // whether it does (getAutoplayPolicy); elsewhere a context still suspended a moment later on a
  // page the user has not touched is held. Firefox's context starts suspended even after a click
  // and runs once its sound device is open, which can take a second: the line is said only when
  // the browser holds the sound, and goes as soon as the sound runs (audioContext()).
  function resumeSound() {
    if (audio.state !== "suspended") return;
    audio.resume();
    if (navigator.getAutoplayPolicy) {
      if (navigator.getAutoplayPolicy(audio) === "disallowed") holdUntilTouched();
      return;
    }
    setTimeout(() => {
      if (!audio || audio.state !== "suspended" || state !== "playing") return;
      if (navigator.userActivation && navigator.userActivation.hasBeenActive) return;
      holdUntilTouched();
    }, 300);
  }

  function holdUntilTouched() {
    say(HELD);
    const go = () => {
      audio.resume().then(() => {
        if (lastError === HELD) say("");
      });
      document.removeEventListener("pointerdown", go);
      document.removeEventListener("keydown", go);
    };
    document.addEventListener("pointerdown", go);
    document.addEventListener("keydown", go);
  }

  function startNode(offset) {
    const node = audio.createBufferSource();
    node.buffer = track.buffer;
    node.connect(audio.destination);
    node.onended = () => {
      if (track && track.node === node) track.ended = true;
    };
    const when = audio.currentTime;
    node.start(when, offset);
    track.node = node;
    track.offset = offset;
    track.startedAt = when;
    track.ended = false;
  }

  // What is being heard: the context's time less its output latency, from where the sound
  // started; never back unless sought.
  function heardTime() {
    if (track) {
      const time = track.offset + Math.max(0, audio.currentTime - track.startedAt - soundLatency());
      return Math.min(Math.max(heard, time), track.length);
    }
    if (frames) {
      if (frames.paused) return heard;
      const time = frames.offset + (performance.now() - frames.started) / 1000;
      return Math.min(time, frames.length);
    }
    if (live) return Math.max(heard, lc._lumacore_live_time());
    return null;
  }

  // The demo starts from its first seconds while the rest is made: the head plays at once, and
  // the whole tune takes over from the moment the head ends, on the same time line.
  const DEMO_HEAD_SECONDS = 4;
  async function playDemo() {
    say("");
    const context = audioContext();
    const tune = demoTune();
    const total = tune.channels[0].length;
    if (!context) {
      say("This browser has no Web Audio: the demo's pictures play without sound.");
      makeTune(total);
      if (!registerSound(tune.channels[0], tune.channels[1], TUNE_RATE, tune.title)) return;
      playSilently(total / TUNE_RATE, tune.title);
      return;
    }
    const headFrames = Math.min(total, DEMO_HEAD_SECONDS * TUNE_RATE);
    makeTune(headFrames);
    const head = context.createBuffer(2, headFrames, TUNE_RATE);
    head.copyToChannel(tune.channels[0].subarray(0, headFrames), 0);
    head.copyToChannel(tune.channels[1].subarray(0, headFrames), 1);
    // The analysis reads the channels, which are made far ahead of what is heard.
    if (!playBuffer(head, tune.title, tune.channels, total / TUNE_RATE)) return;
    const playing = track;
    $("position").disabled = true; // until the whole tune is there
    while (tune.made < total) {
      await new Promise((resolve) => setTimeout(resolve, 0)); // let the page draw meanwhile
      if (track !== playing) return;
      makeTune(tune.made + 4 * 65536);
    }
    if (track !== playing) return;
    const whole = context.createBuffer(2, total, TUNE_RATE);
    whole.copyToChannel(tune.channels[0], 0);
    whole.copyToChannel(tune.channels[1], 1);
    track.buffer = whole;
    $("position").disabled = false;
    track.ended = false;
    const headEnd = track.startedAt + headFrames / TUNE_RATE;
    const node = audio.createBufferSource();
    node.buffer = whole;
    node.connect(audio.destination);
    const now = audio.currentTime;
    if (headEnd > now) {
      node.start(headEnd, headFrames / TUNE_RATE);
    } else { // a slow machine: go on from where the head stopped
      node.start(now, headFrames / TUNE_RATE);
      track.startedAt = now - headFrames / TUNE_RATE;
    }
    track.node.onended = null;
    node.onended = () => {
      if (track && track.node === node) track.ended = true;
    };
    track.node = node;
  }

  async function openFile(file) {
    say("");
    const context = audioContext();
    if (!context) {
      say(`${file.name}: this browser has no Web Audio to decode it with.`);
      return;
    }
    let buffer;
    try {
      buffer = await context.decodeAudioData(await file.arrayBuffer());
    } catch (e) {
      say(`${file.name}: the browser cannot decode this file (${(e && e.message) || e}).`);
      return;
    }
    if (!buffer.length) {
      say(`${file.name}: the file holds no sound.`);
      return;
    }
    playBuffer(buffer, file.name);
  }

  // A source with no sound to hear (a frames file, no Web Audio): the page's clock plays it.
  function playSilently(length, title) {
    if (!startDisplay(title)) return;
    frames = { length, started: performance.now(), offset: 0, paused: false };
    setPosition(length);
    setState("playing");
  }

  // The name a frames address's file goes by: its last part, unescaped where it is escaped
  // ("100%.frames" stays as it is).
  function fileName(url) {
    const last = url.split(/[?#]/)[0].split("/").pop() || url;
    try {
      return decodeURIComponent(last);
    } catch (e) {
      return last;
    }
  }

  async function loadFrames(url) {
    const name = fileName(url);
    // A % that escapes nothing is the file's own ("?frames=100%25.frames" gives "100%.frames"):
    // it is escaped for the request, which the server then takes back to the name.
    const address = url.replace(/%(?![0-9A-Fa-f]{2})/g, "%25");
    let bytes;
    try {
      const response = await fetch(address);
      if (!response.ok) throw new Error(`${response.status} ${response.statusText}`.trim());
      bytes = new Uint8Array(await response.arrayBuffer());
    } catch (e) {
      say(`${name}: cannot fetch the frames file (${(e && e.message) || e}).`);
      return null;
    }
    lc.FS.writeFile(FRAMES_PATH, bytes);
    const length = lc._lumacore_use_frames();
    if (length < 0) {
      say(wasmError(name));
      return null;
    }
    return { name, length };
  }

  // ---- listening ----------------------------------------------------------------------------

  const TAP = `class Tap extends AudioWorkletProcessor {
    process(inputs) {
      const input = inputs[0];
      if (input && input.length) this.port.postMessage([input[0].slice(),
        (input[1] || input[0]).slice()]);
      return true;
    }
  }
  registerProcessor("lumacore-tap", Tap);`;

  async function listen() {
    say("");
    const context = audioContext();
    if (!context || !context.audioWorklet) {
      say("This browser cannot hand captured sound to the page (no Web Audio worklets).");
      return;
    }
    const devices = navigator.mediaDevices;
    const wanted = $("listen-source").value;
    if (!devices || (wanted === "tab" ? !devices.getDisplayMedia : !devices.getUserMedia)) {
      say("This browser does not let the page capture sound here (it needs https or localhost).");
      return;
    }
    let stream;
    try {
      stream = wanted === "tab"
        ? await devices.getDisplayMedia({ video: true, audio: true })
        : await devices.getUserMedia({
          audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false },
        });
    } catch (e) {
      say(`No sound to listen to: ${(e && e.message) || e}.`);
      return;
    }
    for (const video of stream.getVideoTracks()) video.stop();
    if (!stream.getAudioTracks().length) {
      say("What was shared has no sound (share a tab and tick its audio).");
      return;
    }
    try {
      if (!context.lumacoreTap) {
        const url = URL.createObjectURL(new Blob([TAP], { type: "application/javascript" }));
        await context.audioWorklet.addModule(url);
        context.lumacoreTap = true;
      }
    } catch (e) {
      say(`Cannot listen: ${(e && e.message) || e}.`);
      return;
    }
    stopAll();
    if (lc._lumacore_use_live(context.sampleRate) !== 0) {
      say(wasmError("the live sound"));
      return;
    }
    const source = context.createMediaStreamSource(stream);
    const tap = new AudioWorkletNode(context, "lumacore-tap");
    const sink = context.createGain();
    sink.gain.value = 0; // heard where it plays already; here only drawn
    source.connect(tap);
    tap.connect(sink);
    sink.connect(context.destination);
    tap.port.onmessage = (event) => pushLive(event.data[0], event.data[1]);
    live = { stream, source, tap, sink };
    stream.getAudioTracks()[0].onended = () => {
      if (live && live.stream === stream) {
        stopListening();
        setState("ready");
      }
    };
    if (context.state === "suspended") await context.resume();
    if (!startDisplay(stream.getAudioTracks()[0].label ||
        "Listening")) return;
    setPosition(0);
    setState("listening");
  }

  // A block from the worklet; none is kept while the tab is hidden (nothing draws it then: on
  // return the display gathers again from the live position).
  function pushLive(left, right) {
    if (!live || document.hidden) return;
    const count = left.length;
    const space = lc._lumacore_live_space(count);
    if (!space) return;
    const heap = lc.HEAPF32;
    let at = space >> 2;
    for (let i = 0; i < count; ++i) {
      heap[at++] = left[i];
      heap[at++] = right[i];
    }
    if (lc._lumacore_live_push(count) !== 0) say(wasmError("the live sound"));
  }

  function stopListening() {
    if (!live) return;
    live.tap.port.onmessage = null;
    live.source.disconnect();
    live.tap.disconnect();
    live.sink.disconnect();
    for (const t of live.stream.getTracks()) t.stop();
    live = null;
  }

  // ---- controls -------------------------------------------------------------------------

  function formatTime(seconds) {
    const s = Math.max(0, Math.floor(seconds));
    return `${Math.floor(s / 60)}:${String(s % 60).padStart(2, "0")}`;
  }

  function setPosition(length) {
    const bar = $("position");
    bar.max = String(length > 0 ? length : 0);
    bar.disabled = !(length > 0);
    bar.value = "0";
  }

  function pause(paused) {
    if (track) {
      if (paused) audio.suspend();
      else audio.resume();
    } else if (frames) {
      if (paused) frames.offset = heard;
      else frames.started = performance.now();
      frames.paused = paused;
    } else {
      return;
    }
    setState(paused ? "paused" : "playing");
  }

  function seek(seconds) {
    const length = track ? track.length : frames ? frames.length : 0;
    if (!(length > 0)) return;
    if (track && track.buffer.duration < track.length) return; // the demo's head alone so far
    const target = Math.min(Math.max(0, seconds), Math.max(0, length - 0.05));
    if (lc._lumacore_seek(target) !== 0) {
      say(wasmError("the input"));
      return;
    }
    heard = target;
    if (track) {
      track.node.onended = null;
      track.node.stop();
      startNode(target);
    } else {
      frames.offset = target;
      frames.started = performance.now();
    }
  }

  function setModule(name) {
    display.module = name;
    keep("module", name);
    $("module").value = name;
    if (!lc || !lc._lumacore_width()) return;
    const size = pictureSize();
    if (lc._lumacore_set_module(moduleNumber(), size.width, size.height) !== 0) {
      say(wasmError("the display"));
      return;
    }
    // Another module starts afresh as in the player; the history takes its mode and brightness.
    lc._lumacore_set_mode(display.mode === "3d" ? 1 : 0);
    lc._lumacore_set_brightness(display.brightness);
    draw();
  }

  function setMode(mode) {
    display.mode = mode;
    keep("mode", mode);
    $("mode").value = mode;
    if (lc) lc._lumacore_set_mode(mode === "3d" ? 1 : 0);
  }

  function setBrightness(value) {
    display.brightness = Math.min(2, Math.max(0.2, Math.round(value * 10) / 10));
    keep("brightness", display.brightness);
    $("brightness").value = String(display.brightness);
    if (lc) lc._lumacore_set_brightness(display.brightness);
  }

  function toggleFullscreen(on) {
    const now = document.fullscreenElement === stage;
    const wanted = on === undefined ? !now : on;
    if (wanted === now) return;
    const request = wanted ? stage.requestFullscreen && stage.requestFullscreen()
      : document.exitFullscreen && document.exitFullscreen();
    if (request && request.catch) request.catch((e) => say(`Full screen refused: ${e.message}.`));
  }

  function displayFocused(target) {
    return !target || target === root || target === document.body || stage.contains(target);
  }

  function wireControls() {
    $("demo").onclick = reported(playDemo);
    $("file").onchange = (event) => {
      const file = event.target.files[0];
      if (file) reported(openFile)(file);
      event.target.value = "";
    };
    $("listen").onclick = reported(listen);
    $("listen-source").value = settings.listen === "tab" ? "tab" : "microphone";
    $("listen-source").onchange = (event) => keep("listen", event.target.value);
    $("play").onclick = () => pause(state !== "paused");
    $("position").oninput = (event) => seek(Number(event.target.value));
    $("module").value = display.module;
    $("module").onchange = (event) => setModule(event.target.value);
    $("mode").value = display.mode;
    $("mode").onchange = (event) => setMode(event.target.value);
    $("brightness").value = String(display.brightness);
    $("brightness").oninput = (event) => setBrightness(Number(event.target.value));
    $("fullscreen").onclick = () => toggleFullscreen();
    document.addEventListener("fullscreenchange", () => {
      if (document.fullscreenElement === stage) stage.focus({ preventScroll: true });
      placeCanvas();
    });
    $("controls").addEventListener("click", (event) => {
      if (event.detail > 0 && event.target.closest("button"))
        stage.focus({ preventScroll: true });
    });

    // The display's keys act while the display has the focus (nothing else has, or the stage):
    // a focused control keeps its own keys (Space and Enter press a button, Tab moves on, the
    // arrows move a slider), except Escape, which leaves full screen from anywhere. Shift+Tab
    // goes from the display to the controls. A button pressed with the mouse hands the focus
    // back to the display, and so does full screen, where the controls are not to be seen.
    document.addEventListener("keydown", (event) => {
      if (event.ctrlKey || event.altKey || event.metaKey) return;
      if (!displayFocused(event.target)) {
        if (event.key === "Escape") toggleFullscreen(false);
        return;
      }
      if (event.key === "Tab" && event.shiftKey) return;
      const time = heard;
      const actions = {
        "Tab": () => toggleFullscreen(),
        "Escape": () => toggleFullscreen(),
        "Enter": () => toggleFullscreen(false),
        " ": () => pause(state !== "paused"),
        "ArrowLeft": () => seek(time - SEEK_STEP),
        "ArrowRight": () => seek(time + SEEK_STEP),
        "m": () => setModule(MODULES[(moduleNumber() + 1) % MODULES.length]),
        "d": () => setMode(display.mode === "3d" ? "2d" : "3d"),
        "+": () => setBrightness(display.brightness + 0.1),
        "=": () => setBrightness(display.brightness + 0.1),
        "-": () => setBrightness(display.brightness - 0.1),
      };
      const action = actions[event.key.length === 1 ? event.key.toLowerCase() : event.key];
      if (!action) return;
      event.preventDefault();
      action();
    });

    // Files dropped anywhere on the page: the first one plays.
    document.addEventListener("dragover", (event) => {
      event.preventDefault();
      root.classList.add("dragging");
    });
    document.addEventListener("dragleave", () => root.classList.remove("dragging"));
    document.addEventListener("drop", (event) => {
      event.preventDefault();
      root.classList.remove("dragging");
      const file = event.dataTransfer && event.dataTransfer.files[0];
      if (file) reported(openFile)(file);
    });

    // The history is laid out again at the stage's new size, as its window is on a resize.
    new ResizeObserver(() => {
      if (lc && lc._lumacore_width() && display.module === "history" && !display.size) {
        const size = pictureSize();
        if (size.width !== canvas.width || size.height !== canvas.height) {
          lc._lumacore_set_size(size.width, size.height);
          draw();
        }
      }
      placeCanvas();
    }).observe(stage);

    // A tab in the background has no animation frames. A track or the demo plays on and the
    // first frame back draws where it is (the runner makes only the calls the picture can still
    // show); live sound is not kept meanwhile, and the display gathers again from the live
    // position, so nothing old is drawn late.
    document.addEventListener("visibilitychange", () => {
      if (document.hidden) return;
      lastClock = -1; // the clock and the position bar are written on the next frame
      if (live && lc._lumacore_width() && lc._lumacore_seek(0) !== 0)
        say(wasmError("the live sound"));
    });
  }

  // ---- the loop -------------------------------------------------------------------------

  let lastClock = -1;
  function tick() {
    requestAnimationFrame(tick);
    const time = heardTime();
    if (time === null || time < 0) return;
    heard = time;
    show(time);
    const whole = Math.floor(time);
    if (whole !== lastClock) {
      lastClock = whole;
      $("clock").textContent = formatTime(time);
      if (document.activeElement !== $("position")) $("position").value = String(time);
    }
    if (track && track.ended && time >= track.length) {
      track.node = null;
      setState("ready");
      track = null;
    } else if (frames && time >= frames.length && state === "playing") {
      setState("ready");
      frames = null;
    }
  }

  // ---- start ----------------------------------------------------------------------------

  async function scripted() {
    // The picture at `at` seconds, rendered silently: the demo tune or a frames file.
    let title;
    if (params.has("frames")) {
      const loaded = await loadFrames(params.get("frames"));
      if (!loaded) return setState("ready");
      title = loaded.name;
    } else {
      const tune = makeTune(Infinity);
      if (!registerSound(tune.channels[0], tune.channels[1], TUNE_RATE, tune.title))
        return setState("ready");
      title = tune.title;
    }
    if (!startDisplay(title)) return setState("ready");
    // Every call up to `at`, as `lumacore render` makes them: a frame's catch-up makes only
    // those the picture can still show.
    if (lc._lumacore_render_at(at) !== 0) {
      say(wasmError("the input"));
      return setState("ready");
    }
    draw();
    heard = at;
    $("clock").textContent = formatTime(at);
    setState("shown");
  }

  async function main() {
    if (typeof WebAssembly !== "object" || typeof createLumacore !== "function") {
      say("This browser cannot run Lumacore: it has no WebAssembly.");
      setState("error");
      return;
    }
    try {
      lc = await createLumacore();
    } catch (e) {
      say(`Lumacore could not start: ${(e && e.message) || e}.`);
      setState("error");
      return;
    }
    performance.mark("lumacore-ready");
    wireControls();
    setState("ready");
    if (problems.length) say(problems.join("; "));
    requestAnimationFrame(tick);
    if (at !== null && (params.has("demo") || params.has("frames"))) {
      await scripted();
    } else if (params.has("frames")) {
      const loaded = await loadFrames(params.get("frames"));
      if (loaded) playSilently(loaded.length, loaded.name);
    } else if (params.has("demo")) {
      await playDemo();
    }
  }

  main().catch(failed);
})();
