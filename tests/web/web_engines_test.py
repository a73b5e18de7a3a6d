#!/usr/bin/env python3
"""The show's web page in Firefox ESR and in WebKitGTK's MiniBrowser, each
on a private Xvfb and sounding into a private PulseAudio null sink.

    web_engines_test.py ENGINE CASE SITE CAPTURE WORKDIR

ENGINE is firefox or webkit. CASE is one of:
  all      start, checks and samples below, in one browser
  start    five fresh pages, each started by a click: the song sounds
           through Web Audio within 5 s of the click, the context running
           and a stream playing into the sound server
  checks   on a running show: the first frame drawn, P pauses (the frame
           holds) and resumes, #t=70 lands near its frame, a WebGL context
           lost and given back goes on, and no errors on the console
  samples  a 1.5 s busy loop on the page's main thread 5 s into the show
           puts the song at most 0.15 s further behind its output; after
           10 s of song, Escape ends the show, and every sample the page
           handed to Web Audio is the desktop's song in the same calls
  late     (firefox) the context's resume held for 3 s: the page says
           "starting sound…" meanwhile, and the song sounds once it runs;
           a resume after a pause held as long shows the same line while
           the song and the frame wait
  file     (chromium too) brinelux.html from a fresh unpacked web zip,
           opened from file:// with no server: the title card within 5 s
           of the click, byte for byte the capture's at the canvas's size;
           the song sounding within 5 s; #t=70 on its frame; every sample
           the desktop's; prints its load times from the disk and served
  transition  (first in all; chromium too) a first visit's thanks card and
           water, whose programs compile on the main thread: the song is
           not starved and its position never steps back; prints the
           longest hold of the main thread
Each case that fails says why; the others still run.
"""
import base64
import os
import signal
import subprocess
import sys
import tempfile
import time
import traceback

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tools"))
sys.path.insert(0, here)
from web_engines import Display, Firefox, HookedSite, NullSound, WebKit  # noqa: E402
from web_page import Browser as Chromium, PageError, ServedSite  # noqa: E402
import web_page_test  # noqa: E402

READY = "document.getElementById('first').textContent === 'click or press a key to start'"
NOTE = ("document.getElementById('note').classList.contains('hidden') ? null : "
        "document.getElementById('note').textContent")
# The song's lag behind the output, in samples (0.15 s at 44.1 kHz).
MOST_BEHIND = 6615


# The private sound server the browser plays into.
sound_server = None


class CaseFailed(Exception):
    pass


def fail(why):
    raise CaseFailed(why)


def first_screen(page, url, query):
    page.open(url + "/index.html" + query)
    page.wait_for(READY, timeout=60)


def sounding(page, what, within=8):
    """Waits for the song to sound after the click; returns the page's times
    (ms since the click) of the context running and the song sounding."""
    try:
        page.wait_for("typeof Module.soundingMs === 'number'", timeout=within)
    except PageError:
        fail("%s: Module.soundingMs not set within %d s of the click: no song sounded, or the page lacks "
             "the hook (context %s, Module.soundState %s)" %
             (what, within, page.evaluate("Module.audioContext ? Module.audioContext.state : 'none'"),
              page.evaluate("JSON.stringify(Module.soundState)")))
    start, context, sound, state = page.evaluate(
        "[Module.showStartMs, Module.contextRunningMs, Module.soundingMs, "
        "Module.audioContext ? Module.audioContext.state : 'none']")
    if start is None:
        fail("%s: the page did not set Module.showStartMs at the click" % what)
    return (None if context is None else context - start), sound - start, state


def start(page, url, work):
    times, faults = [], []
    for i in range(5):
        first_screen(page, url, "?soundstate")
        page.click(512, 384)
        # Each start is its own trial: all five are reported.
        try:
            context, sound, state = sounding(page, "start %d" % (i + 1))
        except CaseFailed as e:
            times.append(None)
            faults.append(str(e))
            print(e)
            continue
        times.append(context)
        print("start %d: the context ran %s ms and the song sounded %.0f ms after the click (%s)" %
              (i + 1, "?" if context is None else "%.0f" % context, sound, state))
        if sound > 5000:
            faults.append("start %d: the song sounded %.0f ms after the click, over 5 s" % (i + 1, sound))
        if state != "running":
            faults.append("start %d: the audio context is %s once the song sounds" % (i + 1, state))
        if not sound_server.playing():
            faults.append("start %d: the song sounds on the page but no stream plays into the sound server" %
                          (i + 1))
    print("the five context start times (ms after the click): %s" %
          ", ".join("?" if t is None else "%.0f" % t for t in times))
    if faults:
        fail("; ".join(faults))


