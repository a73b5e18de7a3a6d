// The refill rule of the sound stream against a ring whose play position the
// test sets, and the feeder thread's start and stop.
#include <gtest/gtest.h>

#include <string.h>
#include <vector>

#include "audio/audio.h"
#include "state/shared.h"
#include "tests/audio/audio_fakes.h"

namespace {

struct Region {
    int32_t offset;
    int32_t bytes;
};
std::vector<Region> regions;
bool quitOnFirstRegion;
int quitAfterCalls;

// Records where it was asked to write and marks every sample it writes.
void RecordingRender(int16_t* out, int32_t byteCount)
{
    regions.push_back({(int32_t)((uint8_t*)out - fakeRing), byteCount});
    for (int32_t i = 0; i < byteCount / 2; i++)
        out[i] = (int16_t)(0x4000 + regions.size());
    if (quitOnFirstRegion && regions.size() == 1)
        RequestQuit();
    if (quitAfterCalls && (int)regions.size() == quitAfterCalls)
        RequestQuit();
}

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSongAndFakes();
        ResetFakeRing();
        regions.clear();
        quitOnFirstRegion = false;
        quitAfterCalls = 0;
        renderCallback = RecordingRender;
        writePos = 0;
    }
    void Refill(uint32_t writeAt, uint32_t playAt)
    {
        regions.clear();
        writePos = writeAt;
        fakePlayPos = playAt;
        FillSoundBuffer();
    }
};

TEST_F(StreamTest, FirstRefillAtZeroRendersTheWholeRingInOneCall)
{
    Refill(0, 0);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].offset, 0);
    EXPECT_EQ(regions[0].bytes, SOUND_RING_BYTES);
    EXPECT_EQ(writePos, 0u);
    EXPECT_EQ(fakeUnlockCount, 1);
}

TEST_F(StreamTest, RefillBehindThePlayCursorIsOneRegion)
{
    Refill(1000, 3000);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].offset, 1000);
    EXPECT_EQ(regions[0].bytes, 2000);
    EXPECT_EQ(writePos, 3000u);
}

TEST_F(StreamTest, RefillAcrossTheEndRendersEndPartFirst)
{
    const int32_t nearEnd = SOUND_RING_BYTES - 2192;
    Refill(nearEnd, 1000);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0].offset, nearEnd);
    EXPECT_EQ(regions[0].bytes, 2192);
    EXPECT_EQ(regions[1].offset, 0);
    EXPECT_EQ(regions[1].bytes, 1000);
    EXPECT_EQ(regions[0].bytes + regions[1].bytes, SOUND_RING_BYTES - (nearEnd - 1000));
    EXPECT_EQ(writePos, 1000u);
    // The same regions go back to the ring.
    EXPECT_EQ(fakeUnlockOffset[0], nearEnd);
    EXPECT_EQ(fakeUnlockLength[0], 2192u);
    EXPECT_EQ(fakeUnlockOffset[1], 0);
    EXPECT_EQ(fakeUnlockLength[1], 1000u);
}

TEST_F(StreamTest, AStandingDeviceGetsNothingHoweverLateTheFeederComes)
{
    Refill(0, 0);
    fakeTimeMs = 25;
    Refill(0, 5000);
    // A playing device, the feeder a ring's time (4096 samples, 92.9 ms)
    // late and the position where it was: the device took the whole ring.
    fakeTimeMs = 25 + 93;
    Refill(5000, 5000);
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0].offset, 5000);
    EXPECT_EQ(regions[0].bytes + regions[1].bytes, SOUND_RING_BYTES);
    EXPECT_EQ(writePos, 5000u);
    // Then it stands: nothing is rendered, whether the turns come on time
    // or late, until it moves again.
    for (int turn = 1; turn <= 40; turn++) {
        fakeTimeMs = fakeTimeMs + (turn % 4 == 0 ? 200 : 25);
        Refill(5000, 5000);
        ASSERT_TRUE(regions.empty()) << "turn " << turn;
        ASSERT_EQ(writePos, 5000u);
    }
    EXPECT_EQ(fakeLockCount, 3);
    fakeTimeMs = fakeTimeMs + 25;
    Refill(5000, 7000);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].bytes, 2000);
}

TEST_F(StreamTest, RefillOfExactlyTheDistanceToTheEndWrapsToZero)
{
    Refill(SOUND_RING_BYTES - 2192, 0);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].bytes, 2192);
    EXPECT_EQ(writePos, 0u);
}

TEST_F(StreamTest, SuccessiveRefillsFollowEachOtherWithoutGaps)
{
    // A device that moves on by an uneven amount each visit, sometimes a
    // whole turn; every region starts where the previous one ended.
    uint32_t expectedNext = 0, play = 0, total = 0;
    uint32_t seed = 12345;
    for (int visit = 0; visit < 2000; visit++) {
        seed = seed * 1103515245u + 12345u;
        play = (play + 2 * ((seed >> 8) % SOUND_RING_SAMPLES)) % SOUND_RING_BYTES;
        regions.clear();
        fakePlayPos = play;
        fakeTimeMs = fakeTimeMs + 100; // time enough for a whole turn
        uint32_t before = writePos;
        FillSoundBuffer();
        ASSERT_LT(writePos, (uint32_t)SOUND_RING_BYTES);
        ASSERT_EQ(writePos, play);
        ASSERT_GE(regions.size(), 1u);
        ASSERT_LE(regions.size(), 2u);
        uint32_t bytes = 0;
        for (const Region& r : regions) {
            ASSERT_EQ((uint32_t)r.offset, expectedNext);
            ASSERT_GT(r.bytes, 0);
            ASSERT_EQ(r.bytes % 2, 0);
            expectedNext = (expectedNext + r.bytes) % SOUND_RING_BYTES;
            bytes += r.bytes;
        }
        ASSERT_EQ(bytes, before < play ? play - before : SOUND_RING_BYTES - (before - play));
        total += bytes;
    }
    EXPECT_GT(total, 2000u * 2);
}

