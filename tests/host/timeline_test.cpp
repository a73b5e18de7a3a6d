// The frame loop and timeline with the text, sound and platform entry points
// replaced at link time, and the real scene pass: the test records what each
// frame did.
#include <gtest/gtest.h>
#include <string.h>
#include <vector>
#include "audio/audio.h"
#include "state/shared.h"
#include "host/pace.h"
#include "host/show.h"
#include "render/render.h"
#include "tests/support/gl_env.h"

namespace {
struct FrameRecord {
    int titleLines = 0;
    int thanksLines = 0;
    int scenes = 0;
    GLuint program = 0;
    float time = -1;
    int audioStarts = 0;
    int audioStartLine = -1;  // title lines already drawn when the sound started
    bool audioAfterCheck = false;  // the frame's error check had run when the sound started
    bool audioAfterClear = false;  // the frame's clear colour was set when the sound started
};
std::vector<FrameRecord> frames;
int currentFrame = -1;
int audioStarts;
bool escapeDown, spaceDown, terminate;
int keyPolls;

FrameRecord& Current() { return frames[(size_t)currentFrame]; }
// 0.04 added 351 times, each sum rounded to float: 14.0399885.
const float kSphereLast = 14.0399885f;
} // namespace

// ---- fakes for the seams ----
// The scene pass is the real one: it advances the clock and frame count,
// then draws nothing for these made-up program names. The program asked
// for is what the timeline chose; the clock is read at the frame's swap.
void PrintText(const char* text)
{
    static const char* const title[] = {"LANTERNFX: Brinelux", "fully procedural", "all party coded",
                                        "[raycasting, occlusion, lights, reflections] demo"};
    static const char* const thanks[] = {"Thanks to Vexa/Tarn, Halvering, Pellam & Ruo",
                                         "for their help and articles"};
    // Lines must come in the card's order.
    FrameRecord& f = Current();
    if (f.titleLines < 4 && strcmp(text, title[f.titleLines]) == 0)
        f.titleLines += 1;
    else if (f.thanksLines < 2 && strcmp(text, thanks[f.thanksLines]) == 0)
        f.thanksLines += 1;
    else
        ADD_FAILURE() << "unexpected text " << text;
}
void StartAudio(PlatformWindow*, AudioCallback callback)
{
    EXPECT_EQ(callback, &RenderAudio);
    audioStarts += 1;
    Current().audioStarts += 1;
    Current().audioStartLine = Current().titleLines;
    Current().audioAfterCheck = glErrorReported;
    GLfloat clear[4] = {0, 0, 0, 0};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    Current().audioAfterClear = clear[3] == 1.0f;
}
void RenderAudio(int16_t*, int32_t) {}
GLuint shaderSlots[SHADER_SLOTS] = {0, 101, 102, 0};
GLuint SceneProgram(int32_t part)
{
    GLuint program = part == PART_WATER ? 101 : part == PART_SPHERES ? 102 : 0;
    Current().scenes += 1;
    Current().program = program;
    return program;
}
int32_t PlatformKeyPresses(PlatformKey) { return 0; }

bool PlatformKeyPressed(PlatformKey key)
{
    keyPolls += 1;
    return key == PLATFORM_KEY_ESCAPE ? escapeDown : spaceDown;
}
bool PlatformTerminationRequested(void) { return terminate; }
void PlatformSwapBuffers(PlatformWindow*)
{
    if (Current().scenes > 0)
        Current().time = showClocks.sceneTime;
    frames.emplace_back();
    currentFrame += 1;
}
void PlatformRemoveOneMessage(void) {}
void PlatformDebugOutput(const char*) {}

// Shared with the pace tests, which run in this program beside these fakes.
int ShowAudioStarts() { return audioStarts; }

void ResetShow()
{
    frames.assign(1, FrameRecord());
    currentFrame = 0;
    showClocks.frameCount = 0;
    showClocks.sceneTime = 0.0f;
    showClocks.timelineState = TIMELINE_START;
    audioStarts = 0;
    escapeDown = spaceDown = terminate = false;
    quitRequested.store(0);
    ClearGLErrors();
}

namespace {
// Runs n frames through the real loop body; the fake swap opens the record of
// the next frame, so frames[k] is frame k + 1.
void RunFrames(int n)
{
    for (int i = 0; i < n; i++)
        RunFrame(nullptr);
}
} // namespace