def report_latency(page):
    """Prints the output latency the engine tells and the page subtracts."""
    used = page.wait_for("Module.outputLatency !== undefined && [Module.outputLatency]", timeout=30)[0]
    # Firefox's figures are not asked here either: asking can hang it.
    if page.evaluate("/Firefox\\//.test(navigator.userAgent)"):
        if used != 0:
            fail("Firefox's output latency was asked (%.1f ms subtracted)" % (1000 * used))
        print("output latency subtracted: none (Firefox, not asked)")
        return
    told, base, stamp = page.evaluate("[Module.audioContext.outputLatency, Module.audioContext.baseLatency, "
                                      "typeof Module.audioContext.getOutputTimestamp]")
    print("output latency subtracted: %.1f ms (outputLatency %s, baseLatency %s, getOutputTimestamp %s)" %
          (1000 * used, told, base, stamp))


def errors(console):
    return [(level, text) for level, text in console if level in ("error", "exception")]


def checks(page, url, work):
    # On a running show: the one start's last page if it is there.
    if not page.evaluate("!!(window.Module && Module.showStartMs !== undefined && "
                         "window.brineluxEnded === undefined)"):
        first_screen(page, url, "?soundstate")
        page.click(512, 384)
    page.wait_for("Module.shownFrame > 0", timeout=30)
    print("first frame drawn: frame %d" % page.evaluate("Module.shownFrame"))
    report_latency(page)

    # Paused, the frame holds; resumed, it moves on.
    page.key("KeyP", "p")
    page.wait_for("document.getElementById('play').getAttribute('aria-label') === 'Play'", timeout=10)
    page.pump(0.3)
    held = page.evaluate("Module.shownFrame")
    page.pump(1.0)
    later = page.evaluate("Module.shownFrame")
    if later != held:
        fail("paused, the frame went %d -> %d" % (held, later))
    page.key("KeyP", "p")
    page.wait_for("Module.shownFrame > %d" % held, timeout=10)
    print("paused at frame %d for 1 s; resumed" % held)

    # A seek by the address: the first frame after it is near its moment's.
    page.evaluate("""(window.seen = [], function note() {
        var f = Module.shownFrame;
        if (!seen.length || seen[seen.length - 1] !== f) seen.push(f);
        requestAnimationFrame(note); })(), 1""")
    page.evaluate("location.hash = '#t=70', 1")
    due = 70 * 25 + 1
    page.wait_for("Module.shownFrame >= %d" % due, timeout=30)
    landed = [f for f in page.evaluate("seen") if f >= due - 25]
    # A scene frame may take the software renderer a second or two.
    if not landed or not due <= landed[0] <= due + 50:
        fail("#t=70: the frames after the seek were %s, not from frame %d on" % (landed[:5], due))
    print("#t=70: landed on frame %d (its moment's is %d)" % (landed[0], due))

    # A lost context given back: the frame holds meanwhile, then goes on.
    page.evaluate("window.loseGL = document.getElementById('canvas').getContext('webgl')"
                  ".getExtension('WEBGL_lose_context'), window.loseGL.loseContext(), 1")
    # The page's note says so while it lasts (beside any other note).
    lost = "(((%s) || '').indexOf('WebGL context was lost') >= 0)" % NOTE
    page.wait_for(lost, timeout=10)
    held = page.evaluate("Module.shownFrame")
    page.pump(1.0)
    if page.evaluate("Module.shownFrame") != held:
        fail("while the context was lost the frame moved from %d" % held)
    page.evaluate("window.loseGL.restoreContext(), 1")
    page.wait_for("!" + lost, timeout=10)
    page.wait_for("Module.shownFrame > %d" % held, timeout=30)
    print("context lost at frame %d and given back: frame %d now" % (held, page.evaluate("Module.shownFrame")))
    found = errors(page.console)
    if found:
        fail("errors on the console: %s" % found)


def behind(page):
    value = page.evaluate("Module.soundState ? Module.soundState.behind : null")
    if value is None:
        fail("the page keeps no Module.soundState with ?soundlog")
    return value


