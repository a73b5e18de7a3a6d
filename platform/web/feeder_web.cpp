// The sound feeder's thread on the web: a second program, the show's own
// sound stream and song, run in a Web Worker (platform/web/feeder.js).
//
// The page's thread cannot be the feeder: a slow frame (software WebGL takes
// a second or more per scene frame) holds it, and a refill can only make up
// one ring, about 93 ms, so the song would fall behind and break up. A page
// without cross-origin isolation cannot share memory between threads, so
// the worker runs its own instance of the audio code, as the desktop's
// feeder thread runs the same code beside the frame loop: it reads the play
// position the AudioWorklet reports, refills the ring with exactly the bytes
// played since its last turn, and posts them to the worklet. The song's end
// is posted to the page, whose frame loop then ends the show.
#include "audio/audio.h"
#include "platform/platform.h"
#include "platform/sound_ring.h"
#include "state/shared.h"

#include <emscripten/emscripten.h>

static uint8_t ring[SOUND_RING_BYTES];
static uint32_t ringSize = SOUND_RING_BYTES;
static uint32_t rate = SOUND_SAMPLE_RATE;
static bool started;
static bool silent;
static double silentStart;
// Ring samples the worklet has played since the stream started.
static double playedSamples;

EM_JS(void, PostSamples, (int offsetSamples, const int16_t* samples, int count), {
    Module['postSamples'](offsetSamples, HEAP16.slice(samples >> 1, (samples >> 1) + count));
});

void PlatformSoundStart(PlatformWindow*, uint32_t ringBytes, uint32_t sampleRate)
{
    started = true;
    ringSize = RingBytesFor(ringBytes);
    rate = sampleRate > 0 ? sampleRate : SOUND_SAMPLE_RATE;
    silentStart = emscripten_get_now();
}

uint32_t PlatformSoundPlayPosition(void)
{
    if (!started)
        return 0;
    if (silent) {
        double ms = emscripten_get_now() - silentStart;
        return SilentPlayPosition((uint64_t)(ms * 1000.0), 1000000u, ringSize, rate);
    }
    uint64_t played = (uint64_t)playedSamples;
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

// Starts the stream; silent when the page has no Web Audio, the ring then
// playing on the worker's clock.
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederStart(int noAudio)
{
    silent = noAudio != 0;
    // The song where the show's start-up puts it (the noise generator seeded).
    ResetSong();
    StartAudio(nullptr, RenderAudio);
}

// One turn of the feeder's loop; true once the song has reached its end
// mark (the loop then ends).
extern "C" EMSCRIPTEN_KEEPALIVE int WebFeederTurn(void)
{
    if (QuitRequested())
        return 1;
    FillSoundBuffer();
    return QuitRequested() ? 1 : 0;
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederPlayed(double samples) { playedSamples = samples; }

int main() { return 0; }
