#include "platform/sound_ring.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

uint32_t RingBytesFor(uint32_t ringBytes)
{
    uint32_t kept = ringBytes > SOUND_RING_BYTES ? (uint32_t)SOUND_RING_BYTES
                                                 : ringBytes & ~(uint32_t)(SOUND_BYTES_PER_SAMPLE - 1);
    if (kept == 0)
        kept = SOUND_RING_BYTES;
    if (kept != ringBytes) {
        fprintf(stderr, "brinelux: a sound ring of %u bytes was asked for; it has %u\n", ringBytes, kept);
        fflush(stderr);
    }
    return kept;
}

bool RingStart(bool* started, uint8_t* storage, uint32_t ringBytes, uint32_t sampleRate, uint32_t* keptBytes,
               uint32_t* keptRate)
{
    if (*started)
        return false;
    *started = true;
    *keptBytes = RingBytesFor(ringBytes);
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

uint64_t SilentSamplesPlayed(uint64_t ticks, uint64_t ticksPerSecond, uint32_t rate)
{
    // Whole seconds and the rest apart: no overflow however long it runs.
    return ticks / ticksPerSecond * rate + ticks % ticksPerSecond * rate / ticksPerSecond;
}

uint32_t SilentPlayPosition(uint64_t ticks, uint64_t ticksPerSecond, uint32_t ringBytes, uint32_t rate)
{
    uint64_t samples = SilentSamplesPlayed(ticks, ticksPerSecond, rate);
    return (uint32_t)((samples * SOUND_BYTES_PER_SAMPLE) % ringBytes);
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
