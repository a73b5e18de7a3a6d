// The sound ring on Web Audio. The ring lives here; each unlock posts the
// written samples to an AudioWorklet that keeps its own copy of the ring and
// plays it in a loop from the moment the show started it, so the play
// position is the audio clock's frame count since then, modulo the ring.
//
// A page without threads (those need cross-origin isolation, which a plain
// static server does not give) has no feeder thread: the feeder's turn runs
// on the page's own 25 ms timer instead (web entry), on the main thread,
// where one refill of about 1100 samples costs well under a millisecond.
#include "platform/platform.h"
#include "platform/sound_ring.h"
#include "platform/web/web.h"

#include <emscripten/emscripten.h>
#include <stdio.h>

static uint8_t ring[SOUND_RING_BYTES];
static uint32_t ringSize = SOUND_RING_BYTES;
static uint32_t rate = SOUND_SAMPLE_RATE;
static bool started;
static bool feederWanted;
static double silentStart;

// Starts the worklet on the page's AudioContext (made by the start gesture);
// 0 when there is none, and the ring then plays silently on the page clock.
EM_JS(int, WebAudioStart, (int ringSamples, int sampleRate), {
    var ctx = Module['audioContext'];
    if (!ctx || !Module['audioWorkletReady']) return 0;
    var node = new AudioWorkletNode(ctx, 'brinelux-ring', {
        numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [1],
        processorOptions: { ringSamples: ringSamples, sampleRate: sampleRate }
    });
    node.connect(ctx.destination);
    Module['audioNode'] = node;
    Module['audioOrigin'] = ctx.currentTime;
    node.port.postMessage({ origin: Math.round(ctx.currentTime * ctx.sampleRate) });
    return 1;
});

EM_JS(int, WebAudioPlayedSamples, (int sampleRate), {
    var ctx = Module['audioContext'];
    if (!ctx || !Module['audioNode']) return 0;
    var played = Math.floor((ctx.currentTime - Module['audioOrigin']) * sampleRate);
    return played > 0 ? played : 0;
});

EM_JS(void, WebAudioPost, (int offsetSamples, const int16_t* samples, int count), {
    var copy = HEAP16.slice(samples >> 1, (samples >> 1) + count);
    if (Module['soundLog']) Module['soundLog'].push(copy);
    if (Module['audioNode']) Module['audioNode'].port.postMessage({ at: offsetSamples, samples: copy });
});

EM_JS(void, WebAudioStop, (void), {
    if (Module['audioNode']) { Module['audioNode'].disconnect(); Module['audioNode'] = null; }
    if (Module['audioContext']) Module['audioContext'].suspend();
});

void PlatformSoundStart(PlatformWindow*, uint32_t ringBytes, uint32_t sampleRate)
{
    if (started)
        return;
    started = true;
    ringSize = RingBytesFor(ringBytes);
    rate = sampleRate > 0 ? sampleRate : SOUND_SAMPLE_RATE;
    if (WebAudioStart((int)(ringSize / SOUND_BYTES_PER_SAMPLE), (int)rate) == 0) {
        printf("brinelux: no Web Audio on this page; the song plays silently\n");
        silentStart = emscripten_get_now();
    }
}

uint32_t PlatformSoundPlayPosition(void)
{
    if (!started)
        return 0;
    if (silentStart > 0) {
        double ms = emscripten_get_now() - silentStart;
        return SilentPlayPosition((uint64_t)(ms * 1000.0), 1000000u, ringSize, rate);
    }
    uint64_t played = (uint64_t)WebAudioPlayedSamples((int)rate);
    return (uint32_t)((played * SOUND_BYTES_PER_SAMPLE) % ringSize);
}

bool PlatformSoundLock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1, void** p2, uint32_t* l2)
{
    if (!started) {
        *p1 = *p2 = nullptr;
        *l1 = *l2 = 0;
        return false;
    }
    return RingLockRegions(ring, ringSize, offset, bytes, p1, l1, p2, l2);
}

static void Post(void* p, uint32_t len)
{
    uint8_t* at = (uint8_t*)p;
    if (!p || len == 0 || at < ring || at >= ring + ringSize || len > ringSize - (uint32_t)(at - ring))
        return;
    WebAudioPost((int)((at - ring) / SOUND_BYTES_PER_SAMPLE), (const int16_t*)p, (int)(len / SOUND_BYTES_PER_SAMPLE));
}

void PlatformSoundUnlock(void* p1, uint32_t l1, void* p2, uint32_t l2)
{
    if (!started)
        return;
    Post(p1, l1);
    Post(p2, l2);
}

void WebSoundStop(void)
{
    if (started)
        WebAudioStop();
}

bool PlatformStartThread(void (*)(void*), void*)
{
    feederWanted = true;
    return true;
}

bool WebFeederWanted(void) { return feederWanted; }

// Nothing on the page may block: the one caller, the feeder's loop, never
// runs here (the page's timer runs its turns).
void PlatformSleep(uint32_t) {}
