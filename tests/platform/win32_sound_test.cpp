// The Windows sound ring: DirectSound where a device opens (an ALSA null
// device under Wine), the silent stand-in where none does. One scenario per
// process, since the ring starts once: the ctest entries pick them by filter
// and give each its own HOME.
#include <gtest/gtest.h>

#include <windows.h>
#include <string.h>
#include <string>

#include "audio/audio.h"
#include "state/shared.h"
#include "platform/platform.h"

namespace {

// Starts the ring once for the whole process; returns what it said on stderr.
std::string StartRing(PlatformWindow* window)
{
    testing::internal::CaptureStderr();
    PlatformSoundStart(window, 44100);
    return testing::internal::GetCapturedStderr();
}

// Distance the play cursor moved from a to b around the ring.
uint32_t Moved(uint32_t a, uint32_t b) { return (b + SOUND_RING_BYTES - a) % SOUND_RING_BYTES; }

// The lock contract, whichever ring is behind it.
void CheckLockRegions()
{
    void* p1 = (void*)1;
    void* p2 = (void*)1;
    uint32_t l1 = 99, l2 = 99;
    ASSERT_TRUE(PlatformSoundLock(1000, 2000, &p1, &l1, &p2, &l2));
    EXPECT_NE(p1, nullptr);
    EXPECT_EQ(l1, 2000u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(l2, 0u);
    PlatformSoundUnlock(p1, l1, p2, l2);

    // Across the end: the tail first, then the start of the same ring.
    ASSERT_TRUE(PlatformSoundLock(SOUND_RING_BYTES - 192, 400, &p1, &l1, &p2, &l2));
    EXPECT_EQ(l1, 192u);
    EXPECT_EQ(l2, 208u);
    ASSERT_NE(p1, nullptr);
    ASSERT_NE(p2, nullptr);
    EXPECT_EQ((uint8_t*)p1 - (uint8_t*)p2, SOUND_RING_BYTES - 192);
    memset(p1, 0x11, l1);
    memset(p2, 0x22, l2);
    PlatformSoundUnlock(p1, l1, p2, l2);

    // Requests outside the ring are refused with both regions cleared.
    const uint32_t bad[][2] = {{SOUND_RING_BYTES, 2}, {0, 0}, {0, SOUND_RING_BYTES + 2}, {SOUND_RING_BYTES / 2, SOUND_RING_BYTES + 808}};
    for (const auto& b : bad) {
        p1 = p2 = (void*)1;
        l1 = l2 = 99;
        EXPECT_FALSE(PlatformSoundLock(b[0], b[1], &p1, &l1, &p2, &l2)) << b[0] << " " << b[1];
        EXPECT_EQ(p1, nullptr);
        EXPECT_EQ(p2, nullptr);
        EXPECT_EQ(l1 + l2, 0u);
    }
}

// Puts the song one row before its end mark, so the feeder ends it at once.
void SongAtItsLastRow()
{
    int32_t end = 0;
    while (end < ORDER_LENGTH && orderList[end] != END_MARK)
        end++;
    ASSERT_LT(end, ORDER_LENGTH);
    audioTime = 0.0f;
    rowCount = 0;
    row = 15;
    orderPos = end - 1;
    quitRequested.store(0);
}

// Waits for the feeder to raise the quit flag; false after limitMs.
bool WaitForQuit(DWORD limitMs)
{
    DWORD start = GetTickCount();
    while (!QuitRequested()) {
        if (GetTickCount() - start > limitMs)
            return false;
        Sleep(10);
    }
    return true;
}

TEST(NoDevice, FallsBackToASilentRingThatKeepsRealTime)
{
    std::string said = StartRing(nullptr);
    EXPECT_NE(said.find("DirectSoundCreate failed"), std::string::npos) << said;
    EXPECT_NE(said.find("plays silently"), std::string::npos) << said;

    // The position moves on by itself, in whole samples, inside the ring.
    uint32_t first = PlatformSoundPlayPosition();
    Sleep(60);
    uint32_t second = PlatformSoundPlayPosition();
    EXPECT_EQ(first % 2, 0u);
    EXPECT_EQ(second % 2, 0u);
    EXPECT_LT(second, (uint32_t)SOUND_RING_BYTES);
    // 60 ms is about 5300 bytes; a loaded machine only sleeps longer, and
    // two positions a whole number of rings apart would read as equal.
    EXPECT_NE(first, second);
    EXPECT_GT(Moved(first, second), 0u);

    CheckLockRegions();
}

TEST(NoDevice, SongStillEndsAtItsEndMark)
{
    StartRing(nullptr);
    SongAtItsLastRow();
    DWORD start = GetTickCount();
    StartAudio(nullptr, RenderAudio);
    ASSERT_TRUE(WaitForQuit(10000)) << "the song's end mark never ended the show";
    DWORD elapsed = GetTickCount() - start;
    // The silent ring is paced: the feeder renders what real time played,
    // plus the one ring it starts ahead, never the whole row at once.
    EXPECT_GE(audioTime, 0.12f);
    EXPECT_LE(audioTime, (float)elapsed / 1000.0f + (float)SOUND_RING_BYTES / (float)(SOUND_SAMPLE_RATE * SOUND_BYTES_PER_SAMPLE) + 0.05f);
}

// With a sound device (HOME's .asoundrc names an ALSA null device) and the
// show's window, the whole DirectSound sequence succeeds.
TEST(NullDevice, PlaysThroughDirectSound)
{
    PlatformWindow* window = PlatformCreateWindow(0, 0, 320, 240);
    ASSERT_NE(window, nullptr) << PlatformLastError();
    std::string said = StartRing(window);
    EXPECT_EQ(said, "");

    CheckLockRegions();
    // What was written is what the buffer holds.
    void *p1, *p2;
    uint32_t l1, l2;
    ASSERT_TRUE(PlatformSoundLock(SOUND_RING_BYTES - 192, 400, &p1, &l1, &p2, &l2));
    EXPECT_EQ(((uint8_t*)p1)[0], 0x11);
    EXPECT_EQ(((uint8_t*)p2)[l2 - 1], 0x22);
    PlatformSoundUnlock(p1, l1, p2, l2);

    uint32_t position = PlatformSoundPlayPosition();
    EXPECT_LT(position, (uint32_t)SOUND_RING_BYTES);
    EXPECT_EQ(position % 2, 0u);

    SongAtItsLastRow();
    StartAudio(window, RenderAudio);
    EXPECT_TRUE(WaitForQuit(10000)) << "the feeder never reached the song's end mark";
}

// A device that opens but refuses a later step (a rate whose byte rate
// overflows to nothing: the primary buffer refuses the format) ends in the
// silent ring, never a crash.
TEST(NullDevice, RefusedLaterStepFallsBackToSilence)
{
    testing::internal::CaptureStderr();
    PlatformSoundStart(nullptr, 0x80000000u);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("SetFormat failed"), std::string::npos) << said;
    EXPECT_NE(said.find("plays silently"), std::string::npos) << said;

    // The silent ring is the whole ring.
    uint32_t position = PlatformSoundPlayPosition();
    EXPECT_LT(position, (uint32_t)SOUND_RING_BYTES);
    EXPECT_EQ(position % 2, 0u);
    CheckLockRegions();
}

} // namespace
