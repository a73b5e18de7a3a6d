// The SDL sound ring with SDL's own test drivers: the disk driver writes what
// the device takes to a file, the dummy driver paces in real time, and an
// unknown driver forces the silent stand-in. Each case runs in a process of
// its own (the ring is opened once per process), with the driver chosen by
// the test's environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "state/shared.h"
#include "platform/platform.h"
#include "tests/audio/audio_fakes.h"

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int16_t PatternSample(uint32_t i) { return (int16_t)(1 + (i * 7919u) % 30000u); }

TEST(SdlRing, DiskDevicePlaysTheRingInOrderAndLoops)
{
    const char* file = getenv("SDL_DISKAUDIOFILE");
    ASSERT_NE(file, nullptr);
    PlatformSoundStart(nullptr, 44100);
    void *p1, *p2;
    uint32_t l1, l2;
    ASSERT_TRUE(PlatformSoundLock(0, SOUND_RING_BYTES, &p1, &l1, &p2, &l2));
    ASSERT_EQ(l1, (uint32_t)SOUND_RING_BYTES);
    ASSERT_EQ(p2, nullptr);
    for (uint32_t i = 0; i < SOUND_RING_SAMPLES; i++)
        ((int16_t*)p1)[i] = PatternSample(i);
    PlatformSoundUnlock(p1, l1, p2, l2);
    // About four turns of the ring.
    SleepMs(400);
    uint32_t pos = PlatformSoundPlayPosition();
    EXPECT_EQ(pos % 2, 0u);
    EXPECT_LT(pos, (uint32_t)SOUND_RING_BYTES);

    FILE* f = fopen(file, "rb");
    ASSERT_NE(f, nullptr);
    std::vector<int16_t> played(44100);
    size_t count = fread(played.data(), 2, played.size(), f);
    fclose(f);
    // What the device took before the unlock landed is the silent ring;
    // from the first sound on, it is the ring sample after sample, looping.
    size_t first = 0;
    while (first < count && played[first] == 0)
        first++;
    ASSERT_LT(first, (size_t)SOUND_RING_SAMPLES) << "no sound within the first turn";
    ASSERT_GE(count, first + 2 * SOUND_RING_SAMPLES) << "the device played less than two turns in 0.4 s";
    uint32_t ringIndex = 0;
    while (ringIndex < SOUND_RING_SAMPLES && PatternSample(ringIndex) != played[first])
        ringIndex++;
    ASSERT_LT(ringIndex, (uint32_t)SOUND_RING_SAMPLES);
    for (size_t k = first; k < count; k++)
        ASSERT_EQ(played[k], PatternSample((uint32_t)(ringIndex + (k - first)) % SOUND_RING_SAMPLES)) << "sample " << k;
}

TEST(SdlRing, NoDeviceFallsBackToASilentClock)
{
    testing::internal::CaptureStderr();
    PlatformSoundStart(nullptr, 44100);
    // The device is opened beside the caller: the stand-in comes once it fails.
    PlatformSoundTake take;
    for (int i = 0; i < 200 && PlatformSoundClock(&take) != PLATFORM_SOUND_SILENT; i++)
        SleepMs(10);
    ASSERT_EQ(PlatformSoundClock(&take), PLATFORM_SOUND_SILENT);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no sound device"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    // The position moves at 88200 bytes a second; follow it in steps well
    // under one turn of the ring.
    auto start = std::chrono::steady_clock::now();
    uint32_t last = PlatformSoundPlayPosition(), travelled = 0;
    for (int i = 0; i < 50; i++) {
        SleepMs(10);
        uint32_t now = PlatformSoundPlayPosition();
        ASSERT_EQ(now % 2, 0u);
        ASSERT_LT(now, (uint32_t)SOUND_RING_BYTES);
        travelled += (now + SOUND_RING_BYTES - last) % SOUND_RING_BYTES;
        last = now;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NEAR(travelled / seconds, 88200.0, 88200.0 * 0.1);

    // The viewer's pause holds the stand-in; the resume goes on from there.
    PlatformSoundPause(true);
    uint32_t held = PlatformSoundPlayPosition();
    SleepMs(60);
    EXPECT_EQ(PlatformSoundPlayPosition(), held);
    auto resumed = std::chrono::steady_clock::now();
    PlatformSoundPause(false);
    uint32_t moved = (PlatformSoundPlayPosition() + SOUND_RING_BYTES - held) % SOUND_RING_BYTES;
    double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - resumed).count();
    EXPECT_LE(moved, since * 88200.0 + 2) << "the pause's 60 ms were played after it";
}

TEST(SdlRing, LocksOnlyHandOutTheRing)
{
    PlatformSoundStart(nullptr, 44100);
    void *p1 = (void*)1, *p2 = (void*)1;
    uint32_t l1 = 7, l2 = 7;
    EXPECT_FALSE(PlatformSoundLock(SOUND_RING_BYTES, 2, &p1, &l1, &p2, &l2));
    EXPECT_EQ(p1, nullptr);
    EXPECT_EQ(l1, 0u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(l2, 0u);
    EXPECT_FALSE(PlatformSoundLock(0, SOUND_RING_BYTES + 2, &p1, &l1, &p2, &l2));
    EXPECT_FALSE(PlatformSoundLock(0, 0, &p1, &l1, &p2, &l2));

    ASSERT_TRUE(PlatformSoundLock(SOUND_RING_BYTES - 2192, 4000, &p1, &l1, &p2, &l2));
    EXPECT_EQ(l1, 2192u);
    EXPECT_EQ(l2, 1808u);
    EXPECT_EQ((uint8_t*)p1 - (uint8_t*)p2, SOUND_RING_BYTES - 2192);
    // Regions that did not come from a lock are ignored, not copied.
    int16_t stray[4] = {1, 2, 3, 4};
    PlatformSoundUnlock(stray, 8, nullptr, 0);
    PlatformSoundUnlock(p1, l1, p2, l2);
}

TEST(SdlRing, FeederKeepsTheRealDeviceFedInRealTime)
{
    // The feeder and the device callback run beside a frame loop that only
    // reads the quit flag.
    ResetSongAndFakes();
    fakeSleepRealMs = 25;
    auto start = std::chrono::steady_clock::now();
    StartAudio(nullptr, RenderAudio);
    std::thread loop([] {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
        while (!QuitRequested() && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        RequestQuit();
    });
    loop.join();
    JoinFakeThreads();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The song clock is ahead of the device by about one ring.
    EXPECT_NEAR(audioTime, seconds + (double)SOUND_RING_SAMPLES / SOUND_SAMPLE_RATE, 0.15);
    EXPECT_GE(rowCount, 3);
}

} // namespace
