#include "host/pace.h"

#include <math.h>
#include "host/show.h"

static_assert(SHOW_FRAME_RATE == 25.0, "the show runs at 25 frames a second");

int32_t paceFrames;
// The part the frame on screen showed; PART_COUNT before the first.
static ShowPart paceShown = PART_COUNT;
// The frame the latest seek asked for: the first shown after it, before the
// song's clock has moved.
static int32_t seekDue = 1;
// The clock of the smooth picture on screen.
static float smoothShown = -1.0f;

double FrameStartSeconds(int32_t frame, double fps) { return (double)FramePeriodsBefore(frame) / fps; }

int32_t DueFrame(double songSeconds) { return (int32_t)floor(songSeconds * SHOW_FRAME_RATE) + 1; }

int32_t DueFrameAtSample(int64_t songSample) { return (int32_t)(songSample / SAMPLES_PER_FRAME) + 1; }

int32_t NextDueFrame(double songSeconds, bool oneAFrame)
{
    if (oneAFrame || paceFrames == 0)
        return paceFrames + 1 > seekDue ? paceFrames + 1 : seekDue;
    if (songSeconds < 0.0)
        return paceFrames;
    // Until the song's clock has passed the seek's point, the seek's frame
    // (the clock read in seconds may fall a rounding short of it).
    int32_t due = DueFrame(songSeconds);
    return due > seekDue ? due : seekDue;
}

bool RunFramesTo(PlatformWindow* window, int32_t due, void (*begin)(bool scene), void (*end)(bool scene),
                 bool* scene)
{
    while (paceFrames < due) {
        // A frame not shown is run without drawing (as cheap as the
        // timeline's own arithmetic): a seek across the whole show, or a
        // GPU too slow for every frame, costs no GL calls.
        if (paceFrames + 1 < due) {
            SkipFrame(window);
        } else {
            // Where it draws is chosen before it draws.
            *scene = IsScenePart(NextStepPart());
            if (begin)
                begin(*scene);
            RunFrame(window);
            if (end)
                end(*scene);
        }
        paceShown = steppedPart;
        *scene = IsScenePart(steppedPart);
        paceFrames++;
        if (ShowShouldEnd())
            return false;
    }
    return true;
}

int32_t SmoothFrame(double songSeconds, double* since)
{
    int32_t frame = DueFrame(songSeconds);
    // The product may round across a frame's start (29 / 25.0 * 25 falls
    // short of 29): on the grid the picture is that frame's own.
    if (FrameStartSeconds(frame + 1, SHOW_FRAME_RATE) <= songSeconds)
        frame++;
    else if (FrameStartSeconds(frame, SHOW_FRAME_RATE) > songSeconds)
        frame--;
    *since = songSeconds - FrameStartSeconds(frame, SHOW_FRAME_RATE);
    return frame;
}

int32_t SmoothVideoFrame(int64_t video, int64_t fpsNum, int64_t fpsDen, double* since)
{
    // In integers, so that a video frame on the show's grid is exactly its
    // frame: show frames gone = (video - 1) * fpsDen * 25 / fpsNum.
    int64_t ticks = (video - 1) * fpsDen * (int64_t)SHOW_FRAME_RATE;
    int64_t gone = ticks / fpsNum;
    *since = (double)(ticks - gone * fpsNum) / ((double)fpsNum * SHOW_FRAME_RATE);
    return (int32_t)gone + 1;
}

int32_t NextSmoothFrame(double songSeconds, double* since)
{
    int32_t due = NextDueFrame(songSeconds, false);
    if (songSeconds >= 0.0 && due == DueFrame(songSeconds))
        return SmoothFrame(songSeconds, since);
    // A frame the song has not reached (a seek's, the first) or left behind
    // (the song's clock not started) is drawn at its own clock.
    *since = 0.0;
    return due;
}

float SmoothClock(float frameClock, double since) { return (float)((double)frameClock + since); }

float SmoothClockOf(ShowPart part, float frameClock, double since)
{
    return IsScenePart(part) ? SmoothClock(frameClock, since) : 0.0f;
}

ShowPart SmoothPicture(double since, float* clock)
{
    *clock = SmoothClockOf(paceShown, showClocks.sceneTime, since);
    return paceShown;
}

