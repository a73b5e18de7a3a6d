"""The show's web site in Firefox (WebDriver BiDi over a websocket) and in
WebKitGTK's MiniBrowser (W3C WebDriver over HTTP), each on a private X
display and a private sound server that plays into nothing. Used by the
web engine tests; the same calls as web_page.Browser where they make sense.

    with Display() as env, NullSound(env), ServedSite(site) as url, Firefox(env) as page:
        page.open(url + "/index.html")
        page.click(512, 384)
        page.wait_for("Module.shownFrame > 0")

Everything started here is stopped on exit, also when a test fails.
"""
import ctypes
import functools
import io
import json
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

from web_page import PageError, ServedSite, _Handler, wait_for

try:
    import websocket
except ImportError:
    # Debian's python3-websocket, seen from a Python that is not Debian's.
    sys.path.append("/usr/lib/python3/dist-packages")
    import websocket


MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"

# WebDriver's codes for the keys that are not characters.
KEYS = {"Escape": "\ue00c", "Enter": "\ue007", "Tab": "\ue004", "ArrowLeft": "\ue012", "ArrowUp": "\ue013",
        "ArrowRight": "\ue014", "ArrowDown": "\ue015", "Home": "\ue011", "End": "\ue010",
        "PageUp": "\ue00e", "PageDown": "\ue00f", "Control": "\ue009"}


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _dies_with_parent():
    # Should this process be killed outright, what it started goes too.
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def _popen(args, **kwargs):
    """A process in a session of its own (its children stopped with it)
    that ends if this one does (started from the main thread: the signal
    follows the thread that started it)."""
    return subprocess.Popen(args, start_new_session=True, preexec_fn=_dies_with_parent, **kwargs)


def _stop(proc, timeout=10):
    """Ends a process this module started, and its own children with it (it
    leads a session of its own)."""
    if proc is None or proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait()


class Display:
    """A private Xvfb on the first free display; `env` is this process's
    environment with DISPLAY set to it (NullSound adds its server)."""

    def __init__(self, width=1280, height=1024):
        self.size = "%dx%dx24" % (width, height)
        self.proc = None
        self.env = dict(os.environ)

    def __enter__(self):
        read, write = os.pipe()
        self.proc = _popen(["Xvfb", "-displayfd", str(write), "-screen", "0", self.size, "-nolisten", "tcp"],
                           pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        with os.fdopen(read, "rb") as f:
            # Xvfb writes its display's number once it takes connections.
            number = f.readline().strip()
        if not number:
            _stop(self.proc)
            raise PageError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode()
        return self

    def __exit__(self, *exc):
        _stop(self.proc)


class NullSound:
    """A private PulseAudio server whose one sink plays in real time into
    nothing; the display's environment is pointed at it."""

    def __init__(self, display):
        self.display = display
        self.proc = None
        self.dir = None

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="brinelux-pulse-")
        socket_path = os.path.join(self.dir, "native")
        env = dict(self.display.env, HOME=self.dir, XDG_RUNTIME_DIR=self.dir)
        env.pop("PULSE_SERVER", None)
        self.proc = _popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
             "--use-pid-file=no", "-L", "module-null-sink sink_name=null",
             "-L", "module-native-protocol-unix socket=%s auth-anonymous=1" % socket_path],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while not os.path.exists(socket_path):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.__exit__()
                raise PageError("the sound server did not start")
            time.sleep(0.05)
        self.display.env["PULSE_SERVER"] = "unix:" + socket_path
        return self

    def playing(self):
        """The applications whose streams play into the sink now (not
        corked)."""
        out = subprocess.run(["pactl", "list", "sink-inputs"], env=self.display.env, capture_output=True,
                             text=True, timeout=15).stdout
        apps = []
        for block in out.split("Sink Input #")[1:]:
            name = re.search(r'application\.name = "([^"]*)"', block)
            if re.search(r"Corked: no", block):
                apps.append(name.group(1) if name else "?")
        return apps

    def __exit__(self, *exc):
        _stop(self.proc)
        self.display.env.pop("PULSE_SERVER", None)
        shutil.rmtree(self.dir, ignore_errors=True)


