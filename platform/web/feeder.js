// The sound feeder's worker: loads the feeder program (brinelux_feeder.js)
// and runs its turn every 25 ms once the page starts the stream. Samples go
// to the AudioWorklet over the port the page hands over, which reports back
// how many ring samples it has played; the song's end goes to the page, and
// so does a program that cannot load (the page then keeps the song's time).
// A start may come again, with a new port, to play from another sample of
// the song: the page's seeks.
var port = null;
var log = false;
var timer = 0;
var pending = null;
var ready = false;
// Samples of song rendered so far, for the page to go on from should this
// worker die.
var song = 0;
var failed = false;
// The page hidden: no turns, and the silent ring's clock stands still.
var paused = false;
var started = false;
var finished = false;
// Samples the output's count runs ahead of the song, as last told the page.
var behind = -1;

// inline: instantiate_wasm.js

function Failed(why) {
  if (failed) return;
  failed = true;
  clearInterval(timer);
  postMessage({ failed: why });
}

// The program's output goes to the page's console, until it has failed:
// the page then says why in one line of its own.
function Print(text) {
  if (!failed) postMessage({ line: text });
}

// An uncaught error ends the feeder: reported to the page as its failure,
// not to the console as well.
self.onerror = function (message) {
  Failed('the sound worker failed (' + message + ')');
  return true;
};

self.Module = {
  // The calls that rendered the song up to where a start begins.
  catchUpCalls: [],
  print: Print,
  printErr: Print,
  postSamples: function (at, samples) {
    song += samples.length;
    if (port) port.postMessage({ at: at, samples: samples });
    if (log) postMessage({ log: samples });
  },
  onRuntimeInitialized: function () {
    ready = true;
    if (pending) Start(pending);
  },
  instantiateWasm: function (imports, receive) {
    return InstantiateWasm('brinelux_feeder.wasm', imports, receive, function (reason) {
      Failed('the sound worker did not load brinelux_feeder.wasm (' + reason + ')');
    });
  },
  onAbort: function (what) {
    Failed('the sound worker stopped (' + what + ')');
  }
};

// One turn of the feeder; the song's end stops the turns for good.
function Turn() {
  var before = song;
  var end = Module._WebFeederTurn();
  if (song !== before) postMessage({ song: song });
  var b = Module._WebFeederBehind();
  if (b !== behind) {
    behind = b;
    postMessage({ behind: b });
  }
  if (end) {
    clearInterval(timer);
    timer = 0;
    finished = true;
    postMessage({ ended: true });
  }
}

// Starts the stream at sample m.from of the song (the song from its start
// rendered up to there first) on a fresh ring, played by the worklet at
// m.port; the page hears when it is ready, what it cost and the calls it
// took, and ignores what came from the stream before.
function Start(m) {
  pending = null;
  log = m.log;
  clearInterval(timer);
  timer = 0;
  if (port) port.close();
  port = m.port || null;
  if (port) port.onmessage = function (e) { Module._WebFeederPlayed(e.data.played); };
  var from = m.from || 0;
  var began = performance.now();
  Module.catchUpCalls = [];
  finished = false;
  Module._WebFeederStart(from, port ? 0 : 1);
  song = from;
  behind = -1;
  postMessage({ started: m.serial, from: from, calls: Module.catchUpCalls, ms: performance.now() - began, song: song });
  started = true;
  // The fresh stream holds or runs as the page is now: a hold the page
  // released after the end of the show (a replay) is released here too.
  Module._WebFeederHold(paused ? 1 : 0);
  if (!paused) timer = setInterval(Turn, 25);
}

// The page hidden or shown again: the turns stop and start with it.
function Hold(hold) {
  if (hold === paused) return;
  paused = hold;
  if (!started || finished || failed) return;
  Module._WebFeederHold(hold ? 1 : 0);
  clearInterval(timer);
  timer = hold ? 0 : setInterval(Turn, 25);
}

onmessage = function (e) {
  var m = e.data;
  if (m.start) {
    if (ready) Start(m); else pending = m;
  } else if (m.hold !== undefined) {
    Hold(m.hold);
  } else if (m.stop) {
    // The show ended: the turns stop, and the worker waits for a start
    // should the viewer watch it again.
    clearInterval(timer);
    timer = 0;
    finished = true;
    if (port) port.close();
    port = null;
  }
};

try {
  importScripts('brinelux_feeder.js');
} catch (e) {
  // A missing script, or one served as text or bytes, which importScripts
  // refuses to run.
  Failed('the sound worker did not load brinelux_feeder.js');
}
