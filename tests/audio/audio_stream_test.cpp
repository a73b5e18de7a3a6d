// The refill rule of the sound stream against a ring whose play position the
// test sets, and the feeder thread's start and stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "platform/sound_ring.h"
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

// The clock between the device's takes, and the stand-in clock for an output
// that stands still, against a fake device that says when it took what.
namespace {

int64_t countedSamples;

// Renders sample i of the song as 1 + i % 30000, so the ring tells which
// part of the song it holds.
void CountingRender(int16_t* out, int32_t byteCount)
{
    for (int32_t i = 0; i < byteCount / 2; i++)
        out[i] = (int16_t)(1 + (countedSamples + i) % 30000);
    countedSamples += byteCount / 2;
}

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSongAndFakes();
        ResetFakeRing();
        countedSamples = 0;
        renderCallback = CountingRender;
        writePos = 0;
        FillSoundBuffer(); // the whole ring, nothing taken yet
    }
    // The device takes bytes at usNow with the given latency; the feeder
    // refills every 25 ms of the same clock.
    void Take(uint32_t bytes, uint64_t usNow, uint64_t latencyUs)
    {
        taken += bytes;
        fakePlayPos = (uint32_t)(taken % SOUND_RING_BYTES);
        fakeTake.position = fakePlayPos;
        fakeTake.bytes = bytes;
        fakeTake.atUs = usNow;
        fakeTake.latencyUs = latencyUs;
        fakeTake.count++;
    }
    void Tick(uint64_t usNow)
    {
        fakeTake.nowUs = usNow;
        if (usNow / 1000 >= fakeTimeMs + 25) {
            fakeTimeMs = usNow / 1000;
            FillSoundBuffer();
        }
    }
    uint64_t taken = 0;
};

// A device that takes 256, then 512, then two 256s at once, keeping about a
// take ahead of what it plays, and a declared latency: the position read
// every millisecond trails what it plays by that latency, moves at the rate
// between takes, never goes back and never runs a take past the device.
TEST_F(ClockTest, PositionBetweenBurstyTakesTrailsByTheLatencyAndRisesSmoothly)
{
    const uint32_t pattern[] = {512, 1024, 512, 512};
    const uint64_t latencyUs = 20000;
    const double latency = latencyUs * 44100.0 / 1e6;
    double previous = 0.0;
    int step = 0, reads = 0;
    for (uint64_t us = 0; us <= 3000000; us += 100) {
        double played = us * 44100.0 / 1e6;
        while ((double)taken / 2 < played + 256) {
            Take(pattern[step % 4], us, latencyUs);
            // The burst: the fourth take follows the third at once.
            if (step % 4 == 2)
                Take(pattern[++step % 4], us, latencyUs);
            step++;
        }
        Tick(us);
        if (us % 1000 != 0)
            continue;
        double now = SongPlaySeconds() * 44100.0;
        ASSERT_GE(now, previous) << "at " << us << " us";
        ASSERT_LE(now, std::max(0.0, (double)taken / 2 - latency + 512 + 1)) << "at " << us << " us";
        if (us >= 300000) {
            // What the device took less the latency, from the take least
            // ahead of what it plays: at most its lead (256 samples and a
            // take) ahead of the played position less the latency.
            ASSERT_GE(now, played - latency - 2) << "at " << us << " us";
            ASSERT_LE(now, played - latency + 768 + 2) << "at " << us << " us";
            // A millisecond is 44.1 samples: no jump by a take or more.
            ASSERT_LT(now - previous, 100.0) << "at " << us << " us";
            reads++;
        }
        previous = now;
    }
    EXPECT_GT(reads, 2000);
    EXPECT_NEAR(SongOutputLatencyMs(), 20.0, 0.001);
}

// A server that says how long each take waits, exactly: the position read
// between takes is what the listener hears, to the sample.
TEST_F(ClockTest, ExactLatenciesGiveTheHeardPositionExactly)
{
    const uint64_t extraUs = 35000;
    for (uint64_t us = 0; us <= 2000000; us += 100) {
        double played = us * 44100.0 / 1e6;
        while ((double)taken / 2 < played + 512) {
            uint64_t ahead = (uint64_t)(((double)(taken / 2 + 256) - played) * 1e6 / 44100.0);
            Take(512, us, ahead + extraUs);
        }
        Tick(us);
        if (us >= 500000 && us % 1000 == 0) {
            ASSERT_NEAR(SongPlaySeconds() * 44100.0, played - extraUs * 44100.0 / 1e6, 2.0) << "at " << us;
        }
    }
}

