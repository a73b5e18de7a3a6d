"""The show's web site opened in headless Chromium and driven through the
DevTools protocol over a pipe (no WebSocket library, nothing downloaded).
Used by the web tests and by tools/web_bench.py.

    with ServedSite(site) as url, Browser() as page:
        page.open(url + "/index.html?still=water&time=2")
        page.wait_for("window.brineluxStill !== undefined")
        png = page.screenshot()
"""
import base64
import fcntl
import functools
import io
import http.server
import json
import os
import select
import subprocess
import tempfile
import threading
import time


class PageError(Exception):
    pass


def wait_for(page, expression, timeout, step):
    """Waits until expression is truthy on any driver's page (its evaluate
    and pump); returns its value."""
    deadline = time.monotonic() + timeout
    why = ""
    while True:
        # The page may still be loading: an exception is a "not yet".
        try:
            value = page.evaluate(expression, timeout=timeout)
            if value:
                return value
        except PageError as e:
            why = " (%s)" % e
        if time.monotonic() > deadline:
            raise PageError("waited %d s for %s%s" % (timeout, expression, why))
        page.pump(step)


class _Handler(http.server.SimpleHTTPRequestHandler):
    """Serves the folder, less the files the site's `missing` names and with
    the types its `types` gives; nothing may be cached, so that the next
    page sees what is served then."""

    def __init__(self, *args, site=None, **kwargs):
        self.site = site
        super().__init__(*args, **kwargs)

    def log_message(self, *args):
        pass

    def send_head(self):
        name = os.path.basename(self.path.split("?")[0])
        if name in self.site.missing:
            self.send_error(404)
            return None
        if name in self.site.replaced:
            body = self.site.replaced[name]
            self.send_response(200)
            self.send_header("Content-Type", self.guess_type(self.path.split("?")[0]))
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            return io.BytesIO(body)
        return super().send_head()

    def guess_type(self, path):
        return self.site.types.get(os.path.basename(path)) or super().guess_type(path)

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


class ServedSite:
    """The site's folder served on 127.0.0.1 at a free port, in this process.
    `missing` (file names answered with 404), `types` (file name to
    Content-Type) and `replaced` (file name to the bytes served instead) may
    be changed between pages."""

    def __init__(self, folder):
        self.missing = set()
        self.types = {}
        self.replaced = {}
        handler = functools.partial(_Handler, directory=folder, site=self)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)

    def __enter__(self):
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        return "http://127.0.0.1:%d" % self.server.server_address[1]

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()


