// The sound feeder's worker: loads the feeder program (brinelux_feeder.js)
// and runs its turn every 25 ms once the page starts the stream. Samples go
// to the AudioWorklet over the port the page hands over, which reports back
// how many ring samples it has played; the song's end goes to the page.
var port = null;
var log = false;
var timer = 0;
var pending = null;
var ready = false;

self.Module = {
  postSamples: function (at, samples) {
    if (port) port.postMessage({ at: at, samples: samples });
    if (log) postMessage({ log: samples });
  },
  onRuntimeInitialized: function () {
    ready = true;
    if (pending) Start(pending);
  }
};

function Start(m) {
  pending = null;
  log = m.log;
  port = m.port || null;
  if (port) port.onmessage = function (e) { Module._WebFeederPlayed(e.data.played); };
  Module._WebFeederStart(port ? 0 : 1);
  timer = setInterval(function () {
    if (Module._WebFeederTurn()) {
      clearInterval(timer);
      postMessage({ ended: true });
    }
  }, 25);
}

onmessage = function (e) {
  var m = e.data;
  if (m.start) {
    if (ready) Start(m); else pending = m;
  } else if (m.stop) {
    clearInterval(timer);
    if (port) port.close();
    close();
  }
};

importScripts('brinelux_feeder.js');