TEST_F(StreamTest, RefusedLockRendersNothingAndKeepsThePosition)
{
    fakeLockFails = true;
    Refill(1000, 3000);
    EXPECT_TRUE(regions.empty());
    EXPECT_EQ(fakeUnlockCount, 0);
    EXPECT_EQ(writePos, 1000u);
    // Once the ring is back, the gap is rendered in one go.
    fakeLockFails = false;
    fakePlayPos = 4000;
    FillSoundBuffer();
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].offset, 1000);
    EXPECT_EQ(regions[0].bytes, 3000);
}

TEST_F(StreamTest, PlayPositionOutsideTheRingStillKeepsWritePosInside)
{
    Refill(0, 20000);
    EXPECT_LT(writePos, (uint32_t)SOUND_RING_BYTES);
    for (const Region& r : regions)
        EXPECT_LE(r.offset + r.bytes, SOUND_RING_BYTES);
}

TEST_F(StreamTest, QuitDuringARefillStillRendersBothRegions)
{
    quitOnFirstRegion = true;
    Refill(6000, 1000);
    EXPECT_TRUE(QuitRequested());
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[1].bytes, 1000);
    // Every byte of both regions was written.
    for (int32_t i = 0; i < 1000; i += 2)
        ASSERT_EQ(*(int16_t*)(fakeRing + i), 0x4002);
    for (int32_t i = 6000; i < SOUND_RING_BYTES; i += 2)
        ASSERT_EQ(*(int16_t*)(fakeRing + i), 0x4001);
}

TEST_F(StreamTest, FeederStartsOnTheRingAndStopsAtItsNextCheck)
{
    // The device moves on by about 25 ms of sound between visits.
    fakeSleepHook = [](uint32_t ms) {
        EXPECT_EQ(ms, 25u);
        fakePlayPos = (fakePlayPos + 2204) % SOUND_RING_BYTES;
    };
    quitAfterCalls = 3;
    StartAudio(nullptr, RecordingRender);
    JoinFakeThreads();
    EXPECT_EQ(fakeStartRingBytes, (uint32_t)SOUND_RING_BYTES);
    EXPECT_EQ(fakeStartRate, 44100u);
    // Refill 1 is the whole ring, 2 and 3 the 2204 bytes played since; the
    // refill that raised the flag finishes, sleeps, and the loop ends.
    ASSERT_EQ(regions.size(), 3u);
    EXPECT_EQ(regions[0].bytes, SOUND_RING_BYTES);
    EXPECT_EQ(regions[1].bytes, 2204);
    EXPECT_EQ(regions[2].bytes, 2204);
    EXPECT_EQ(fakeLockCount, 3);
    EXPECT_EQ(fakeSleepCount, 3);
}

TEST_F(StreamTest, FeederNeverStartsARefillOnceQuitIsRaised)
{
    RequestQuit();
    StartAudio(nullptr, RecordingRender);
    JoinFakeThreads();
    EXPECT_TRUE(regions.empty());
    EXPECT_EQ(fakeLockCount, 0);
}

} // namespace

// The song position the pictures follow: what the device has played, not
// what the feeder has rendered ahead of it.
TEST_F(StreamTest, HeardPositionFollowsThePlayCursorNotTheRendering)
{
    Refill(0, 0);
    // The whole ring rendered, none of it played yet.
    EXPECT_EQ(SongPlaySeconds(), 0.0);
    fakePlayPos = 2000;
    EXPECT_DOUBLE_EQ(SongPlaySeconds(), 1000.0 / SOUND_SAMPLE_RATE);
    fakeTimeMs = 25;
    Refill(0, 3000);
    // The refill renders 3000 more bytes; the position heard is unchanged.
    EXPECT_DOUBLE_EQ(SongPlaySeconds(), 1500.0 / SOUND_SAMPLE_RATE);
    // On round the ring's end: 3000 bytes, then the ring less 2000 more.
    fakePlayPos = 1000;
    EXPECT_DOUBLE_EQ(SongPlaySeconds(), (3000 + SOUND_RING_BYTES - 2000) / 2.0 / SOUND_SAMPLE_RATE);
}

TEST_F(StreamTest, AStalledDeviceHoldsTheHeardPosition)
{
    Refill(0, 0);
    fakeTimeMs = 25;
    Refill(0, 4000);
    double held = SongPlaySeconds();
    EXPECT_DOUBLE_EQ(held, 2000.0 / SOUND_SAMPLE_RATE);
    for (int turn = 1; turn <= 10; turn++) {
        fakeTimeMs = fakeTimeMs + 25;
        Refill(4000, 4000);
        ASSERT_EQ(SongPlaySeconds(), held) << "turn " << turn;
    }
}

TEST_F(StreamTest, HeardPositionNeverGoesBackWhenTheDeviceOutrunsTheFeeder)
{
    Refill(0, 0);
    fakePlayPos = 8000;
    double reached = SongPlaySeconds();
    EXPECT_DOUBLE_EQ(reached, 4000.0 / SOUND_SAMPLE_RATE);
    // The feeder comes when the device has gone round the ring to 100: it
    // sees only 100 bytes taken, and its account alone would put the song
    // back to 50 samples.
    fakeTimeMs = 25;
    Refill(0, 100);
    EXPECT_EQ(SongPlaySeconds(), reached);
}
