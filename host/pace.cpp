#include "host/pace.h"

#include <math.h>
#include "host/show.h"

static_assert(SHOW_FRAME_RATE == 25.0, "the show runs at 25 frames a second");

int32_t paceFrames;
// The frame the latest seek asked for: the first shown after it, before the
// song's clock has moved.
static int32_t seekDue = 1;

double FrameStartSeconds(int32_t frame, double fps) { return (double)FramePeriodsBefore(frame) / fps; }

int32_t DueFrame(double songSeconds) { return (int32_t)floor(songSeconds * SHOW_FRAME_RATE) + 1; }

bool SceneState(int32_t state) { return state == -2 || state == 0 || state == 1; }

int32_t NextDueFrame(double songSeconds, bool oneAFrame)
{
    if (oneAFrame || paceFrames == 0)
        return paceFrames + 1 > seekDue ? paceFrames + 1 : seekDue;
    if (songSeconds < 0.0)
        return paceFrames;
    return DueFrame(songSeconds);
}

bool RunFramesTo(PlatformWindow* window, int32_t due, void (*begin)(bool scene), void (*end)(bool scene),
                 bool* scene)
{
    while (paceFrames < due) {
        // A frame not shown is run without drawing (as cheap as the
        // timeline's own arithmetic): a seek across the whole show, or a
        // GPU too slow for every frame, costs no GL calls.
        *scene = SceneState(timelineState);
        if (paceFrames + 1 < due) {
            SkipFrame(window);
        } else {
            if (begin)
                begin(*scene);
            RunFrame(window);
            if (end)
                end(*scene);
        }
        paceFrames++;
        if (ShowShouldEnd())
            return false;
    }
    return true;
}

void PaceSeek(double songSeconds)
{
    seekDue = DueFrame(songSeconds);
    if (seekDue < paceFrames) {
        RewindTimeline();
        paceFrames = 0;
    }
}

void PaceRewind()
{
    RewindTimeline();
    paceFrames = 0;
    seekDue = 1;
}

// The first frame of each part, found by running the timeline unseen from
// its start (the sound is not started again) with the show's clocks kept.
static int32_t partFirst[PART_COUNT];

static void FindPartStarts()
{
    int32_t keptState = timelineState, keptFrames = frameCount;
    float keptTime = sceneTime;
    RewindTimeline();
    for (int32_t frame = 1; partFirst[PART_SPHERES] == 0 && frame < 100000; frame++) {
        int32_t before = timelineState;
        SkipFrame(nullptr);
        // A card's frame shows the state it began in; a scene's frame may
        // move on to the next scene within the frame.
        ShowPart part = PART_TITLE;
        if (SceneState(before))
            part = timelineState == 1 ? PART_SPHERES : PART_WATER;
        else if (before != -6 && before != -5)
            part = PART_THANKS;
        if (partFirst[part] == 0)
            partFirst[part] = frame;
    }
    timelineState = keptState;
    frameCount = keptFrames;
    sceneTime = keptTime;
}

int32_t PartFirstFrame(ShowPart part)
{
    if (partFirst[PART_SPHERES] == 0)
        FindPartStarts();
    return partFirst[part];
}

double PartStartSeconds(ShowPart part) { return FrameStartSeconds(PartFirstFrame(part), SHOW_FRAME_RATE); }
