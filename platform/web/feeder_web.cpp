// The sound ring of the feeder's program, which runs in the page's
// AudioWorklet (feeder_main_web.cpp is its program): the worklet plays this
// very ring out of the program's memory, on the audio thread, and reports
// the samples it has played before each turn. Nothing passes through the
// page's main thread, so a busy page cannot starve the song.
#include "platform/platform.h"
#include "platform/sound_ring.h"
#include "platform/web/feeder_web.h"

static uint8_t ring[SOUND_RING_BYTES];
static uint32_t rate = SOUND_SAMPLE_RATE;
static bool started;
// Ring samples the output has played since the stream started.
static int64_t playedSamples;
// Samples the output had played at the stream's last look at its position,
// and samples refilled in all: what the song lost to refills later than a
// ring's time follows from the two.
static int64_t lookedPlayed;
static int64_t refilledSamples;
static int32_t lastRefill[5];

void PlatformSoundStart(PlatformWindow*, uint32_t sampleRate)
{
    RingStart(&started, ring, sampleRate, &rate);
}

void WebFeederRestart(void)
{
    started = false;
    playedSamples = 0;
    lookedPlayed = 0;
    refilledSamples = 0;
    lastRefill[0] = 0;
}

void WebFeederSetPlayed(int64_t samples) { playedSamples = samples; }

uint32_t PlatformSoundPlayPosition(void)
{
    if (!started)
        return 0;
    lookedPlayed = playedSamples;
    return (uint32_t)(((uint64_t)playedSamples * SOUND_BYTES_PER_SAMPLE) % SOUND_RING_BYTES);
}

// Nothing plays here to pause: the clock that drives it is held instead.
void PlatformSoundPause(bool) {}

PlatformSoundState PlatformSoundClock(PlatformSoundTake* take)
{
    // The worklet's calls are the takes: the position tells.
    *take = PlatformSoundTake();
    return PLATFORM_SOUND_PLAYING;
}

bool PlatformSoundLock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1, void** p2, uint32_t* l2)
{
    if (!started) {
        *p1 = *p2 = nullptr;
        *l1 = *l2 = 0;
        return false;
    }
    lastRefill[0] = 0;
    return RingLockRegions(ring, SOUND_RING_BYTES, offset, bytes, p1, l1, p2, l2);
}

static void Note(void* p, uint32_t len)
{
    uint8_t* at = (uint8_t*)p;
    if (!p || len == 0 || at < ring || at >= ring + SOUND_RING_BYTES || len > SOUND_RING_BYTES - (uint32_t)(at - ring))
        return;
    int32_t n = lastRefill[0]++;
    lastRefill[1 + 2 * n] = (int32_t)((at - ring) / SOUND_BYTES_PER_SAMPLE);
    lastRefill[2 + 2 * n] = (int32_t)(len / SOUND_BYTES_PER_SAMPLE);
    refilledSamples += len / SOUND_BYTES_PER_SAMPLE;
}

void PlatformSoundUnlock(void* p1, uint32_t l1, void* p2, uint32_t l2)
{
    if (!started)
        return;
    Note(p1, l1);
    Note(p2, l2);
}

// The worklet's turns are the thread's loop (WebFeederProcess).
bool PlatformStartThread(void (*)(void*), void*) { return true; }

void PlatformSleep(uint32_t) {}

// The output's own clock: the samples it has played.
uint64_t PlatformTimeMs(void) { return (uint64_t)playedSamples * 1000u / rate; }

double WebFeederSongBehind(void)
{
    // A refill writes up to the play position, a ring ahead of what plays:
    // the song plays a ring behind what was refilled, and the output's count
    // is ahead of the song by what it played that no refill covered.
    if (refilledSamples <= 0)
        return 0.0;
    int64_t behind = lookedPlayed + SOUND_RING_SAMPLES - refilledSamples;
    return behind > 0 ? (double)behind : 0.0;
}

int64_t WebFeederRefilled(void) { return refilledSamples; }

const int16_t* WebFeederRingSamples(void) { return (const int16_t*)ring; }

int32_t WebFeederRingLength(void) { return SOUND_RING_SAMPLES; }

const int32_t* WebFeederLastRefill(void) { return lastRefill; }
