// The sound ring on the page's side. The feeder runs in the page's
// AudioWorklet (a second program, host/feeder_main_web.cpp, with its own
// instance of the song) and plays its ring there; the page only starts and
// stops it, and hears of the song's end (or of its failure: then the page's
// program keeps the song's time, song_clock_web.cpp).
#include "platform/platform.h"
#include "platform/sound_ring.h"
#include "platform/web/web.h"

#include <emscripten/emscripten.h>

static bool started;

// Starts the worklet on the page's AudioContext (made by the start gesture);
// without it the page keeps the song's time, and says why.
EM_JS(void, WebAudioStart, (int ringSamples, int sampleRate), {
    Module['startSound'](ringSamples, sampleRate);
});

EM_JS(void, WebAudioStop, (void), {
    Module['stopSound']();
});

void PlatformSoundStart(PlatformWindow*, uint32_t sampleRate)
{
    if (started)
        return;
    started = true;
    WebAudioStart(SOUND_RING_SAMPLES, (int)(sampleRate > 0 ? sampleRate : SOUND_SAMPLE_RATE));
}

// The worklet owns the ring: nothing is written on the page's side.
uint32_t PlatformSoundPlayPosition(void) { return 0; }

// Nothing plays here to pause: the clock that drives it is held instead.
void PlatformSoundPause(bool) {}

PlatformSoundState PlatformSoundClock(PlatformSoundTake* take)
{
    // The worklet keeps the page's clock: nothing is taken on this side.
    *take = PlatformSoundTake();
    return PLATFORM_SOUND_PLAYING;
}

bool PlatformSoundLock(uint32_t, uint32_t, void** p1, uint32_t* l1, void** p2, uint32_t* l2)
{
    *p1 = *p2 = nullptr;
    *l1 = *l2 = 0;
    return false;
}

void PlatformSoundUnlock(void*, uint32_t, void*, uint32_t) {}

void WebSoundStop(void)
{
    if (started)
        WebAudioStop();
}

// The feeder's thread is the worklet, started with the sound.
bool PlatformStartThread(void (*)(void*), void*) { return true; }

// Nothing on the page may block, and nothing here waits.
void PlatformSleep(uint32_t) {}

uint64_t PlatformTimeMs(void) { return (uint64_t)emscripten_get_now(); }