TEST(Timeline, CardsRunExactlyTheirFrames)
{
    ResetShow();
    RunFrames(602);
    for (int k = 0; k < 300; k++) {
        ASSERT_EQ(frames[k].titleLines, 4) << "frame " << k + 1;
        ASSERT_EQ(frames[k].thanksLines, 0) << "frame " << k + 1;
    }
    for (int k = 300; k < 601; k++) {
        ASSERT_EQ(frames[k].titleLines, 0) << "frame " << k + 1;
        ASSERT_EQ(frames[k].thanksLines, 2) << "frame " << k + 1;
        ASSERT_EQ(frames[k].scenes, 0) << "frame " << k + 1;
    }
    // Frame 602 is the first scene frame: Water Scene at 0.04, never 0.
    EXPECT_EQ(frames[601].scenes, 1);
    EXPECT_EQ(frames[601].program, 101u);
    EXPECT_FLOAT_EQ(frames[601].time, 0.04f);
    EXPECT_EQ(frames[601].titleLines + frames[601].thanksLines, 0);
}

TEST(Timeline, SoundStartsOnceInFirstFrameAfterClearAndCheckBeforeTheTitle)
{
    ResetShow();
    glClearColor(0, 0, 0, 0);
    glErrorReported = false;
    glEnable(0x1234);  // left over from start-up: the first frame's check reports it
    RunFrames(700);
    EXPECT_EQ(audioStarts, 1);
    EXPECT_EQ(frames[0].audioStarts, 1);
    EXPECT_EQ(frames[0].audioStartLine, 0);
    EXPECT_TRUE(frames[0].audioAfterCheck);
    EXPECT_TRUE(frames[0].audioAfterClear);
    glErrorReported = false;
}

TEST(Timeline, WaterGets126FramesThenSphereCyclesThrough14Seconds)
{
    ResetShow();
    RunFrames(601 + 126 + 351 * 2 + 5);
    int water = 0;
    for (int k = 601; k < 601 + 126; k++) {
        ASSERT_EQ(frames[k].program, 101u) << "frame " << k + 1;
        water += 1;
    }
    EXPECT_EQ(water, 126);
    EXPECT_FLOAT_EQ(frames[601 + 125].time, 5.0399966f);
    // Frame 728 is Sphere Scene's first, at 0.04: no frame is skipped or blank.
    const FrameRecord& first = frames[727];
    EXPECT_EQ(first.scenes, 1);
    EXPECT_EQ(first.program, 102u);
    EXPECT_FLOAT_EQ(first.time, 0.04f);
    float highest = 0;
    for (int k = 727; k < 727 + 351 * 2; k++) {
        ASSERT_EQ(frames[k].scenes, 1);
        ASSERT_EQ(frames[k].program, 102u);
        highest = std::max(highest, frames[k].time);
        if (frames[k - 1].time == kSphereLast) {
            ASSERT_FLOAT_EQ(frames[k].time, 0.04f) << "frame " << k + 1;
        }
    }
    EXPECT_EQ(highest, kSphereLast);
    EXPECT_EQ(frames[727 + 350].time, kSphereLast);
    EXPECT_FLOAT_EQ(frames[727 + 351].time, 0.04f);
}

// A player runs the frames it does not show without drawing them, and
// rewinds to seek backwards: each frame it then shows is the plain loop's.
TEST(Timeline, SkippedAndRewoundFramesAreTheLoopsOwn)
{
    ResetShow();
    RunFrames(1500);
    std::vector<FrameRecord> plain = frames;
    ResetShow();
    int at = 0;
    for (int target : {1, 650, 300, 1500, 602, 728, 601, 1}) {
        if (target <= at) {
            RewindTimeline();
            at = 0;
        }
        for (; at + 1 < target; at++)
            SkipFrame(nullptr);
        size_t shown = frames.size() - 1;
        RunFrame(nullptr);
        at++;
        // Nothing was drawn or swapped but the frame shown.
        ASSERT_EQ(frames.size(), shown + 2) << "frame " << target;
        const FrameRecord& f = frames[shown];
        const FrameRecord& p = plain[(size_t)target - 1];
        EXPECT_EQ(f.titleLines, p.titleLines) << "frame " << target;
        EXPECT_EQ(f.thanksLines, p.thanksLines) << "frame " << target;
        EXPECT_EQ(f.scenes, p.scenes) << "frame " << target;
        EXPECT_EQ(f.program, p.program) << "frame " << target;
        EXPECT_EQ(f.time, p.time) << "frame " << target;
    }
    // The sound starts once, at the first frame, however often the show
    // is rewound.
    EXPECT_EQ(audioStarts, 1);
}