bool RunUnseenTo(PlatformWindow* window, int32_t due)
{
    while (paceFrames < due) {
        SkipFrame(window);
        paceShown = steppedPart;
        paceFrames++;
        if (ShowShouldEnd())
            return false;
    }
    return true;
}

bool RunSmoothTo(PlatformWindow* window, int32_t due, double since, void (*begin)(bool scene),
                 void (*end)(bool scene), bool* scene)
{
    *scene = false;
    if (!RunUnseenTo(window, due))
        return false;
    float clock = 0.0f;
    ShowPart part = SmoothPicture(since, &clock);
    *scene = IsScenePart(part);
    if (part == PART_COUNT)
        return true;
    if (begin)
        begin(*scene);
    ShowPicture(window, part, clock);
    if (end)
        end(*scene);
    return !ShowShouldEnd();
}

ShowPass DecidePass(double songSeconds, bool smooth, bool oneAFrame)
{
    ShowPass pass = {};
    pass.smooth = smooth;
    pass.due = smooth ? NextSmoothFrame(songSeconds, &pass.since) : NextDueFrame(songSeconds, oneAFrame);
    float clock = 0.0f;
    ShowPart part = smooth ? SmoothPicture(pass.since, &clock) : PART_COUNT;
    bool moved = smooth && pass.due == paceFrames && part != PART_COUNT && clock != smoothShown;
    pass.draw = pass.due > paceFrames || (pass.due == paceFrames && moved);
    pass.waitSeconds = FrameStartSeconds(paceFrames + 1, SHOW_FRAME_RATE) - songSeconds;
    pass.lookSoon = IsScenePart(part);
    return pass;
}

ShowPass VideoPass(int64_t video, int64_t fpsNum, int64_t fpsDen)
{
    ShowPass pass = {};
    pass.draw = pass.smooth = true;
    pass.due = SmoothVideoFrame(video, fpsNum, fpsDen, &pass.since);
    return pass;
}

bool RunPass(PlatformWindow* window, const ShowPass& pass, void (*begin)(bool scene), void (*end)(bool scene),
             bool* scene)
{
    if (!pass.smooth)
        return RunFramesTo(window, pass.due, begin, end, scene);
    bool going = RunSmoothTo(window, pass.due, pass.since, begin, end, scene);
    SmoothPicture(pass.since, &smoothShown);
    return going;
}

float ShownSmoothClock() { return smoothShown; }

void ForgetShownPicture() { smoothShown = -1.0f; }

// To the frame due: shown next, reached from the timeline's start when
// it is behind the one on screen.
static void SeekToFrame(int32_t due)
{
    seekDue = due;
    smoothShown = -1.0f;
    if (seekDue < paceFrames) {
        RewindTimeline();
        paceFrames = 0;
        paceShown = PART_COUNT;
    }
}

void PaceSeek(double songSeconds) { SeekToFrame(DueFrame(songSeconds)); }

void PaceSeekToSample(int64_t songSample) { SeekToFrame(DueFrameAtSample(songSample)); }

void PaceRewind()
{
    // A timeline that never ran a frame is at its start already, and its
    // first frame still has the sound to start.
    if (showClocks.timelineState != TIMELINE_START)
        RewindTimeline();
    paceFrames = 0;
    paceShown = PART_COUNT;
    seekDue = 1;
    smoothShown = -1.0f;
}

void PaceRedraw()
{
    if (paceFrames == 0)
        return;
    seekDue = paceFrames;
    smoothShown = -1.0f;
    RewindTimeline();
    paceFrames = 0;
    paceShown = PART_COUNT;
}

// The first frame of each part, found by running the timeline unseen from
// its start (the sound is not started again) with the show's clocks kept.
static int32_t partFirst[PART_COUNT];

static void FindPartStarts()
{
    ShowClocks kept = showClocks;
    RewindTimeline();
    for (int32_t frame = 1; partFirst[PART_SPHERES] == 0 && frame < 100000; frame++) {
        SkipFrame(nullptr);
        if (steppedPart != PART_COUNT && partFirst[steppedPart] == 0)
            partFirst[steppedPart] = frame;
    }
    showClocks = kept;
}

int32_t PartFirstFrame(ShowPart part)
{
    if (partFirst[PART_SPHERES] == 0)
        FindPartStarts();
    return partFirst[part];
}

double PartStartSeconds(ShowPart part) { return FrameStartSeconds(PartFirstFrame(part), SHOW_FRAME_RATE); }