class Browser:
    """One headless Chromium with one page; console lines and page errors
    are collected in `console` as (level, text)."""

    def __init__(self, width=1024, height=768, extra_flags=(), scale=1):
        """A window of width x height CSS pixels, each `scale` device pixels
        wide (the screen's device scale factor)."""
        self.width, self.height, self.scale = width, height, scale
        self.profile = tempfile.TemporaryDirectory(prefix="brinelux-chromium-")
        to_chrome_r, self._to_chrome = os.pipe()
        self._from_chrome, from_chrome_w = os.pipe()
        # Chromium's ends away from 3 and 4, where the shell puts them.
        to_chrome_r, from_chrome_w = (self._moved(fd) for fd in (to_chrome_r, from_chrome_w))

        flags = ["--headless=new", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                 "--remote-debugging-pipe", "--user-data-dir=" + self.profile.name,
                 "--window-size=%d,%d" % (width, height), "--hide-scrollbars", "--mute-audio",
                 "--no-first-run", "--disable-background-timer-throttling",
                 "--disable-renderer-backgrounding", "--force-device-scale-factor=%g" % scale] + list(extra_flags)
        # The protocol's pipe is descriptors 3 (to Chromium) and 4 (from it).
        shell = 'exec "$0" "$@" 3<&%d 4>&%d %d<&- %d>&-' % (to_chrome_r, from_chrome_w, to_chrome_r, from_chrome_w)
        self.proc = subprocess.Popen(["bash", "-c", shell, "chromium"] + flags + ["about:blank"],
                                     pass_fds=(to_chrome_r, from_chrome_w), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=None if os.environ.get("BRINELUX_CHROMIUM_LOG") else subprocess.DEVNULL)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self._buffer = b""
        self._next_id = 0
        self._events = []
        self.console = []
        self.session = None
        # Sessions of the page's workers, the newest last.
        self.workers = []

    @staticmethod
    def _moved(fd):
        moved = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
        os.close(fd)
        return moved

    def __enter__(self):
        targets = self._call("Target.getTargets")["targetInfos"]
        page = [t for t in targets if t["type"] == "page"]
        target = page[0]["targetId"] if page else self._call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self._call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable")
        self.call("Target.setAutoAttach", autoAttach=True, waitForDebuggerOnStart=False, flatten=True)
        self.call("Emulation.setDeviceMetricsOverride", width=self.width, height=self.height,
                  deviceScaleFactor=self.scale, mobile=False)
        return self

    def __exit__(self, *exc):
        try:
            self._call("Browser.close")
        except Exception:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self._to_chrome)
        os.close(self._from_chrome)
        self.profile.cleanup()

    # ---- the protocol ----

    def _send(self, method, params, session):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self._to_chrome, json.dumps(message).encode() + b"\0")
        return self._next_id

    def _read_message(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\0" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self._from_chrome], [], [], left)[0]:
                return None
            chunk = os.read(self._from_chrome, 1 << 20)
            if not chunk:
                raise PageError("Chromium closed its pipe (exit status %s)" % self.proc.poll())
            self._buffer += chunk
        raw, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(raw)

    def _note(self, message):
        method = message.get("method")
        params = message.get("params", {})
        if method == "Runtime.consoleAPICalled":
            text = " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", []))
            self.console.append((params.get("type", "log"), text))
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            text = details.get("exception", {}).get("description") or details.get("text", "")
            self.console.append(("exception", text))
        elif method == "Log.entryAdded":
            entry = params.get("entry", {})
            self.console.append((entry.get("level", "info"), entry.get("text", "")))
        elif method == "Target.attachedToTarget" and params.get("targetInfo", {}).get("type") == "worker":
            self.workers.append(params["sessionId"])
        elif method == "Target.detachedFromTarget" and params.get("sessionId") in self.workers:
            self.workers.remove(params["sessionId"])
        self._events.append(message)

    def _call(self, method, session=None, timeout=60, **params):
        wanted = self._send(method, params, session)
        deadline = time.monotonic() + timeout
        while True:
            message = self._read_message(max(0.0, deadline - time.monotonic()))
            if message is None:
                raise PageError("no answer to %s within %d s" % (method, timeout))
            if message.get("id") == wanted:
                if "error" in message:
                    raise PageError("%s: %s" % (method, message["error"].get("message")))
                return message.get("result", {})
            self._note(message)

    def call(self, method, timeout=60, **params):
        return self._call(method, self.session, timeout, **params)

    def pump(self, seconds):
        """Collects events for a while."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            message = self._read_message(deadline - time.monotonic())
            if message is not None:
                self._note(message)

    # ---- the page ----

    def open(self, url):
        self.call("Page.navigate", url=url)

    def preload(self, source):
        """Runs source in every page opened from here on, before its own
        scripts."""
        self.call("Page.addScriptToEvaluateOnNewDocument", source=source)

    def evaluate(self, expression, timeout=60):
        result = self.call("Runtime.evaluate", timeout=timeout, expression=expression,
                           returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise PageError("%s: %s" % (expression, result["exceptionDetails"].get("text")))
        return result["result"].get("value")

    def evaluate_in_worker(self, expression, timeout=60):
        """Evaluates expression in the page's newest worker."""
        if not self.workers:
            raise PageError("the page has no worker")
        result = self._call("Runtime.evaluate", self.workers[-1], timeout, expression=expression,
                            returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise PageError("%s: %s" % (expression, result["exceptionDetails"].get("text")))
        return result["result"].get("value")

    def wait_for(self, expression, timeout=60, step=0.1):
        """Waits until expression is truthy on the page; returns its value."""
        return wait_for(self, expression, timeout, step)

    def key(self, code, key, keycode):
        for kind in ("rawKeyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, code=code, key=key,
                      windowsVirtualKeyCode=keycode, nativeVirtualKeyCode=keycode)

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def tap(self, x, y):
        """A finger's tap, as a touch screen gives it."""
        self.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=1)
        self.call("Input.dispatchTouchEvent", type="touchStart", touchPoints=[{"x": x, "y": y}])
        self.call("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])

    def resize(self, width, height):
        """The window made width x height CSS pixels, as a viewer resizing it."""
        self.width, self.height = width, height
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=self.scale,
                  mobile=False)

    def screenshot(self):
        """The page's pixels, one for each device pixel, as PNG bytes."""
        data = self.call("Page.captureScreenshot", format="png",
                         clip={"x": 0, "y": 0, "width": self.width, "height": self.height, "scale": 1})["data"]
        return base64.b64decode(data)