def samples(page, url, work, capture):
    first_screen(page, url, "?soundlog")
    page.click(512, 384)
    sounding(page, "samples")
    page.wait_for("Module.songSeconds() >= 5", timeout=30, step=0.2)
    before = behind(page)
    page.evaluate("(function () { var t = performance.now(); while (performance.now() - t < 1500); return 1; })()")
    # The worklet's next reports.
    page.pump(0.5)
    after = behind(page)
    print("the song behind its output: %d samples before a 1.5 s busy main thread, %d after" % (before, after))
    if after - before > MOST_BEHIND:
        fail("a 1.5 s busy main thread put the song %d samples (%.3f s) further behind its output" %
             (after - before, (after - before) / 44100))
    page.wait_for("Module.songSeconds() >= 10", timeout=30, step=0.2)
    page.key("Escape", "Escape")
    status = page.wait_for("window.brineluxEnded !== undefined ? 'ended ' + window.brineluxEnded : ''", timeout=15)
    if status != "ended 0":
        fail("Escape ended the show with %s" % status)
    # A context that started late joined the song where it was: what it
    # played from there is compared.
    heard = web_page_test.heard_songs(page, capture, work, 1)
    if heard < 7 * 44100:
        fail("the page handed only %.2f s of song to Web Audio" % (heard / 44100))


# The context's resume held for 3 s, and the context kept from starting on
# its own meanwhile: a slow sound system, as some machines have.
LATE_RESUME = """() => {
  const Real = window.AudioContext, resume = Real.prototype.resume, suspend = Real.prototype.suspend;
  window.lateContexts = [];
  Real.prototype.resume = function () {
    const ctx = this;
    return new Promise((ok, no) => setTimeout(() => resume.call(ctx).then(ok, no), 3000));
  };
  window.AudioContext = class extends Real {
    constructor(...args) { super(...args); suspend.call(this); lateContexts.push(this); }
  };
}"""


def late(page, url, work):
    page.preload(LATE_RESUME)
    first_screen(page, url, "?soundstate")
    clicked = page.evaluate("performance.now()")
    page.click(512, 384)
    notes, states = set(), set()
    while page.evaluate("performance.now()") - clicked < 2700:
        notes.add(page.evaluate(NOTE))
        states.update(page.evaluate("lateContexts.map(function (c) { return c.state; })"))
        page.pump(0.1)
    print("while the resume was held: notes %s, context states %s" % (sorted(map(str, notes)), sorted(states)))
    if "running" in states or not states:
        fail("the held context was %s: the test did not hold it" % (sorted(states) or "never made"))
    if not any(n and n.startswith("starting sound") for n in notes):
        fail("the page did not say \"starting sound…\" while the context started (its notes: %s)" % notes)
    sound = sounding(page, "late start", within=10)[1]
    played = page.evaluate("Module.soundState ? Module.soundState.played : null")
    page.pump(1.0)
    later = page.evaluate("Module.soundState ? Module.soundState.played : null")
    note = page.evaluate(NOTE)
    print("late start: the song sounded %.0f ms after the click; played %s -> %s samples in 1 s; note %r" %
          (sound, played, later, note))
    if played is None or later - played < 0.5 * 44100:
        fail("after the late start the output played %s -> %s samples in 1 s" % (played, later))
    if note and note.startswith("starting sound"):
        fail("the page still says %r with the song sounding" % note)

    # Paused and resumed, the resume held 3 s as well: the same line while
    # it lasts, the song and the frame waiting together, then both go on.
    page.key("KeyP", "p")
    page.wait_for("Module.audioContext.state === 'suspended'", timeout=10)
    page.key("KeyP", "p")
    page.wait_for("(%s) === 'starting sound…'" % NOTE, timeout=2)
    frame, song = page.evaluate("[Module.shownFrame, Module.songSeconds()]")
    page.pump(1.5)
    frame1, song1 = page.evaluate("[Module.shownFrame, Module.songSeconds()]")
    if frame1 != frame or abs(song1 - song) > 0.05:
        fail("while the resume was held the frame went %d -> %d and the song %.2f -> %.2f s" %
             (frame, frame1, song, song1))
    page.wait_for("(%s) === null && Module.songSeconds() > %f" % (NOTE, song + 0.5), timeout=10)
    print("a held resume: \"starting sound…\" shown, frame %d and song %.2f s held, then on" % (frame, song))
    found = errors(page.console)
    if found:
        fail("errors on the console: %s" % found)


# Each animation frame from here on: the page's time, the song's position
# and the output's unfed samples.
NOTE_TRANSITION = """(window.noted = [], function note(now) {
    noted.push([now, Module.songSeconds(), Module.soundState ? Module.soundState.behind : -1]);
    requestAnimationFrame(note); })(performance.now()), 1"""


