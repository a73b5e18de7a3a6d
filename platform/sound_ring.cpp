#include "platform/sound_ring.h"

#include <stddef.h>
#include <string.h>

bool RingStart(bool* started, uint8_t* storage, uint32_t sampleRate, uint32_t* keptRate)
{
    if (*started)
        return false;
    *started = true;
    *keptRate = sampleRate > 0 ? sampleRate : SOUND_SAMPLE_RATE;
    memset(storage, 0, SOUND_RING_BYTES);
    return true;
}

bool RingLockRegions(uint8_t* base, uint32_t ringBytes, uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1,
                     void** p2, uint32_t* l2)
{
    *p1 = NULL;
    *l1 = 0;
    *p2 = NULL;
    *l2 = 0;
    if (offset >= ringBytes || bytes == 0 || bytes > ringBytes)
        return false;
    uint32_t first = ringBytes - offset;
    if (first > bytes)
        first = bytes;
    *p1 = base + offset;
    *l1 = first;
    if (first < bytes) {
        *p2 = base;
        *l2 = bytes - first;
    }
    return true;
}

// The stand-in's start, moved on by the length of each pause, and where the
// pause in force began.
static uint64_t silentStart, silentPausedAt, silentTicksPerSecond = 1;
static bool silentPaused;

void SilentClockStart(uint64_t now, uint64_t ticksPerSecond)
{
    silentStart = now;
    silentPausedAt = now;
    silentTicksPerSecond = ticksPerSecond;
}

void SilentClockPause(bool pause, uint64_t now)
{
    if (pause == silentPaused)
        return;
    silentPaused = pause;
    if (pause)
        silentPausedAt = now;
    else
        silentStart += now - silentPausedAt;
}

uint32_t SilentClockPosition(uint64_t now, uint32_t rate)
{
    uint64_t at = silentPaused ? silentPausedAt : now;
    uint64_t ticks = at > silentStart ? at - silentStart : 0;
    // Whole seconds and the rest apart: no overflow however long it runs.
    uint64_t samples = ticks / silentTicksPerSecond * rate + ticks % silentTicksPerSecond * rate / silentTicksPerSecond;
    return (uint32_t)((samples * SOUND_BYTES_PER_SAMPLE) % SOUND_RING_BYTES);
}

// Samples played in the first `periods` periods, to the nearest (a half up).
static int64_t PlayedInPeriods(int64_t periods)
{
    return (periods * SOUND_SAMPLE_RATE * SOUND_REFILL_MS * 2 + 1000) / 2000;
}

int32_t SoundRefillSamples(int64_t refill)
{
    if (refill <= 0)
        return SOUND_RING_SAMPLES;
    return (int32_t)(PlayedInPeriods(refill) - PlayedInPeriods(refill - 1));
}