// The live show's rule: a device that takes nothing for two seconds hands
// the song to the stand-in clock (one line), the song is rendered on unheard
// and the ring silenced; when it takes again, the song joins the show where
// the stand-in clock has it (one line), nothing missed played late.
TEST_F(ClockTest, AStandingOutputHandsTheSongToTheStandInAndTheSongJoinsWhenItPlaysAgain)
{
    outputStandIn = true;
    testing::internal::CaptureStderr();
    // A second of sound, then the device stands.
    for (int turn = 1; turn <= 40; turn++) {
        fakeTimeMs = turn * 25;
        fakePlayPos = (uint32_t)((turn * 2204) % SOUND_RING_BYTES);
        FillSoundBuffer();
    }
    double held = SongPlaySeconds();
    EXPECT_NEAR(held, 40 * 1102.0 / SOUND_SAMPLE_RATE, 1e-9);
    for (int turn = 41; turn < 40 + 80; turn++) {
        fakeTimeMs = turn * 25;
        FillSoundBuffer();
        ASSERT_EQ(SongPlaySeconds(), held) << "a hiccup holds picture and song together, turn " << turn;
    }
    // Two seconds standing: from here the stand-in clock moves the song on.
    fakeTimeMs = 120 * 25;
    FillSoundBuffer();
    for (uint32_t i = 0; i < SOUND_RING_SAMPLES; i++)
        ASSERT_EQ(((int16_t*)fakeRing)[i], 0) << "stale sound left in the ring at " << i;
    fakeTimeMs = 120 * 25 + 3000;
    FillSoundBuffer();
    EXPECT_NEAR(SongPlaySeconds(), held + 3.0, 0.001);
    EXPECT_GE(countedSamples, (int64_t)((held + 3.0) * SOUND_SAMPLE_RATE)) << "the song was not rendered on";
    // The device plays again: 2000 bytes taken since the stand.
    double before = SongPlaySeconds();
    uint32_t from = writePos;
    fakePlayPos = (fakePlayPos + 2000) % SOUND_RING_BYTES;
    fakeTimeMs = fakeTimeMs + 25;
    FillSoundBuffer();
    std::string err = testing::internal::GetCapturedStderr();
    double after = SongPlaySeconds();
    EXPECT_GE(after, before);
    EXPECT_NEAR(after, before + 0.025, 0.002);
    // What was written is the song from where the show will be when it is
    // heard: after the silent rest of the ring.
    int64_t first = (int64_t)(after * SOUND_SAMPLE_RATE) + SOUND_RING_SAMPLES - 1000;
    EXPECT_EQ(((int16_t*)fakeRing)[from / 2], (int16_t)(1 + first % 30000));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_NE(err.find("taken nothing for 2 s"), std::string::npos) << err;
    EXPECT_NE(err.find("plays again"), std::string::npos) << err;
    // And it plays on as before.
    fakePlayPos = (fakePlayPos + 2204) % SOUND_RING_BYTES;
    fakeTimeMs = fakeTimeMs + 25;
    FillSoundBuffer();
    EXPECT_NEAR(SongPlaySeconds(), after + 2204 / 2.0 / SOUND_SAMPLE_RATE, 1e-9);
}

// A device still opening after two seconds is given up on with its own
// line; the backend's own silent stand-in is a clock of its own, not a
// device to join; and the capture's and the page's streams wait for ever.
TEST_F(ClockTest, TheStandInOnlyForTheLiveShowAndNotOverTheBackendsOwn)
{
    fakeSoundState = PLATFORM_SOUND_OPENING;
    fakeTimeMs = 5000;
    FillSoundBuffer();
    EXPECT_EQ(SongPlaySeconds(), 0.0) << "the stand-in ran without the live show asking for it";

    // Standing since the first look: handed over at the next.
    outputStandIn = true;
    testing::internal::CaptureStderr();
    fakeTimeMs = 10000;
    FillSoundBuffer();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("has not opened in 2 s"), std::string::npos) << err;
    EXPECT_NEAR(SongPlaySeconds(), 0.0, 1e-9);
    fakeTimeMs = 13000;
    EXPECT_NEAR(SongPlaySeconds(), 3.0, 1e-9);

    // The backend gives up and plays its silent clock: no join.
    fakeSoundState = PLATFORM_SOUND_SILENT;
    fakePlayPos = 4000;
    fakeTimeMs = 14000;
    testing::internal::CaptureStderr();
    FillSoundBuffer();
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "");
    EXPECT_NEAR(SongPlaySeconds(), 4.0, 1e-9);
}

