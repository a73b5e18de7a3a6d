// The offline backend's virtual clock with the show's real sound stream:
// which refills happen in which frame, how many samples each asks for, what
// the virtual device plays, and which frames cost fragment work.
//
// The backend holds one feeder and one context per process, so each test
// runs in a process of its own (see capture.cmake).
#include <gtest/gtest.h>
#include <mutex>
#include <vector>
#include "audio/audio.h"
#include "state/shared.h"
#include "host/pace.h"
#include "platform/gl.h"
#include "platform/offline/offline.h"
#include "platform/platform.h"

namespace {

struct Call {
    int32_t samples;
    int32_t framesDone; // frames swapped when the call came
};

std::mutex callsLock;
std::vector<Call> calls;
int16_t nextValue;

// Writes a running count, so the played stream shows any sample lost,
// repeated or reordered.
void CountingRender(int16_t* out, int32_t byteCount)
{
    std::lock_guard<std::mutex> lock(callsLock);
    for (int32_t i = 0; i < byteCount / 2; i++)
        out[i] = nextValue++;
    calls.push_back({byteCount / 2, OfflineFramesDone()});
}

std::vector<int16_t> played;
int64_t playedNext;
bool playedInOrder = true;

void RecordPlayed(int64_t first, const int16_t* samples, int32_t count)
{
    playedInOrder = playedInOrder && first == playedNext;
    played.insert(played.end(), samples, samples + count);
    playedNext = first + count;
}

// Samples played by time t = num / den seconds, rounding half up.
int64_t PlayedBy(int64_t num, int64_t den) { return (2 * num * 44100 + den) / (2 * den); }

// The calls the refill rule makes on a ring of SOUND_RING_SAMPLES samples whose device plays
// (j x 25 ms) x 44100 samples by refill j: a full ring first, then the samples
// played since, split in two where the region wraps.
std::vector<int32_t> ExpectedCalls(int refills)
{
    std::vector<int32_t> sizes;
    int64_t writeAt = 0;
    for (int j = 0; j < refills; j++) {
        int64_t n = j == 0 ? SOUND_RING_SAMPLES : PlayedBy(j, 40) - PlayedBy(j - 1, 40);
        int64_t first = std::min<int64_t>(n, SOUND_RING_SAMPLES - writeAt);
        sizes.push_back((int32_t)first);
        if (n > first)
            sizes.push_back((int32_t)(n - first));
        writeAt = (writeAt + n) % SOUND_RING_SAMPLES;
    }
    return sizes;
}

// Walks the recorded calls refill by refill (a refill that wraps the ring
// makes two calls) and checks that refill j came while frame frameOf(j) was
// being swapped; refill 0 comes in frame 1 before any swap. Returns the
// number of whole refills seen. Call with callsLock held.
int CheckRefillFrames(int (*frameOf)(int))
{
    int refill = 0;
    int64_t samples = 0, due = SOUND_RING_SAMPLES;
    for (size_t i = 0; i < calls.size(); i++) {
        EXPECT_EQ(calls[i].framesDone, refill == 0 ? 0 : frameOf(refill)) << "refill " << refill;
        samples += calls[i].samples;
        EXPECT_LE(samples, due) << "refill " << refill << " rendered more than was played";
        if (samples == due) {
            refill++;
            due += PlayedBy(refill, 40) - PlayedBy(refill - 1, 40);
        }
    }
    EXPECT_EQ(samples, due - (PlayedBy(refill, 40) - PlayedBy(refill - 1, 40))) << "a refill was cut short";
    return refill;
}

PlatformWindow* Window()
{
    OfflineSetFrameRule(FramePeriodsBefore);
    PlatformWindow* window = PlatformCreateWindow(0, 0, 1024, 768);
    if (!window)
        ADD_FAILURE() << PlatformLastError();
    return window;
}

// Frame 1 starts the sound as the show's timeline does; then frames are
// swapped until `frames` are done.
void RunFrames(PlatformWindow* window, int frames)
{
    StartAudio(window, CountingRender);
    for (int k = 1; k <= frames; k++)
        PlatformSwapBuffers(window);
}

TEST(CaptureClock, RefillsFollowTheVirtualClockAtTwentyFiveFrames)
{
    OfflineSetSinks(nullptr, RecordPlayed);
    PlatformWindow* window = Window();
    ASSERT_NE(window, nullptr);
    RunFrames(window, 100); // 4 s

    // Refills at 0, 25, 50 ... 3975 ms: 160 of them before the start of
    // frame 101, refill j inside frame floor(j x 25 / 40) + 1.
    std::vector<int32_t> sizes = ExpectedCalls(160);
    std::lock_guard<std::mutex> lock(callsLock);
    ASSERT_EQ(calls.size(), sizes.size());
    for (size_t i = 0; i < calls.size(); i++)
        EXPECT_EQ(calls[i].samples, sizes[i]) << "call " << i;
    int refill = CheckRefillFrames([](int j) { return j * 25 / 40 + 1; });
    EXPECT_EQ(refill, 160);
    EXPECT_EQ(OfflineFrameOfRefill(159), 100);
    EXPECT_EQ(OfflineFrameOfRefill(160), 101);

    // The device plays the rendered stream from sample 0 at the start of
    // frame 1, nothing lost, repeated or reordered, up to frame 101's start.
    EXPECT_TRUE(playedInOrder);
    ASSERT_EQ((int64_t)played.size(), OfflineSamplesBeforeFrame(101));
    EXPECT_EQ(played.size(), 100u * 1764u);
    for (size_t i = 0; i < played.size(); i++)
        ASSERT_EQ(played[i], (int16_t)i) << "sample " << i;
}

TEST(CaptureClock, NtscRateInterleavesInVirtualTimeOrder)
{
    OfflineSetFrameRate(30000, 1001);
    OfflineSetSinks(nullptr, RecordPlayed);
    PlatformWindow* window = Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(OfflineSamplesBeforeFrame(1), 0);
    // Frame 2 starts at 1001 / 30000 s = 1471.47 samples.
    EXPECT_EQ(OfflineSamplesBeforeFrame(2), 1471);
    EXPECT_EQ(OfflineSamplesBeforeFrame(3), PlayedBy(2 * 1001, 30000));
    RunFrames(window, 60);

    // Every refill j comes in the frame whose span holds j x 25 ms.
    std::lock_guard<std::mutex> lock(callsLock);
    int refill = CheckRefillFrames([](int j) { return (int)(j * 25 * 30000LL / (1000 * 1001)) + 1; });
    for (int j = 1; j < refill; j++)
        EXPECT_EQ(OfflineFrameOfRefill(j), j * 25 * 30000LL / (1000 * 1001) + 1);
    // 60 frames are 2.002 s: refills 0 to 80 (2000 ms) have happened.
    EXPECT_EQ(refill, 81);
    EXPECT_EQ((int64_t)played.size(), PlayedBy(60 * 1001, 30000));
    EXPECT_TRUE(playedInOrder);
}

std::vector<int32_t> sunkFrames;
std::vector<uint8_t> firstPixel;

void RecordFrame(int32_t frame, const uint8_t* rgb, int width, int height)
{
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    sunkFrames.push_back(frame);
    firstPixel.insert(firstPixel.end(), rgb, rgb + 3);
}

TEST(CaptureClock, FramesBeforeTheRangeDrawNothingAndTheRangeEndsTheShow)
{
    OfflineSetFrameRange(3, 4);
    OfflineSetSinks(RecordFrame, nullptr);
    PlatformWindow* window = Window();
    ASSERT_NE(window, nullptr);
    // Frames 1 and 2 clear to red, frames 3 and 4 to green then blue: the
    // skipped frames' clears must leave no trace.
    const float colours[4][3] = {{1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    std::vector<uint8_t> afterSkipped;
    for (int k = 1; k <= 4; k++) {
        EXPECT_FALSE(PlatformTerminationRequested()) << "before frame " << k;
        glClearColor(colours[k - 1][0], colours[k - 1][1], colours[k - 1][2], 1);
        glClear(GL_COLOR_BUFFER_BIT);
        if (k == 2) {
            afterSkipped.resize(4);
            glReadPixels(512, 384, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, afterSkipped.data());
        }
        PlatformSwapBuffers(window);
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_TRUE(PlatformTerminationRequested());
    EXPECT_FALSE(PlatformKeyPressed(PLATFORM_KEY_ESCAPE));
    EXPECT_FALSE(PlatformKeyPressed(PLATFORM_KEY_SPACE));
    ASSERT_EQ(sunkFrames, (std::vector<int32_t>{3, 4}));
    EXPECT_EQ(firstPixel, (std::vector<uint8_t>{0, 255, 0, 0, 0, 255}));
    ASSERT_EQ(afterSkipped.size(), 4u);
    EXPECT_NE(afterSkipped[0], 255) << "a skipped frame was drawn";
}

TEST(CaptureClock, RingRefusesLocksOutsideItAndBeforeItStarts)
{
    void* p1 = (void*)1;
    void* p2 = (void*)1;
    uint32_t l1 = 9, l2 = 9;
    EXPECT_FALSE(PlatformSoundLock(0, 2, &p1, &l1, &p2, &l2));
    EXPECT_EQ(p1, nullptr);
    EXPECT_EQ(l1, 0u);
    PlatformSoundStart(nullptr, 44100);
    EXPECT_FALSE(PlatformSoundLock(SOUND_RING_BYTES, 2, &p1, &l1, &p2, &l2));
    EXPECT_FALSE(PlatformSoundLock(0, SOUND_RING_BYTES + 2, &p1, &l1, &p2, &l2));
    EXPECT_EQ(p2, nullptr);
    ASSERT_TRUE(PlatformSoundLock(SOUND_RING_BYTES - 192, 400, &p1, &l1, &p2, &l2));
    EXPECT_EQ(l1, 192u);
    EXPECT_EQ(l2, 208u);
    EXPECT_EQ((uint8_t*)p1 - (uint8_t*)p2, SOUND_RING_BYTES - 192);
    ASSERT_TRUE(PlatformSoundLock(0, SOUND_RING_BYTES, &p1, &l1, &p2, &l2));
    EXPECT_EQ(l1, (uint32_t)SOUND_RING_BYTES);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(PlatformSoundPlayPosition(), 0u);
}

} // namespace