def transition(page, url, work):
    """A first visit's thanks card and water (the browser's first, before any
    other case: no shader compiled yet). While the card stands, the water's
    programs are compiled on the main thread, holding it; the song must go
    on unstarved and its position never step back."""
    first_screen(page, url, "?soundstate#t=11")
    page.click(512, 384)
    sounding(page, "transition")
    report_latency(page)
    page.evaluate(NOTE_TRANSITION)
    page.wait_for("Module.songSeconds() >= 26", timeout=60, step=0.5)
    frames = page.evaluate("noted")
    gaps = [(b[0] - a[0], a[1]) for a, b in zip(frames, frames[1:])]
    held, at = max(gaps)
    lags = [f[2] for f in frames if f[2] >= 0]
    back = max([a[1] - b[1] for a, b in zip(frames, frames[1:])] + [0])
    print("thanks to water: the main thread held at most %.0f ms (at %.2f s of song); the song's lag behind its "
          "output %d -> %d samples, at most %d; its position stepped back at most %.3f s" %
          (held, at, lags[0], lags[-1], max(lags), back))
    if max(lags) - lags[0] > MOST_BEHIND:
        fail("during the compile the song fell %.3f s behind its output" % ((max(lags) - lags[0]) / 44100))
    if back > 0.01:
        fail("the song's position stepped back %.3f s" % back)


# The canvas's pixels as the show drew them in an animation frame (after
# the page's own callback, before the browser clears the drawing buffer),
# top row first, RGB, as base64; a frame that drew nothing reads dark and
# the next is tried.
CANVAS_PIXELS = """new Promise(function (done) {
    var canvas = document.getElementById('canvas'), gl = canvas.getContext('webgl'), tries = 0;
    (function look() {
        requestAnimationFrame(function () {
            var w = canvas.width, h = canvas.height, px = new Uint8Array(w * h * 4), lit = false;
            gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, px);
            for (var i = 0; i < px.length && !lit; i += 4) lit = px[i] + px[i + 1] + px[i + 2] > 0;
            if (!lit && ++tries < 200) return look();
            var rgb = new Uint8Array(w * h * 3), s = '';
            for (var y = 0; y < h; y++)
                for (var x = 0; x < w; x++)
                    for (var c = 0; c < 3; c++) rgb[(y * w + x) * 3 + c] = px[((h - 1 - y) * w + x) * 4 + c];
            for (var i = 0; i < rgb.length; i += 8192) s += String.fromCharCode.apply(null, rgb.subarray(i, i + 8192));
            done([w, h, btoa(s)]);
        });
    })();
})"""


def file_page(page, url, work, capture):
    """brinelux.html from a fresh unpacked web zip, opened from file:// with
    no server: the title card within 5 s of the click, byte for byte the
    capture's at the canvas's size; the song sounding within 5 s; #t=70 on
    its frame; every sample handed to Web Audio the desktop's."""
    address = web_page_test.unpacked_zip(site_folder, work)
    page.open(address + "?soundlog")
    loaded = page.wait_for(READY + " && performance.now()", timeout=60)
    page.click(512, 384)
    page.wait_for("Module.firstFrameMs !== undefined", timeout=30)
    shown = page.evaluate("Module.firstFrameMs - Module.showStartMs")
    print("from file://: ready %.0f ms after the load began; the first frame %.0f ms after the click" %
          (loaded, shown))
    if shown > 5000:
        fail("from file:// the title card came %.0f ms after the click" % shown)
    width, height, pixels = page.evaluate(CANVAS_PIXELS)
    still = os.path.join(work, "title-%dx%d.png" % (width, height))
    subprocess.run([capture, "--still", "title", "--size", "%dx%d" % (width, height), "--png", still],
                   check=True, stdout=subprocess.DEVNULL)
    d = web_page_test.difference(base64.b64decode(pixels), web_page_test.rgb(still, width, height))
    print("from file://: the title card at %d x %d identical to the capture's %.4f" % (width, height, d["identical"]))
    if d["identical"] != 1.0:
        fail("from file:// the title card at %d x %d differs from the capture's (%.4f identical)" %
             (width, height, d["identical"]))
    sound = sounding(page, "from file://")[1]
    print("from file://: the song sounded %.0f ms after the click; playing into the server: %s" %
          (sound, sound_server.playing()))
    if sound > 5000 or not sound_server.playing():
        fail("from file:// the song sounded %.0f ms after the click (the server plays %s)" %
             (sound, sound_server.playing()))
    report_latency(page)
    page.wait_for("Module.songSeconds() >= 3", timeout=30)
    page.evaluate("""(window.seen = [], function note() {
        var f = Module.shownFrame;
        if (!seen.length || seen[seen.length - 1] !== f) seen.push(f);
        requestAnimationFrame(note); })(), 1""")
    page.evaluate("location.hash = '#t=70', 1")
    due = 70 * 25 + 1
    page.wait_for("Module.shownFrame >= %d" % due, timeout=30)
    landed = [f for f in page.evaluate("seen") if f >= due - 25]
    if not landed or landed[0] != due:
        fail("#t=70 from file://: the frames after the seek were %s, not from frame %d on" % (landed[:5], due))
    print("#t=70 from file://: landed on frame %d" % landed[0])
    page.wait_for("Module.songSeconds() >= 72", timeout=30, step=0.2)
    page.key("Escape", "Escape")
    status = page.wait_for("window.brineluxEnded !== undefined ? 'ended ' + window.brineluxEnded : ''", timeout=15)
    if status != "ended 0":
        fail("Escape ended the show from file:// with %s" % status)
    heard = web_page_test.heard_songs(page, capture, tempfile.mkdtemp(dir=work), 2)
    print("from file://: %.2f s of song compared with the desktop's" % (heard / 44100))
    found = errors(page.console)
    if found:
        fail("errors on the console: %s" % found)
    # Served, for the load time beside the disk's.
    page.open(url + "/brinelux.html?load")
    served = page.wait_for(READY + " && performance.now()", timeout=60)
    print("brinelux.html served: ready %.0f ms after the load began (from file:// %.0f ms)" % (served, loaded))


