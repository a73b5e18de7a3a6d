// The sound ring of the feeder's worker (feeder_main_web.cpp is its
// program): the ring the worker's audio code refills, its play position as
// the AudioWorklet last reported it (or the worker's clock when the page has
// no Web Audio), and the refilled bytes posted to the worklet.
#include "platform/platform.h"
#include "platform/sound_ring.h"
#include "platform/web/web.h"

#include <emscripten/emscripten.h>

static uint8_t ring[SOUND_RING_BYTES];
static uint32_t ringSize = SOUND_RING_BYTES;
static uint32_t rate = SOUND_SAMPLE_RATE;
static bool started;
static bool silent;
static double silentStart;
// While the page is hidden the silent ring's clock stands still (from this
// time on; -1 while it runs).
static double silentPausedAt = -1.0;
// Ring samples the worklet has played since the stream started, and at the
// previous turn's look (-1 before the first).
static double playedSamples;
static double lookedAtSamples = -1.0;
// Samples the output had played at the stream's last look at its position,
// and samples refilled in all: what the song lost to refills later than a
// ring's time follows from the two.
static double lookedPlayed;
static double refilledSamples;

EM_JS(void, PostSamples, (int offsetSamples, const int16_t* samples, int count), {
    Module['postSamples'](offsetSamples, HEAP16.slice(samples >> 1, (samples >> 1) + count));
});

void PlatformSoundStart(PlatformWindow*, uint32_t ringBytes, uint32_t sampleRate)
{
    if (!RingStart(&started, ring, ringBytes, sampleRate, &ringSize, &rate))
        return;
    silentStart = emscripten_get_now();
    if (silentPausedAt >= 0.0)
        silentPausedAt = silentStart;
}

void WebFeederRestart(void)
{
    started = false;
    playedSamples = 0.0;
    lookedAtSamples = -1.0;
    lookedPlayed = 0.0;
    refilledSamples = 0.0;
}

static double SilentMs(void)
{
    return (silentPausedAt >= 0.0 ? silentPausedAt : emscripten_get_now()) - silentStart;
}

uint32_t PlatformSoundPlayPosition(void)
{
    if (!started)
        return 0;
    if (silent) {
        uint64_t ticks = (uint64_t)(SilentMs() * 1000.0);
        lookedPlayed = (double)SilentSamplesPlayed(ticks, 1000000u, rate);
        return SilentPlayPosition(ticks, 1000000u, ringSize, rate);
    }
    uint64_t played = (uint64_t)playedSamples;
    lookedPlayed = (double)played;
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
    PostSamples((int)((at - ring) / SOUND_BYTES_PER_SAMPLE), (const int16_t*)p, (int)(len / SOUND_BYTES_PER_SAMPLE));
    refilledSamples += (double)(len / SOUND_BYTES_PER_SAMPLE);
}

void PlatformSoundUnlock(void* p1, uint32_t l1, void* p2, uint32_t l2)
{
    if (!started)
        return;
    Post(p1, l1);
    Post(p2, l2);
}

// The worker's 25 ms timer is the thread's loop (WebFeederTurn).
bool PlatformStartThread(void (*)(void*), void*) { return true; }

void PlatformSleep(uint32_t) {}

// The worker's clock, which its 25 ms timer and the silent ring keep to.
uint64_t PlatformTimeMs(void) { return (uint64_t)emscripten_get_now(); }

void WebFeederSilent(bool noAudio) { silent = noAudio; }

// The worklet's count of ring samples played, passed on by feeder.js.
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederPlayed(double samples) { playedSamples = samples; }

bool WebFeederOutputMoved(void)
{
    if (silent)
        return true;
    bool moved = playedSamples != lookedAtSamples;
    lookedAtSamples = playedSamples;
    return moved;
}

void WebFeederPause(bool paused)
{
    double now = emscripten_get_now();
    if (paused && silentPausedAt < 0.0) {
        silentPausedAt = now;
    } else if (!paused && silentPausedAt >= 0.0) {
        silentStart += now - silentPausedAt;
        silentPausedAt = -1.0;
    }
}

double WebFeederSongBehind(void)
{
    // A refill writes up to the play position, a ring ahead of what plays:
    // the song plays a ring behind what was refilled, and the output's count
    // is ahead of the song by what it played that no refill covered.
    if (refilledSamples <= 0.0)
        return 0.0;
    double behind = lookedPlayed + (double)(ringSize / SOUND_BYTES_PER_SAMPLE) - refilledSamples;
    return behind > 0.0 ? behind : 0.0;
}