// A player asks what the next frame shows before it draws it: the answer
// is the step's own, at every switch, and asking moves nothing (least of
// all starts the sound).
TEST(Timeline, NextStepPartIsTheStepsOwnAndMovesNothing)
{
    ResetShow();
    for (int k = 1; k <= 601 + 126 + 351 + 5; k++) {
        ShowClocks before = showClocks;
        ShowPart next = NextStepPart();
        ASSERT_EQ(audioStarts, k == 1 ? 0 : 1) << "frame " << k;
        ASSERT_EQ(showClocks.timelineState, before.timelineState) << "frame " << k;
        ASSERT_EQ(showClocks.frameCount, before.frameCount) << "frame " << k;
        ASSERT_EQ(showClocks.sceneTime, before.sceneTime) << "frame " << k;
        SkipFrame(nullptr);
        ASSERT_EQ(next, steppedPart) << "frame " << k;
    }
}

TEST(Timeline, LoopTestReadsKeysThenFlagThenTermination)
{
    ResetShow();
    EXPECT_FALSE(ShowShouldEnd());
    escapeDown = true;
    EXPECT_TRUE(ShowShouldEnd());
    escapeDown = false;
    spaceDown = true;
    EXPECT_TRUE(ShowShouldEnd());
    spaceDown = false;
    RequestQuit();
    EXPECT_TRUE(ShowShouldEnd());
    quitRequested.store(0);
    terminate = true;
    EXPECT_TRUE(ShowShouldEnd());
}

TEST(Timeline, GLErrorEndsTheLoopAfterThatFrameCompletes)
{
    ResetShow();
    PaceRewind();
    // A frame a pass, as the desktop's display pace runs them.
    bool scene = false;
    for (int k = 0; k < 10; k++)
        ASSERT_TRUE(RunFramesTo(nullptr, paceFrames + 1, nullptr, nullptr, &scene));
    glEnable(0x1234);  // an invalid enum, as a stray card-drawing error would leave
    while (RunFramesTo(nullptr, paceFrames + 1, nullptr, nullptr, &scene)) {
    }
    // The frame that found the error is still drawn and swapped, then the loop ends.
    EXPECT_EQ(showClocks.frameCount, 11);
    EXPECT_EQ(frames.size(), 12u);
    EXPECT_EQ(frames[10].titleLines, 4);
    EXPECT_TRUE(glErrorReported);
}

// The capture plans a run from what each frame will show before drawing
// any: the plan must be what the loop then draws, frame by frame, and
// planning must move nothing (least of all start the sound).
TEST(Timeline, PlannedFramesAreTheOnesTheLoopDraws)
{
    const int count = 601 + 126 + 351 * 2 + 5;
    std::vector<ShowPart> parts(count);
    std::vector<float> clocks(count);
    ResetShow();
    PlanShowFrames(count, parts.data(), clocks.data());
    EXPECT_EQ(audioStarts, 0);
    EXPECT_EQ(showClocks.timelineState, TIMELINE_START);
    EXPECT_EQ(showClocks.frameCount, 0);
    RunFrames(count);
    for (int k = 0; k < count; k++) {
        const FrameRecord& f = frames[(size_t)k];
        ShowPart drawn = f.titleLines == 4   ? PART_TITLE
                         : f.thanksLines == 2 ? PART_THANKS
                         : f.program == 101   ? PART_WATER
                         : f.program == 102   ? PART_SPHERES
                                              : PART_COUNT;
        ASSERT_EQ(parts[(size_t)k], drawn) << "frame " << k + 1;
        ASSERT_EQ(clocks[(size_t)k], f.scenes ? f.time : 0.0f) << "frame " << k + 1;
    }
    // Mid-show, the plan still starts from the show's start and leaves the
    // loop where it was.
    int32_t state = showClocks.timelineState, counted = showClocks.frameCount;
    float clock = showClocks.sceneTime;
    std::vector<ShowPart> again(count);
    std::vector<float> againClocks(count);
    PlanShowFrames(count, again.data(), againClocks.data());
    EXPECT_EQ(again, parts);
    EXPECT_EQ(againClocks, clocks);
    EXPECT_EQ(showClocks.timelineState, state);
    EXPECT_EQ(showClocks.frameCount, counted);
    EXPECT_EQ(showClocks.sceneTime, clock);
    EXPECT_EQ(audioStarts, 1);
}