site_folder = None


def run_case(name, page, url, work, capture):
    if name in ("samples", "file_page"):
        globals()[name](page, url, tempfile.mkdtemp(dir=work), capture)
    else:
        globals()[name](page, url, work)


def run_one(engine, name, held, fresh, url, work, capture, failed):
    at = time.monotonic()
    try:
        try:
            run_case(name, held["page"], url, work, capture)
        except PageError as e:
            # A browser that stops answering its driver answers nothing
            # after: the case runs once more in a fresh one, where a page at
            # fault fails again. A wait whose last look got no answer says so
            # inside its own message.
            if "no answer to" not in str(e):
                raise
            print("%s stopped answering in %s (%s); the case runs again in a fresh browser" % (engine, name, e))
            held["page"].__exit__(None, None, None)
            held["page"] = fresh().__enter__()
            run_case(name, held["page"], url, work, capture)
        print("PASS: %s %s (%.1f s)" % (engine, name, time.monotonic() - at))
    except (CaseFailed, PageError) as e:
        print("FAIL: %s %s: %s (%.1f s)" % (engine, name, e, time.monotonic() - at))
        failed.append(name)
    except SystemExit:
        # The Chromium tests' helpers end the process on a fault.
        print("FAIL: %s %s (%.1f s)" % (engine, name, time.monotonic() - at))
        failed.append(name)
    except Exception:
        traceback.print_exc(file=sys.stdout)
        print("FAIL: %s %s (%.1f s)" % (engine, name, time.monotonic() - at))
        failed.append(name)


def main():
    cases = {"all": ("transition", "start", "checks", "samples"), "start": ("start",), "checks": ("checks",),
             "samples": ("samples",), "late": ("late",), "transition": ("transition",), "file": ("file_page",)}
    if len(sys.argv) != 6 or sys.argv[1] not in ("firefox", "webkit", "chromium") or sys.argv[2] not in cases \
            or (sys.argv[2] == "late" and sys.argv[1] != "firefox") \
            or (sys.argv[1] == "chromium" and sys.argv[2] not in ("transition", "file")):
        print(__doc__)
        sys.exit(2)
    engine, case, site, capture, work = sys.argv[1:]
    global site_folder
    site_folder = site
    os.makedirs(work, exist_ok=True)
    began = time.monotonic()
    failed = []
    Browser, Site = {"firefox": (Firefox, ServedSite), "webkit": (WebKit, HookedSite),
                     "chromium": (lambda display: Chromium(extra_flags=["--autoplay-policy=no-user-gesture-required"]),
                                  ServedSite)}[engine]
    global sound_server
    # A test run stopped from outside still stops its browser and servers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAIL: stopped by SIGTERM"))
    try:
        with Display() as display, NullSound(display) as sound_server, Site(site) as url:
            held = {"page": Browser(display).__enter__()}
            print("%s up in %.1f s" % (engine, time.monotonic() - began))
            try:
                for name in cases[case]:
                    run_one(engine, name, held, lambda: Browser(display), url, work, capture, failed)
            finally:
                held["page"].__exit__(None, None, None)
    except PageError as e:
        print("FAIL: %s: %s" % (engine, e))
        failed.append("driver")
    print("%s: %.1f s in all" % (engine, time.monotonic() - began))
    if failed:
        print("FAIL: web %s %s (%s)" % (engine, case, ", ".join(failed)))
        sys.exit(1)
    print("PASS: web %s %s" % (engine, case))


if __name__ == "__main__":
    main()
