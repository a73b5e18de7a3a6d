// A sound ring with no device: the play position is whatever the test says,
// and locks hand out pointers straight into a plain array.
#include "platform/platform.h"
#include "tests/audio/audio_fakes.h"

#include <string.h>
#include "platform/sound_ring.h"

uint8_t fakeRing[SOUND_RING_BYTES];
std::atomic<uint32_t> fakePlayPos;
std::atomic<bool> fakeLockFails;
std::atomic<int> fakeLockCount;
std::atomic<int> fakeUnlockCount;
std::atomic<uint32_t> fakeStartRate;
int32_t fakeLockOffset[2], fakeUnlockOffset[2];
uint32_t fakeLockLength[2], fakeUnlockLength[2];

static int32_t OffsetOf(void* p) { return p ? (int32_t)((uint8_t*)p - fakeRing) : -1; }

void ResetFakeRing(void)
{
    memset(fakeRing, 0, sizeof fakeRing);
    fakePlayPos = 0;
    fakeLockFails = false;
    fakeLockCount = 0;
    fakeUnlockCount = 0;
    fakeStartRate = 0;
    fakeSoundState = PLATFORM_SOUND_PLAYING;
    fakeTake = PlatformSoundTake();
    fakePauses = 0;
    for (int i = 0; i < 2; i++) {
        fakeLockOffset[i] = fakeUnlockOffset[i] = -1;
        fakeLockLength[i] = fakeUnlockLength[i] = 0;
    }
}

void PlatformSoundStart(PlatformWindow*, uint32_t sampleRate)
{
    fakeStartRate = sampleRate;
}

uint32_t PlatformSoundPlayPosition(void) { return fakePlayPos.load(); }

std::atomic<int> fakeSoundState{PLATFORM_SOUND_PLAYING};
std::atomic<int> fakePauses;

void PlatformSoundPause(bool pause) { fakePauses += pause ? 1 : -1; }
PlatformSoundTake fakeTake;

PlatformSoundState PlatformSoundClock(PlatformSoundTake* take)
{
    *take = fakeTake;
    return (PlatformSoundState)fakeSoundState.load();
}

bool PlatformSoundLock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1, void** p2, uint32_t* l2)
{
    fakeLockCount++;
    if (fakeLockFails) {
        // Like a lost buffer: the out values are left as they were.
        return false;
    }
    RingLockRegions(fakeRing, sizeof fakeRing, offset, bytes, p1, l1, p2, l2);
    fakeLockOffset[0] = OffsetOf(*p1);
    fakeLockLength[0] = *l1;
    fakeLockOffset[1] = OffsetOf(*p2);
    fakeLockLength[1] = *l2;
    return true;
}

void PlatformSoundUnlock(void* p1, uint32_t l1, void* p2, uint32_t l2)
{
    fakeUnlockCount++;
    fakeUnlockOffset[0] = OffsetOf(p1);
    fakeUnlockLength[0] = l1;
    fakeUnlockOffset[1] = OffsetOf(p2);
    fakeUnlockLength[1] = l2;
}
