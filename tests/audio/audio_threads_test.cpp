// The feeder thread beside a frame loop, as the show runs them: they share
// the quit flag and the song's heard position. Built with ThreadSanitizer, this must
// run without a report.
#include <gtest/gtest.h>

#include <thread>

#include "audio/audio.h"
#include "state/shared.h"
#include "tests/audio/audio_fakes.h"

namespace {

TEST(AudioThreads, SongEndStopsFeederAndFrameLoop)
{
    ResetSongAndFakes();
    ResetFakeRing();
    // The fake device plays about 25 ms of sound per feeder turn without
    // real waiting, so the whole song runs in a few seconds.
    fakeSleepRealMs = 0;
    fakeSleepHook = [](uint32_t) { fakePlayPos = (fakePlayPos + 2204) % SOUND_RING_BYTES; };
    StartAudio(nullptr, RenderAudio);

    // The frame loop: polls the flag and the song's heard position once per
    // "frame" until the song ends; the position never goes back.
    long frames = 0;
    double heard = 0.0;
    bool wentBack = false;
    std::thread loop([&] {
        while (!QuitRequested()) {
            frames++;
            double now = SongPlaySeconds();
            wentBack = wentBack || now < heard;
            heard = now;
            std::this_thread::yield();
        }
    });
    loop.join();
    JoinFakeThreads();

    EXPECT_GT(frames, 0);
    EXPECT_FALSE(wentBack);
    // At the end mark the device has played all but the ring rendered ahead.
    EXPECT_GT(SongPlaySeconds(), 117.0);
    EXPECT_EQ(rowCount, 977);
    EXPECT_GT(audioTime, 117.24f);
    EXPECT_LT(audioTime, 117.24f + 0.1f);
}

TEST(AudioThreads, QuitFromTheFrameLoopSideStopsTheFeeder)
{
    // The flag raised by the other thread (a GL error) ends the feeder too.
    ResetSongAndFakes();
    ResetFakeRing();
    fakeSleepRealMs = 1;
    fakeSleepHook = [](uint32_t) { fakePlayPos = (fakePlayPos + 2204) % SOUND_RING_BYTES; };
    StartAudio(nullptr, RenderAudio);
    std::thread loop([] {
        while (fakeLockCount.load() < 5)
            std::this_thread::yield();
        RequestQuit();
    });
    loop.join();
    JoinFakeThreads();
    int refills = fakeLockCount.load();
    EXPECT_GE(refills, 5);
    // Stopped by the flag, long before the song's own end.
    EXPECT_LT(rowCount, 977);
}

} // namespace
