// The show's pace: the frame due at a song position, the loop run up to it
// (frames behind unseen) and seeks, against the plain loop run frame by
// frame. Runs beside the timeline's fakes (timeline_test.cpp).
#include <math.h>
#include <gtest/gtest.h>
#include <vector>
#include "host/pace.h"
#include "host/show.h"

void ResetShow();
int ShowAudioStarts();

namespace {
// The plain loop's state after each frame: [k] after frame k + 1.
std::vector<ShowClocks> PlainLoop(int32_t frames)
{
    ResetShow();
    std::vector<ShowClocks> after;
    for (int32_t k = 0; k < frames; k++) {
        RunFrame(nullptr);
        after.push_back(showClocks);
    }
    return after;
}

// Calls of the caller's hooks, and how many were told the frame is a scene.
int drawn, drawnScenes;
void CountDrawn(bool scene)
{
    drawn++;
    drawnScenes += scene;
}

// The song time of the capture's sample at which frame k starts: its
// frames start at whole samples at 25 frames a second.
double CaptureSampleSeconds(int32_t frame) { return (double)((int64_t)(frame - 1) * 1764) / 44100.0; }

void Expect(const ShowClocks& got, const ShowClocks& want, int32_t frame)
{
    EXPECT_EQ(got.timelineState, want.timelineState) << "frame " << frame;
    EXPECT_EQ(got.frameCount, want.frameCount) << "frame " << frame;
    EXPECT_EQ(got.sceneTime, want.sceneTime) << "frame " << frame;
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
    EXPECT_EQ(showClocks.timelineState, TIMELINE_START);
    EXPECT_EQ(showClocks.frameCount, 0);
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
    std::vector<ShowClocks> plain = PlainLoop(1200);
    ResetShow();
    paceFrames = 0;
    PaceRewind();
    showClocks.timelineState = TIMELINE_START;
    int32_t last = 0;
    for (int32_t due : {1, 2, 300, 301, 601, 602, 727, 728, 1079, 1080, 1200}) {
        bool scene = false;
        drawn = drawnScenes = 0;
        ASSERT_TRUE(RunFramesTo(nullptr, due, CountDrawn, CountDrawn, &scene));
        EXPECT_EQ(paceFrames, due);
        // Only the due frame is drawn, wrapped by the caller's hook, which
        // knows before it draws whether it is a scene (602 begins them).
        EXPECT_EQ(drawn, 2) << "frame " << due;
        EXPECT_EQ(drawnScenes, due >= 602 ? 2 : 0) << "frame " << due;
        EXPECT_EQ(scene, due >= 602) << "frame " << due;
        Expect(showClocks, plain[(size_t)due - 1], due);
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
    std::vector<ShowClocks> plain = PlainLoop(1500);
    ResetShow();
    PaceRewind();
    showClocks.timelineState = TIMELINE_START;
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
        Expect(showClocks, plain[(size_t)want - 1], want);
    }
}

// A seek to the very sample at which frame k starts (the page seeks in
// whole samples) shows frame k, never k - 1, even where that sample read
// back in seconds falls a rounding short of the frame's start.
TEST(Pace, SeeksToAFramesFirstSampleLandOnIt)
{
    std::vector<int32_t> roundedShort;
    for (int32_t k = 1; k <= 20000; k++) {
        int64_t first = (int64_t)(k - 1) * SAMPLES_PER_FRAME;
        ASSERT_EQ(DueFrameAtSample(first), k);
        if (k > 1) {
            ASSERT_EQ(DueFrameAtSample(first - 1), k - 1);
        }
        ASSERT_EQ(DueFrameAtSample(first + SAMPLES_PER_FRAME - 1), k);
        if (DueFrame((double)first / SOUND_SAMPLE_RATE) != k)
            roundedShort.push_back(k);
    }
    // The frames whose start in seconds rounds short: the seek's own frame
    // must still come first, while the song's clock stands at the seek.
    ASSERT_FALSE(roundedShort.empty());
    std::vector<ShowClocks> plain = PlainLoop(roundedShort[3] + 1);
    ResetShow();
    PaceRewind();
    showClocks.timelineState = TIMELINE_START;
    bool scene = false;
    for (size_t i : {3, 0, 2}) {
        int32_t k = roundedShort[i];
        int64_t first = (int64_t)(k - 1) * SAMPLES_PER_FRAME;
        PaceSeekToSample(first);
        int32_t due = NextDueFrame(-1.0, false);
        if (due <= paceFrames)
            due = NextDueFrame((double)first / SOUND_SAMPLE_RATE, false);
        ASSERT_TRUE(RunFramesTo(nullptr, due, nullptr, nullptr, &scene));
        EXPECT_EQ(paceFrames, k);
        Expect(showClocks, plain[(size_t)k - 1], k);
        // The song's clock moves on from there: the next frame comes at the
        // next frame's start, not before.
        EXPECT_EQ(NextDueFrame((double)(first + SAMPLES_PER_FRAME - 1) / SOUND_SAMPLE_RATE, false), k);
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

namespace {
int pictures;
bool pictureScene;
void CountPicture(bool scene)
{
    pictures++;
    pictureScene = scene;
}

// The picture a live player draws at songSeconds, from a fresh show.
ShowPart PictureAt(double songSeconds, float* clock)
{
    ResetShow();
    PaceRewind();
    showClocks.timelineState = TIMELINE_START;
    double since = -1.0;
    int32_t due = SmoothFrame(songSeconds, &since);
    bool scene = false;
    pictures = 0;
    EXPECT_TRUE(RunSmoothTo(nullptr, due, since, CountPicture, nullptr, &scene));
    EXPECT_EQ(pictures, 1) << songSeconds << " s";
    EXPECT_EQ(scene, pictureScene);
    return SmoothPicture(since, clock);
}
} // namespace

TEST(Smooth, OnTheGridEachPictureIsTheShowsFrame)
{
    std::vector<ShowClocks> plain = PlainLoop(1200);
    ResetShow();
    PaceRewind();
    showClocks.timelineState = TIMELINE_START;
    bool scene = false;
    for (int32_t k = 1; k <= 1200; k++) {
        double since = -1.0;
        ASSERT_EQ(SmoothFrame(FrameStartSeconds(k, SHOW_FRAME_RATE), &since), k);
        ASSERT_EQ(since, 0.0) << "frame " << k;
        ASSERT_TRUE(RunSmoothTo(nullptr, k, since, nullptr, nullptr, &scene));
        // Drawing the picture moved nothing: the loop is where the plain one is.
        Expect(showClocks, plain[(size_t)k - 1], k);
        float clock = -1.0f;
        ShowPart part = SmoothPicture(since, &clock);
        ShowPart want = k < 301 ? PART_TITLE : k < 602 ? PART_THANKS : k < 728 ? PART_WATER : PART_SPHERES;
        ASSERT_EQ(part, want) << "frame " << k;
        ASSERT_EQ(clock, k < 602 ? 0.0f : plain[(size_t)k - 1].sceneTime) << "frame " << k;
    }
}

TEST(Smooth, VideoFramesReckonedExactlyAtAnyRate)
{
    double since = -1.0;
    for (int64_t j = 1; j < 3000; j++) {
        ASSERT_EQ(SmoothVideoFrame(j, 25, 1, &since), j);
        ASSERT_EQ(since, 0.0);
        // At 50 a second the odd frames are the show's, the even ones halfway.
        ASSERT_EQ(SmoothVideoFrame(j, 50, 1, &since), (j + 1) / 2);
        ASSERT_EQ(since, j % 2 ? 0.0 : 0.02) << j;
    }
    // 60 a second: frame 4 is 0.05 s, 0.01 s into the show's second frame.
    EXPECT_EQ(SmoothVideoFrame(4, 60, 1, &since), 2);
    EXPECT_NEAR(since, 0.01, 1e-15);
    // An NTSC rate meets the show's grid every 1200 video frames (40.04 s),
    // where a double's 40.04 * 25 falls a hair short of 1001.
    EXPECT_EQ(SmoothVideoFrame(1201, 30000, 1001, &since), 1002);
    EXPECT_EQ(since, 0.0);
    EXPECT_EQ(SmoothVideoFrame(1200, 30000, 1001, &since), 1001);
    EXPECT_GT(since, 0.0);
    EXPECT_LT(since, 0.04);
}

TEST(Smooth, MidFrameClockIsTheDoubleSumRoundedOnce)
{
    // Halfway through the water's first frame (0.04 in float).
    float clock = -1.0f;
    EXPECT_EQ(PictureAt(PartStartSeconds(PART_WATER) + 0.02, &clock), PART_WATER);
    EXPECT_EQ(clock, (float)((double)0.04f + (PartStartSeconds(PART_WATER) + 0.02 - 24.04)));
    EXPECT_NEAR(clock, 0.06f, 1e-6f);
    // Late in a sphere cycle, where a float's step is ~1e-6: the sum rounded
    // once to the float nearest, never below the frame's own clock.
    EXPECT_EQ(SmoothClock(14.0399885f, 1e-7), 14.0399885f);
    EXPECT_EQ(SmoothClock(14.0399885f, 6e-7), nextafterf(14.0399885f, 100.0f));
    // The clock runs on through a frame and meets the next frame's clock,
    // which the scene pass's own step gives, exactly.
    float previous = 0.0f;
    for (int32_t i = 0; i < 40; i++) {
        float at = SmoothClock(3.0000036f, i * 0.001);
        EXPECT_GE(at, previous);
        previous = at;
    }
    ResetShow();
    showClocks.sceneTime = 3.0000036f;
    StepSceneClock();
    EXPECT_GT(showClocks.sceneTime, previous);
    EXPECT_EQ(SmoothClock(3.0000036f, SCENE_STEP_SECONDS), showClocks.sceneTime);
}

TEST(Smooth, PartsSwitchAndSpheresCycleAtTheShowsFrames)
{
    float clock = -1.0f;
    // The cards: no clock, switching at the thanks card's first frame.
    EXPECT_EQ(PictureAt(11.99, &clock), PART_TITLE);
    EXPECT_EQ(clock, 0.0f);
    EXPECT_EQ(PictureAt(12.0, &clock), PART_THANKS);
    EXPECT_FALSE(pictureScene);
    // The water's last frame carries on past 5 s until the spheres' first.
    double spheres = PartStartSeconds(PART_SPHERES);
    EXPECT_EQ(PictureAt(spheres - 0.01, &clock), PART_WATER);
    EXPECT_NEAR(clock, 5.0399966f + 0.03f, 1e-5f);
    EXPECT_TRUE(pictureScene);
    EXPECT_EQ(PictureAt(spheres + 0.01, &clock), PART_SPHERES);
    EXPECT_NEAR(clock, 0.05f, 1e-6f);
    // The cycle's last frame (14.04) runs on to 14.07, then starts at 0.04.
    double last = FrameStartSeconds(PartFirstFrame(PART_SPHERES) + 350, SHOW_FRAME_RATE);
    EXPECT_EQ(PictureAt(last + 0.03, &clock), PART_SPHERES);
    EXPECT_NEAR(clock, 14.0699885f, 2e-6f);
    EXPECT_EQ(PictureAt(last + 0.05, &clock), PART_SPHERES);
    EXPECT_NEAR(clock, 0.05f, 1e-6f);
}

TEST(Smooth, SeveralPicturesOfOneFrameAndNoneBeforeTheFirst)
{
    ResetShow();
    PaceRewind();
    showClocks.timelineState = TIMELINE_START;
    float clock = -1.0f;
    EXPECT_EQ(SmoothPicture(0.0, &clock), PART_COUNT);
    bool scene = true;
    pictures = 0;
    // Nothing due yet: no frame run, nothing drawn.
    EXPECT_TRUE(RunSmoothTo(nullptr, 0, 0.0, CountPicture, nullptr, &scene));
    EXPECT_EQ(pictures, 0);
    EXPECT_FALSE(scene);
    // A 144 Hz display shows frame 700 six times, each later than the last.
    std::vector<ShowClocks> plain = PlainLoop(700);
    ResetShow();
    PaceRewind();
    showClocks.timelineState = TIMELINE_START;
    float previous = 0.0f;
    for (int i = 0; i < 6; i++) {
        double t = FrameStartSeconds(700, SHOW_FRAME_RATE) + i / 144.0;
        ShowPass pass = DecidePass(t, true, false);
        ASSERT_TRUE(pass.draw);
        ASSERT_EQ(pass.due, i == 0 ? 1 : 700);  // a fresh show's first frame comes at once
        if (i == 0) {
            EXPECT_EQ(pass.since, 0.0);
        }
        ASSERT_TRUE(RunPass(nullptr, pass, nullptr, nullptr, &scene));
        if (i == 0)
            continue;
        ASSERT_TRUE(SmoothPicture(pass.since, &clock) == PART_WATER);
        EXPECT_EQ(ShownSmoothClock(), clock);
        EXPECT_GT(clock, previous);
        EXPECT_LT(clock - plain[699].sceneTime, 0.04f);
        previous = clock;
        Expect(showClocks, plain[699], 700);
        // The song not moved since: nothing to draw, and a scene is looked
        // at again soon rather than at the next frame's start.
        ShowPass again = DecidePass(t, true, false);
        EXPECT_FALSE(again.draw);
        EXPECT_TRUE(again.lookSoon);
        EXPECT_NEAR(again.waitSeconds, FrameStartSeconds(701, SHOW_FRAME_RATE) - t, 1e-12);
    }
    // A picture to be drawn anew (a resize) is drawn whatever the song says.
    ForgetShownPicture();
    EXPECT_TRUE(DecidePass(FrameStartSeconds(700, SHOW_FRAME_RATE) + 5 / 144.0, true, false).draw);
    // Without smooth motion the frame on screen waits for the next.
    ShowPass still = DecidePass(FrameStartSeconds(700, SHOW_FRAME_RATE) + 0.01, false, false);
    EXPECT_FALSE(still.draw);
    EXPECT_FALSE(still.lookSoon);
    // Before the song's sound, the frame on screen at its own clock.
    double since = -1.0;
    EXPECT_EQ(NextSmoothFrame(-1.0, &since), 700);
    EXPECT_EQ(since, 0.0);
    PaceRewind();
}

// A card does not move within its frame: a 144 Hz display draws it once a
// frame, before the sound as after, and waits for the next frame's start.
TEST(Smooth, ACardIsDrawnOnceAFrameAtAnyDisplayRate)
{
    ResetShow();
    PaceRewind();
    showClocks.timelineState = TIMELINE_START;
    bool scene = true;
    drawn = drawnScenes = 0;
    for (double t : {-0.5, -0.5 + 1 / 144.0}) {
        ShowPass pass = DecidePass(t, true, false);
        if (pass.draw) {
            ASSERT_TRUE(RunPass(nullptr, pass, CountDrawn, nullptr, &scene));
        }
        EXPECT_FALSE(pass.lookSoon);
    }
    EXPECT_EQ(drawn, 1);
    for (int32_t frame = 2; frame <= 4; frame++)
        for (int i = 0; i < 6; i++) {
            double t = FrameStartSeconds(frame, SHOW_FRAME_RATE) + i / 144.0;
            ShowPass pass = DecidePass(t, true, false);
            EXPECT_EQ(pass.draw, i == 0) << "frame " << frame << ", look " << i;
            if (pass.draw) {
                ASSERT_TRUE(RunPass(nullptr, pass, CountDrawn, nullptr, &scene));
            } else {
                EXPECT_NEAR(pass.waitSeconds, FrameStartSeconds(frame + 1, SHOW_FRAME_RATE) - t, 1e-12);
            }
            EXPECT_FALSE(pass.lookSoon);
        }
    EXPECT_EQ(drawn, 4);
    EXPECT_EQ(drawnScenes, 0);
    PaceRewind();
}

// A show ended before its first frame (Escape at once, the context lost on
// the first screen) and watched again: the replay's first frame starts the
// sound, as the first show's would have.
TEST(Pace, ReplayBeforeAnyFrameStillStartsTheSound)
{
    ResetShow();
    PaceRewind();
    bool scene = false;
    ASSERT_TRUE(RunFramesTo(nullptr, NextDueFrame(-1.0, false), nullptr, nullptr, &scene));
    EXPECT_EQ(paceFrames, 1);
    EXPECT_EQ(ShowAudioStarts(), 1);
    // Watched again after frames ran: the sound goes on, not started twice.
    PaceRewind();
    ASSERT_TRUE(RunFramesTo(nullptr, NextDueFrame(-1.0, false), nullptr, nullptr, &scene));
    EXPECT_EQ(ShowAudioStarts(), 1);
    paceFrames = 0;
}

// The frame on screen drawn again (a resize while paused): the same frame,
// in the same state, drawn once, and frames after it go on as before.
TEST(Pace, RedrawRunsTheFrameOnScreenAgain)
{
    std::vector<ShowClocks> plain = PlainLoop(700);
    ResetShow();
    PaceRewind();
    bool scene = false;
    ASSERT_TRUE(RunFramesTo(nullptr, 650, nullptr, nullptr, &scene));
    PaceRedraw();
    int32_t due = NextDueFrame(-1.0, false);
    EXPECT_EQ(due, 650);
    drawn = 0;
    ASSERT_TRUE(RunFramesTo(nullptr, due, CountDrawn, CountDrawn, &scene));
    EXPECT_EQ(drawn, 2);
    EXPECT_TRUE(scene);
    Expect(showClocks, plain[649], 650);
    ASSERT_TRUE(RunFramesTo(nullptr, 700, nullptr, nullptr, &scene));
    Expect(showClocks, plain[699], 700);
    // Nothing on screen yet: nothing to draw again.
    PaceRewind();
    PaceRedraw();
    EXPECT_EQ(paceFrames, 0);
    EXPECT_EQ(NextDueFrame(-1.0, false), 1);
    paceFrames = 0;
}
