// Test doubles for the platform calls the sound stream makes, linked in
// place of a real backend, plus helpers that put the song back to its start.
#pragma once

#include <atomic>
#include <stdint.h>
#include "platform/platform.h"
#include "platform/sound_ring.h"

// ---- fake sound ring (audio_fake_ring.cpp) ----

// The ring the fake hands out; the test reads what the feeder rendered.
extern uint8_t fakeRing[SOUND_RING_BYTES];
// What the device reports; the test or a fake device thread moves it.
extern std::atomic<uint32_t> fakePlayPos;
// When set, every lock is refused.
extern std::atomic<bool> fakeLockFails;
extern std::atomic<int> fakeLockCount;
extern std::atomic<int> fakeUnlockCount;
extern std::atomic<uint32_t> fakeStartRate;
// Regions of the last lock and of the last unlock, as ring offsets (-1 for
// none) and lengths.
extern int32_t fakeLockOffset[2], fakeUnlockOffset[2];
extern uint32_t fakeLockLength[2], fakeUnlockLength[2];
// What PlatformSoundClock reports: the state and the latest take (count 0:
// none known, the position alone tells).
extern std::atomic<int> fakeSoundState;
extern PlatformSoundTake fakeTake;
// Pauses less resumes asked of the output.
extern std::atomic<int> fakePauses;
void ResetFakeRing(void);

// ---- fake threads and sleep (audio_support.cpp) ----

// Called at every PlatformSleep, on the sleeping thread.
extern void (*fakeSleepHook)(uint32_t milliseconds);
// Real time slept per call, in milliseconds (0: just yield).
extern std::atomic<uint32_t> fakeSleepRealMs;
extern std::atomic<int> fakeSleepCount;
// What PlatformTimeMs reports; the test moves it.
extern std::atomic<uint64_t> fakeTimeMs;
// Waits for every thread started through PlatformStartThread to end.
void JoinFakeThreads(void);

// ---- song state ----

// The song back at its start (ResetSong) and the fake sleep undone.
void ResetSongAndFakes(void);