# Collects what the page says on its console, from before its own scripts
# run, for a driver that cannot listen to the console itself.
CONSOLE_HOOK = """<script>(function () {
  var lines = window.__consoleLines = [];
  function Text(args) {
    return Array.prototype.map.call(args, function (a) {
      return typeof a === 'string' ? a : (a && a.stack) || String(a); }).join(' ');
  }
  ['log', 'info', 'warn', 'error', 'debug'].forEach(function (level) {
    var real = console[level];
    console[level] = function () { lines.push([level, Text(arguments)]); return real.apply(console, arguments); };
  });
  window.addEventListener('error', function (e) {
    lines.push(['exception', e.message || ('a resource did not load: ' + (e.target && (e.target.src || e.target.href)))]);
  }, true);
  window.addEventListener('unhandledrejection', function (e) {
    var r = e.reason;
    lines.push(['exception', 'unhandled rejection: ' + String(r) + (r && r.stack ? ' at ' + r.stack : '')]);
  });
})();</script>"""


class _HookHandler(_Handler):
    """Serves the site with the console hook put first in each HTML page."""

    def send_head(self):
        path = self.translate_path(self.path)
        if not path.endswith(".html") or os.path.basename(path) in self.site.missing or not os.path.isfile(path):
            return super().send_head()
        with open(path, "rb") as f:
            body = f.read().replace(b"<head>", b"<head>" + CONSOLE_HOOK.encode(), 1)
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        return io.BytesIO(body)


class HookedSite(ServedSite):
    """ServedSite, with the console hook in its pages (for WebKit)."""

    def __init__(self, folder):
        super().__init__(folder)
        self.server.RequestHandlerClass = functools.partial(_HookHandler, directory=folder, site=self)


