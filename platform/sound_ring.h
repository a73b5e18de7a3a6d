// The sound ring: its geometry, owned here alone, and the mechanics every
// backend shares. The show's stream, each backend, the tools and the tests
// all follow these numbers, so a different ring is a change of one line.
#pragma once

#include <stdint.h>

constexpr int32_t SOUND_SAMPLE_RATE = 44100;
constexpr int32_t SOUND_BYTES_PER_SAMPLE = 2; // signed 16-bit mono
constexpr int32_t SOUND_RING_BYTES = 8192;
constexpr int32_t SOUND_RING_SAMPLES = SOUND_RING_BYTES / SOUND_BYTES_PER_SAMPLE;
constexpr int32_t SOUND_REFILL_MS = 25; // the feeder's period
static_assert(SOUND_RING_BYTES % SOUND_BYTES_PER_SAMPLE == 0, "the ring holds whole samples");

// Samples the feeder renders in its refill number `refill` (0 the first):
// the whole ring at the start, then what the output plays in each period,
// rounded so that the running total keeps to the rate (at 44100 Hz and
// 25 ms: 4096, then 1103, 1102, 1103, 1102 ...).
int32_t SoundRefillSamples(int64_t refill);

// Write access to bytes [offset, offset + bytes) of the ring of ringBytes at
// base, split in two regions where it wraps. False, with both regions
// null/0, when the request is empty or reaches outside the ring.
bool RingLockRegions(uint8_t* base, uint32_t ringBytes, uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1,
                     void** p2, uint32_t* l2);

// What every backend's PlatformSoundStart does first: nothing, returning
// false, when its ring has started already; else marks it started, keeps the
// rate asked for (*keptRate; the ring's own for 0), and clears storage.
bool RingStart(bool* started, uint8_t* storage, uint32_t sampleRate, uint32_t* keptRate);

// The silent output that stands in where no device opens: it "takes"
// samples at the rate given from its start, so the song and its end mark
// keep real time. One clock for the process, read from the backend's own
// monotonic counter (now its reading, ticksPerSecond its rate); the backend
// keeps the calls apart (its lock, or one thread).
void SilentClockStart(uint64_t now, uint64_t ticksPerSecond);
// Holds the clock (the viewer's pause) or lets it run on from where it
// stood; a pause asked before the start holds it from the start.
void SilentClockPause(bool pause, uint64_t now);
// The ring offset up to which the stand-in has played at now.
uint32_t SilentClockPosition(uint64_t now, uint32_t rate);
