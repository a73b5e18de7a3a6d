// The show's pace: the frame due at a song position, the loop run up to it
// (frames behind unseen) and seeks, against the plain loop run frame by
// frame. Runs beside the timeline's fakes (timeline_test.cpp).
#include <gtest/gtest.h>
#include <vector>
#include "host/pace.h"
#include "host/show.h"

void ResetShow();

namespace {
struct LoopState {
    int32_t state;
    int32_t frames;
    float time;
};

LoopState Now() { return {timelineState, frameCount, sceneTime}; }

// The plain loop's state after each frame: [k] after frame k + 1.
std::vector<LoopState> PlainLoop(int32_t frames)
{
    ResetShow();
    std::vector<LoopState> after;
    for (int32_t k = 0; k < frames; k++) {
        RunFrame(nullptr);
        after.push_back(Now());
    }
    return after;
}

int drawn;
void CountDrawn(bool) { drawn++; }

// The song time of the capture's sample at which frame k starts: its
// frames start at whole samples at 25 frames a second.
double CaptureSampleSeconds(int32_t frame) { return (double)((int64_t)(frame - 1) * 1764) / 44100.0; }

void Expect(const LoopState& got, const LoopState& want, int32_t frame)
{
    EXPECT_EQ(got.state, want.state) << "frame " << frame;
    EXPECT_EQ(got.frames, want.frames) << "frame " << frame;
    EXPECT_EQ(got.time, want.time) << "frame " << frame;
}
} // namespace

TEST(Pace, PartsStartWhereTheTimelineShowsThem)
{
    ResetShow();
    EXPECT_EQ(PartFirstFrame(PART_TITLE), 1);
    EXPECT_EQ(PartFirstFrame(PART_THANKS), 301);
    EXPECT_EQ(PartFirstFrame(PART_WATER), 602);
    EXPECT_EQ(PartFirstFrame(PART_SPHERES), 728);
    EXPECT_DOUBLE_EQ(PartStartSeconds(PART_THANKS), 12.0);
    EXPECT_DOUBLE_EQ(PartStartSeconds(PART_WATER), 24.04);
    EXPECT_DOUBLE_EQ(PartStartSeconds(PART_SPHERES), 29.08);
    // Finding them leaves the show where it was.
    EXPECT_EQ(timelineState, -6);
    EXPECT_EQ(frameCount, 0);
}

TEST(Pace, DueFramesAtAndAroundPartBoundaries)
{
    EXPECT_EQ(DueFrame(0.0), 1);
    EXPECT_EQ(DueFrame(0.0399), 1);
    EXPECT_EQ(DueFrame(0.04), 2);
    for (ShowPart part : {PART_THANKS, PART_WATER, PART_SPHERES}) {
        double start = PartStartSeconds(part);
        int32_t first = PartFirstFrame(part);
        EXPECT_EQ(DueFrame(start), first) << showPartNames[part];
        EXPECT_EQ(DueFrame(start - 0.001), first - 1) << showPartNames[part];
        EXPECT_EQ(DueFrame(start + 0.039), first) << showPartNames[part];
        EXPECT_EQ(DueFrame(start + 0.041), first + 1) << showPartNames[part];
        EXPECT_DOUBLE_EQ(FrameStartSeconds(first, SHOW_FRAME_RATE), start);
    }
    // At another rate, as the capture numbers frames.
    EXPECT_DOUBLE_EQ(FrameStartSeconds(3, 30000.0 / 1001.0), 2 * 1001.0 / 30000.0);
}

TEST(Pace, SkippedThenDrawnFramesEqualThePlainLoops)
{
    std::vector<LoopState> plain = PlainLoop(1200);
    ResetShow();
    paceFrames = 0;
    PaceRewind();
    timelineState = -6;
    int32_t last = 0;
    for (int32_t due : {1, 2, 300, 301, 601, 602, 727, 728, 1079, 1080, 1200}) {
        bool scene = false;
        drawn = 0;
        ASSERT_TRUE(RunFramesTo(nullptr, due, CountDrawn, CountDrawn, &scene));
        EXPECT_EQ(paceFrames, due);
        // Only the due frame is drawn, wrapped by the caller's hook.
        EXPECT_EQ(drawn, 2) << "frame " << due;
        EXPECT_EQ(scene, due >= 602) << "frame " << due;
        Expect(Now(), plain[(size_t)due - 1], due);
        last = due;
    }
    // A frame already run is not run again.
    bool scene = false;
    drawn = 0;
    ASSERT_TRUE(RunFramesTo(nullptr, last, CountDrawn, CountDrawn, &scene));
    EXPECT_EQ(drawn, 0);
    EXPECT_EQ(paceFrames, last);
}

TEST(Pace, SeeksBothWaysLandOnTheCapturesFrame)
{
    std::vector<LoopState> plain = PlainLoop(1500);
    ResetShow();
    PaceRewind();
    timelineState = -6;
    bool scene = false;
    ASSERT_TRUE(RunFramesTo(nullptr, NextDueFrame(-1.0, false), nullptr, nullptr, &scene));
    ASSERT_EQ(paceFrames, 1);
    // Middles of frames, and the capture's first sample of a part's frame.
    for (double seconds : {40.02, 12.02, 29.08, CaptureSampleSeconds(602), 59.98, 0.02, 24.02}) {
        PaceSeek(seconds);
        // The seek's frame comes next, before the song's clock has moved.
        int32_t due = NextDueFrame(-1.0, false);
        if (due <= paceFrames)
            due = NextDueFrame(seconds, false);
        ASSERT_TRUE(RunFramesTo(nullptr, due, nullptr, nullptr, &scene));
        int32_t want = (int32_t)(seconds * 25.0 + 1e-9) + 1;
        EXPECT_EQ(paceFrames, want) << seconds << " s";
        Expect(Now(), plain[(size_t)want - 1], want);
    }
}

TEST(Pace, DisplayPaceRunsOneFrameEachAndNoneBeforeTheSong)
{
    ResetShow();
    PaceRewind();
    paceFrames = 0;
    EXPECT_EQ(NextDueFrame(-1.0, false), 1);
    paceFrames = 10;
    // Before the song's sound started the frame on screen stays.
    EXPECT_EQ(NextDueFrame(-1.0, false), 10);
    EXPECT_EQ(NextDueFrame(5.0, true), 11);
    EXPECT_EQ(NextDueFrame(5.0, false), 126);
    paceFrames = 0;
}