// A seek: the song moved to its sample through the seek hook, the ring
// filled with it from the play position on, the position starting there
// (back as well as on); a pause holds the position while the device would
// move, and asks the output to pause and resume.
int64_t jumpedTo = -1;
void CountingJump(int64_t sample)
{
    jumpedTo = sample;
    countedSamples = sample;
}

TEST_F(ClockTest, ASeekRefillsTheRingFromThePlayPositionWithTheSongFromItsSample)
{
    seekSong = CountingJump;
    for (int64_t target : {(int64_t)70 * SOUND_SAMPLE_RATE, (int64_t)5 * SOUND_SAMPLE_RATE}) {
        fakePlayPos = (fakePlayPos + 2204) % SOUND_RING_BYTES;
        SeekAudio(target);
        EXPECT_TRUE(AudioSeekPending());
        fakeTimeMs = fakeTimeMs + 25;
        FillSoundBuffer();
        EXPECT_FALSE(AudioSeekPending());
        EXPECT_EQ(jumpedTo, target);
        EXPECT_EQ(writePos, fakePlayPos.load());
        // The next sample the device takes is the seek's.
        EXPECT_EQ(((int16_t*)fakeRing)[writePos / 2], (int16_t)(1 + target % 30000));
        EXPECT_NEAR(SongPlaySeconds(), (double)target / SOUND_SAMPLE_RATE, 1e-9);
        fakePlayPos = (fakePlayPos + 2204) % SOUND_RING_BYTES;
        EXPECT_NEAR(SongPlaySeconds(), (double)(target + 1102) / SOUND_SAMPLE_RATE, 1e-9);
    }
    seekSong = nullptr;
}

TEST_F(ClockTest, APauseHoldsThePositionAndPausesTheOutput)
{
    fakePlayPos = 4000;
    fakeTimeMs = 25;
    FillSoundBuffer();
    double at = SongPlaySeconds();
    PauseAudio(true);
    EXPECT_EQ(fakePauses, 1);
    fakePlayPos = 6000;
    EXPECT_EQ(SongPlaySeconds(), at);
    PauseAudio(true);
    EXPECT_EQ(fakePauses, 1) << "a pause asked twice";
    PauseAudio(false);
    EXPECT_EQ(fakePauses, 0);
    EXPECT_NEAR(SongPlaySeconds(), at + 1000.0 / SOUND_SAMPLE_RATE, 1e-9);
}

// The silent stand-in's clock that every backend shares, on a counter the
// test reads out: 1000 ticks a second from tick 5000.
TEST(SilentClock, PlaysInRealTimeAndStandsStillWhilePaused)
{
    SilentClockStart(5000, 1000);
    EXPECT_EQ(SilentClockPosition(5000, 44100), 0u);
    // 50 ms: 2205 samples, 4410 bytes.
    EXPECT_EQ(SilentClockPosition(5050, 44100), 4410u);
    SilentClockPause(true, 5050);
    EXPECT_EQ(SilentClockPosition(9000, 44100), 4410u);
    SilentClockPause(true, 9000);
    // Resumed, it goes on from where it stood, not from the wall clock.
    SilentClockPause(false, 9500);
    EXPECT_EQ(SilentClockPosition(9500, 44100), 4410u);
    EXPECT_EQ(SilentClockPosition(9550, 44100), 8820u % SOUND_RING_BYTES);

    // A pause asked before the start holds it at the start.
    SilentClockPause(true, 100);
    SilentClockStart(200, 1000);
    EXPECT_EQ(SilentClockPosition(900, 44100), 0u);
    SilentClockPause(false, 1000);
    EXPECT_EQ(SilentClockPosition(1010, 44100), 882u);

    // A year of nanoseconds neither overflows nor loses a sample.
    const uint64_t year = 365ull * 86400 * 1000000000;
    SilentClockStart(0, 1000000000);
    EXPECT_EQ(SilentClockPosition(year, 44100), (uint32_t)(365ull * 86400 * 44100 * 2 % SOUND_RING_BYTES));
}

} // namespace
