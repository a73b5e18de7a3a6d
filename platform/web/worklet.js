// The page's AudioWorklet: the sound feeder's program (brinelux_feeder.wasm,
// its bytes handed over by the page) runs here, on the audio thread, and its
// ring is played straight out of the program's memory. The song needs
// nothing from the page's main thread while it plays: the page only starts
// a node (the show's start, or a seek's, from a sample of the song) and
// hears what the node reports: when it began to play, how far the song and
// the output are, the song's end, and, for the tests, the samples refilled.
//
// One program serves every node of the scope; the newest node started is
// the one that plays, so that a node the page has replaced stops even
// before the page's message to stop reaches it.
var program = null;
var playing = null;
// The program's ring as samples: made once, not in every block, and again
// only should the program's memory ever be replaced by its growth.
var ringView = null;

function RingView() {
  if (!ringView || ringView.buffer !== program.memory.buffer)
    ringView = new Int16Array(program.memory.buffer, program.WebFeederRing(), program.WebFeederRingSize());
  return ringView;
}

// The program instantiated from its bytes: a bare module whose only calls
// out are the C library's to write text (for the console) and to end.
function Load(bytes) {
  var module = new WebAssembly.Module(bytes);
  var memory = null;
  var line = '';
  var wasi = {
    fd_write: function (fd, iovs, count, written) {
      var view = new DataView(memory.buffer), n = 0;
      for (var i = 0; i < count; i++) {
        var at = view.getUint32(iovs + 8 * i, true), length = view.getUint32(iovs + 8 * i + 4, true);
        for (var j = 0; j < length; j++) {
          var c = view.getUint8(at + j);
          if (c === 10) { console.log(line); line = ''; } else line += String.fromCharCode(c);
        }
        n += length;
      }
      view.setUint32(written, n, true);
      return 0;
    },
    proc_exit: function (status) { throw new Error('the sound program exited with status ' + status); }
  };
  var imports = {};
  WebAssembly.Module.imports(module).forEach(function (i) {
    if (i.kind !== 'function') return;
    imports[i.module] = imports[i.module] || {};
    imports[i.module][i.name] = wasi[i.name] || function () {
      // What the program is not meant to call (files, clocks): ENOSYS.
      return 52;
    };
  });
  var instance = new WebAssembly.Instance(module, imports);
  memory = instance.exports.memory;
  if (instance.exports._initialize) instance.exports._initialize();
  return instance.exports;
}

class Ring extends AudioWorkletProcessor {
  constructor(options) {
    super();
    var o = options.processorOptions;
    // Output frames step through the ring at the song's rate where the
    // context runs at another.
    this.step = o.sampleRate / sampleRate;
    this.from = o.from;
    this.serial = o.serial;
    this.log = o.log;
    this.origin = -1;
    this.ended = false;
    this.stopped = false;
    this.port.onmessage = (e) => { if (e.data.stop) this.stopped = true; };
    // The song rendered up to this node's sample and the ring started, here
    // already, while a paused page's context may not run yet; what it cost
    // and the calls it took go to the page.
    try {
      if (!program) program = Load(o.program);
      var began = Date.now();
      program.WebFeederStart(this.from);
      var calls = [];
      for (var i = program.WebFeederCatchUpCalls(); i > 0; i--) calls.push(program.WebFeederRingSize());
      if (program.WebFeederCatchUpRest() > 0) calls.push(program.WebFeederCatchUpRest());
      this.port.postMessage({ started: this.serial, from: this.from, calls: calls, ms: Date.now() - began });
    } catch (e) {
      this.stopped = true;
      this.port.postMessage({ failed: 'the sound program did not start (' + e.message + ')' });
      return;
    }
    playing = this;
  }

  // What the last turn refilled, copied out of the program's memory.
  Refilled() {
    var table = new Int32Array(program.memory.buffer, program.WebFeederRefill(), 5);
    var ring = program.WebFeederRing() >> 1, heap = new Int16Array(program.memory.buffer);
    var blocks = [];
    for (var i = 0; i < table[0]; i++)
      blocks.push(heap.slice(ring + table[1 + 2 * i], ring + table[1 + 2 * i] + table[2 + 2 * i]));
    return blocks;
  }

  // A program that fails (a trap, its memory run out) stops this node and
  // says why to the page, which keeps the song's time without it.
  process(inputs, outputs) {
    if (this.stopped || this !== playing) return false;
    try {
      this.Play(outputs[0][0]);
    } catch (e) {
      this.stopped = true;
      outputs[0][0].fill(0);
      this.port.postMessage({ failed: 'the sound worklet failed (' + e.message + ')' });
      return false;
    }
    return true;
  }

  Play(out) {
    if (this.origin < 0) {
      this.origin = currentFrame;
      this.port.postMessage({ origin: this.origin / sampleRate });
    }
    var played = Math.floor((currentFrame - this.origin) * this.step);
    if (!this.ended) {
      var turn = program.WebFeederProcess(played);
      if (turn === 2) {
        this.ended = true;
        this.port.postMessage({ ended: true });
      } else if (turn === 1) {
        var state = { song: this.from + program.WebFeederSong(), played: played, behind: program.WebFeederBehind(),
                      at: currentFrame / sampleRate };
        if (this.log) state.log = this.Refilled();
        this.port.postMessage(state);
      }
    }
    var ring = RingView();
    for (var i = 0; i < out.length; i++) {
      var n = Math.floor((currentFrame + i - this.origin) * this.step);
      out[i] = ring[n % ring.length] / 32768;
    }
  }
}
registerProcessor('brinelux-ring', Ring);