class Firefox:
    """Firefox ESR with a fresh profile on the display, driven over
    WebDriver BiDi. Console lines and page errors gather in `console` as
    (level, text), as the browser reports them."""

    PREFS = {
        "browser.shell.checkDefaultBrowser": False,
        "browser.startup.page": 0,
        "browser.startup.homepage_override.mstone": "ignore",
        "browser.aboutwelcome.enabled": False,
        "browser.tabs.warnOnClose": False,
        "browser.sessionstore.resume_from_crash": False,
        "datareporting.policy.dataSubmissionEnabled": False,
        "datareporting.healthreport.uploadEnabled": False,
        "toolkit.telemetry.reportingpolicy.firstRun": False,
        "app.update.disabledForTesting": True,
        "app.update.auto": False,
        "app.normandy.enabled": False,
        "extensions.update.enabled": False,
        "browser.safebrowsing.malware.enabled": False,
        "browser.safebrowsing.phishing.enabled": False,
        "network.captive-portal-service.enabled": False,
        "network.connectivity-service.enabled": False,
        "browser.newtabpage.enabled": False,
        # Sound without asking; the page still starts it at a gesture.
        "media.autoplay.default": 0,
        "media.autoplay.blocking_policy": 0,
        # The page's own timers at full rate even if the window loses focus.
        "dom.min_background_timeout_value": 4,
        "widget.disable-workspace-management": True,
    }

    def __init__(self, display, width=1024, height=768, prefs=None):
        self.display, self.width, self.height = display, width, height
        self.prefs = dict(self.PREFS, **(prefs or {}))
        self.proc = None
        self.ws = None
        self.console = []
        self._next_id = 0
        self._answers = {}
        self._lock = threading.Condition()
        self._closed = None
        self.context = None

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.__exit__()
            raise
        return self

    def _start(self):
        self.profile = tempfile.mkdtemp(prefix="brinelux-firefox-")
        with open(os.path.join(self.profile, "user.js"), "w") as f:
            for name, value in self.prefs.items():
                f.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))
        env = dict(self.display.env, MOZ_CRASHREPORTER_DISABLE="1", MOZ_NO_REMOTE="1")
        self.proc = _popen(
            ["firefox-esr", "--profile", self.profile, "--no-remote", "--new-instance",
             "--remote-debugging-port=0", "--width=%d" % self.width, "--height=%d" % self.height, "about:blank"],
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        # Firefox names the websocket it listens on on standard error.
        found = queue.Queue()
        log = os.environ.get("BRINELUX_FIREFOX_LOG")

        def read_errors():
            for line in iter(self.proc.stderr.readline, b""):
                text = line.decode(errors="replace")
                if log:
                    sys.stderr.write(text)
                m = re.search(r"WebDriver BiDi listening on (ws://\S+)", text)
                if m:
                    found.put(m.group(1))
        threading.Thread(target=read_errors, daemon=True).start()
        try:
            address = found.get(timeout=60)
        except queue.Empty:
            raise PageError("Firefox did not open its WebDriver BiDi port (exit status %s)" % self.proc.poll())
        self.ws = websocket.create_connection(address.rstrip("/") + "/session", suppress_origin=True, timeout=None)
        threading.Thread(target=self._read, daemon=True).start()
        self.call("session.new", capabilities={"alwaysMatch": {"acceptInsecureCerts": True}})
        self.call("session.subscribe", events=["log.entryAdded"])
        tree = self.call("browsingContext.getTree", maxDepth=0)
        self.context = tree["contexts"][0]["context"]
        self.call("browsingContext.setViewport", context=self.context,
                  viewport={"width": self.width, "height": self.height})

    def __exit__(self, *exc):
        if self.ws is not None:
            try:
                self.call("browser.close", timeout=10)
            except Exception:
                pass
            try:
                self.ws.close()
            except Exception:
                pass
        if self.proc is not None:
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
            _stop(self.proc)
        if getattr(self, "profile", None):
            shutil.rmtree(self.profile, ignore_errors=True)

    # ---- the protocol ----

    def _read(self):
        try:
            while True:
                message = json.loads(self.ws.recv())
                with self._lock:
                    if "id" in message:
                        self._answers[message["id"]] = message
                    elif message.get("method") == "log.entryAdded":
                        entry = message["params"]
                        if entry.get("type") == "javascript":
                            level = "exception"
                        else:
                            level = entry.get("method") or entry.get("level", "info")
                        self.console.append((level, entry.get("text") or ""))
                    self._lock.notify_all()
        except Exception as e:
            with self._lock:
                self._closed = str(e) or type(e).__name__
                self._lock.notify_all()

    def call(self, method, timeout=60, **params):
        with self._lock:
            self._next_id += 1
            wanted = self._next_id
        self.ws.send(json.dumps({"id": wanted, "method": method, "params": params}))
        deadline = time.monotonic() + timeout
        with self._lock:
            while wanted not in self._answers:
                if self._closed is not None:
                    raise PageError("Firefox closed its connection (%s)" % self._closed)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise PageError("no answer to %s within %d s" % (method, timeout))
                self._lock.wait(left)
            message = self._answers.pop(wanted)
        if message.get("type") == "error" or "error" in message and "result" not in message:
            raise PageError("%s: %s: %s" % (method, message.get("error"), message.get("message")))
        return message.get("result", {})

    # ---- the page ----

    def open(self, url):
        self.call("browsingContext.navigate", context=self.context, url=url, wait="interactive")

    def preload(self, function):
        """Runs the JavaScript function (its source) in every page before
        the page's own scripts."""
        self.call("script.addPreloadScript", functionDeclaration=function)

    def evaluate(self, expression, timeout=60):
        result = self.call("script.evaluate", timeout=timeout, expression=expression,
                           target={"context": self.context}, awaitPromise=True, resultOwnership="none")
        if result.get("type") == "exception":
            details = result.get("exceptionDetails", {})
            raise PageError("%s: %s" % (expression, details.get("text")))
        return _value(result["result"])

    def wait_for(self, expression, timeout=60, step=0.1):
        return wait_for(self, expression, timeout, step)

    def pump(self, seconds):
        time.sleep(seconds)

    def _actions(self, actions):
        self.call("input.performActions", context=self.context, actions=actions)

    def click(self, x, y):
        self._actions([{"type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"},
                        "actions": [{"type": "pointerMove", "x": int(x), "y": int(y)},
                                    {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]}])

    def key(self, code, key=None, keycode=None):
        value = KEYS.get(key or code, key or code)
        self._actions([{"type": "key", "id": "keyboard",
                        "actions": [{"type": "keyDown", "value": value}, {"type": "keyUp", "value": value}]}])


def _value(remote):
    """A BiDi remote value as plain Python (what JSON would give)."""
    kind = remote.get("type")
    value = remote.get("value")
    if kind in ("undefined", "null"):
        return None
    if kind == "number":
        return {"NaN": None, "-0": 0, "Infinity": float("inf"), "-Infinity": float("-inf")}.get(value, value) \
            if isinstance(value, str) else value
    if kind in ("string", "boolean"):
        return value
    if kind == "bigint":
        return int(value)
    if kind in ("array", "set"):
        return [_value(v) for v in value or []]
    if kind in ("object", "map"):
        return {(k if isinstance(k, str) else json.dumps(_value(k))): _value(v) for k, v in value or []}
    if kind == "date":
        return value
    return {"type": kind}


class WebKit:
    """WebKitGTK's MiniBrowser on the display, driven by WebKitWebDriver.
    The driver hears nothing of the console: serve the site with HookedSite
    and `console` gathers what the page's own scripts log, their uncaught
    errors and files that did not load (not what workers log)."""

    def __init__(self, display, width=1024, height=768):
        self.display, self.width, self.height = display, width, height
        self.proc = None
        self.session = None
        self._console = []

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.__exit__()
            raise
        return self

    def _start(self):
        self.port = _free_port()
        self.base = "http://127.0.0.1:%d" % self.port
        log = os.environ.get("BRINELUX_WEBKIT_LOG")
        self.proc = _popen(["WebKitWebDriver", "--port=%d" % self.port], env=self.display.env,
                           stdin=subprocess.DEVNULL, stdout=None if log else subprocess.DEVNULL,
                           stderr=None if log else subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while True:
            try:
                self._http("GET", "/status", timeout=2)
                break
            except (OSError, PageError):
                if self.proc.poll() is not None or time.monotonic() > deadline:
                    raise PageError("WebKitWebDriver did not start (exit status %s)" % self.proc.poll())
                time.sleep(0.1)
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "MiniBrowser",
            "webkitgtk:browserOptions": {"binary": MINIBROWSER, "args": ["--automation"]}}}}
        self.session = self._http("POST", "/session", caps, timeout=60)["sessionId"]
        self._http("POST", self._s("/timeouts"), {"script": 600000, "pageLoad": 120000})
        try:
            self._http("POST", self._s("/window/rect"), {"width": self.width, "height": self.height})
        except PageError:
            pass

    def __exit__(self, *exc):
        if self.session is not None:
            try:
                self._http("DELETE", self._s(""), timeout=15)
            except Exception:
                pass
            self.session = None
        _stop(self.proc)

    # ---- the protocol ----

    def _s(self, path):
        return "/session/%s%s" % (self.session, path)

    def _http(self, method, path, body=None, timeout=60):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=timeout) as r:
                answer = json.loads(r.read() or b"{}")
        except urllib.error.HTTPError as e:
            try:
                value = json.loads(e.read()).get("value", {})
            except ValueError:
                value = {}
            raise PageError("%s %s: %s: %s" % (method, path, value.get("error", e.code), value.get("message", "")))
        return answer.get("value")

    # ---- the page ----

    @property
    def console(self):
        self._drain()
        return self._console

    def _drain(self):
        if self.session is None:
            return
        try:
            lines = self._http("POST", self._s("/execute/sync"), {
                "script": "return window.__consoleLines ? window.__consoleLines.splice(0) : [];", "args": []})
        except PageError:
            return
        self._console.extend(tuple(line) for line in lines or [])

    def open(self, url):
        # What the page leaving said is kept.
        self._drain()
        self._http("POST", self._s("/url"), {"url": url}, timeout=120)

    def evaluate(self, expression, timeout=60):
        script = """var done = arguments[arguments.length - 1];
            Promise.resolve().then(function () { return (%s); }).then(
                function (v) { done({ value: v === undefined ? null : v }); },
                function (e) { done({ error: String(e && e.stack || e) }); });""" % expression
        answer = self._http("POST", self._s("/execute/async"), {"script": script, "args": []}, timeout=timeout + 5)
        if answer is None:
            raise PageError("%s: no answer" % expression)
        if "error" in answer:
            raise PageError("%s: %s" % (expression, answer["error"]))
        return answer.get("value")

    def wait_for(self, expression, timeout=60, step=0.1):
        return wait_for(self, expression, timeout, step)

    def pump(self, seconds):
        time.sleep(seconds)

    def _actions(self, actions):
        self._http("POST", self._s("/actions"), {"actions": actions})
        self._http("DELETE", self._s("/actions"))

    def click(self, x, y):
        self._actions([{"type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"},
                        "actions": [{"type": "pointerMove", "x": int(x), "y": int(y), "origin": "viewport"},
                                    {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]}])

    def key(self, code, key=None, keycode=None):
        value = KEYS.get(key or code, key or code)
        self._actions([{"type": "key", "id": "keyboard",
                        "actions": [{"type": "keyDown", "value": value}, {"type": "keyUp", "value": value}]}])
