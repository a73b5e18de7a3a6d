#include <math.h>
#include "audio/audio.h"
#include "state/shared.h"
#include "host/show.h"
#include "render/render.h"

ShowPart steppedPart = PART_COUNT;

bool ShowShouldEnd()
{
    if (PlatformKeyPressed(PLATFORM_KEY_ESCAPE))
        return true;
    if (PlatformKeyPressed(PLATFORM_KEY_SPACE))
        return true;
    if (QuitRequested())
        return true;
    // A termination request from the system ends the show like a quit key.
    return PlatformTerminationRequested();
}

static void DrawTitleCard()
{
    glColor4f(1, 1, 1, 1);
    glRasterPos2f(-0.7f, 0.2f);
    PrintText("LANTERNFX: Brinelux");
    glRasterPos2f(0.2f, -0.2f);
    PrintText("fully procedural");
    glRasterPos2f(0.2f, -0.4f);
    PrintText("all party coded");
    glRasterPos2f(-0.8f, -0.6f);
    PrintText("[raycasting, occlusion, lights, reflections] demo");
}

static void DrawThanksCard()
{
    glColor4f(1, 1, 1, 1);
    glRasterPos2f(-0.9f, 0.2f);
    PrintText("Thanks to Vexa/Tarn, Halvering, Pellam & Ruo");
    glRasterPos2f(-0.7f, -0.2f);
    PrintText("for their help and articles");
}

// A scene's frame, or (not drawn) only the clocks its pass moves.
static void SceneFrame(ShowPart part, bool drawn)
{
    if (drawn)
        DrawScene(SceneProgram(part));
    else
        StepSceneClock();
}

static void TimelineStep(PlatformWindow* window, bool drawn)
{
    steppedPart = PART_COUNT;
    switch (showClocks.timelineState) {
    case TIMELINE_START:
        StartAudio(window, RenderAudio);
        showClocks.timelineState = TIMELINE_TITLE;
        [[fallthrough]];
    case TIMELINE_TITLE:
        steppedPart = PART_TITLE;
        if (drawn)
            DrawTitleCard();
        if ((double)showClocks.frameCount >= 300.0)
            showClocks.timelineState += 1;
        return;
    case TIMELINE_THANKS:
    case TIMELINE_THANKS_LAST:
        if ((double)showClocks.frameCount >= 600.0)
            showClocks.timelineState += 1;
        steppedPart = PART_THANKS;
        if (drawn)
            DrawThanksCard();
        return;
    case TIMELINE_SCENES:
        showClocks.timelineState = TIMELINE_WATER;
        [[fallthrough]];
    case TIMELINE_WATER:
        if ((double)showClocks.sceneTime < 5.0) {
            steppedPart = PART_WATER;
            SceneFrame(PART_WATER, drawn);
            return;
        }
        showClocks.timelineState = TIMELINE_SPHERES;
        showClocks.sceneTime = 0.0f;
        [[fallthrough]];
    case TIMELINE_SPHERES:
        if ((double)showClocks.sceneTime > 14.0) {
            showClocks.timelineState = TIMELINE_SPHERES;
            showClocks.sceneTime = 0.0f;
        }
        steppedPart = PART_SPHERES;
        SceneFrame(PART_SPHERES, drawn);
        return;
    default:
        return;
    }
}

// A frame's clear and error check, before anything is drawn.
static void ClearFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0, 0, 0, 1);
    glDisable(GL_DEPTH_TEST);
    CheckGLError("DrawScene:frame ");
}

static void BeginFrame()
{
    showClocks.frameCount += 1;
    ClearFrame();
}

void (*beforeSwap)(void);

static void EndFrame(PlatformWindow* window)
{
    if (beforeSwap)
        beforeSwap();
    PlatformSwapBuffers(window);
    PlatformRemoveOneMessage();
}

void RewindTimeline()
{
    showClocks.frameCount = 0;
    showClocks.sceneTime = 0.0f;
    showClocks.timelineState = TIMELINE_TITLE;
}

void RunFrame(PlatformWindow* window)
{
    BeginFrame();
    TimelineStep(window, true);
    EndFrame(window);
}

void SkipFrame(PlatformWindow* window)
{
    showClocks.frameCount += 1;
    TimelineStep(window, false);
}

void PlanShowFrames(int32_t count, ShowPart* parts, float* clocks)
{
    ShowClocks kept = showClocks;
    // From the show's start as a rewind leaves it: the sound's start, the
    // one step that does more than move the clocks, is left out.
    RewindTimeline();
    for (int32_t i = 0; i < count; i++) {
        showClocks.frameCount += 1;
        TimelineStep(nullptr, false);
        parts[i] = steppedPart;
        clocks[i] = IsScenePart(steppedPart) ? showClocks.sceneTime : 0.0f;
    }
    showClocks = kept;
}

ShowPart NextStepPart()
{
    ShowClocks kept = showClocks;
    ShowPart keptPart = steppedPart;
    // The sound's start is left out: the step after it is the title's.
    if (showClocks.timelineState == TIMELINE_START)
        showClocks.timelineState = TIMELINE_TITLE;
    showClocks.frameCount += 1;
    TimelineStep(nullptr, false);
    ShowPart next = steppedPart;
    showClocks = kept;
    steppedPart = keptPart;
    return next;
}

// The clock value from which the scene pass's own 0.04 step lands on the
// wanted iGlobalTime (the step is taken in double and rounded to float), or
// as near to it as that step can land: near 0 not every float is reachable.
static float ClockBefore(float shown, float* lands)
{
    float start = (float)((double)shown - SCENE_STEP_SECONDS);
    float best = start;
    float bestLands = (float)((double)start + SCENE_STEP_SECONDS);
    for (int direction = -1; direction <= 1; direction += 2) {
        float clock = start;
        for (int i = 0; i < 256 && bestLands != shown; i++) {
            float at = (float)((double)clock + SCENE_STEP_SECONDS);
            if (fabsf(at - shown) < fabsf(bestLands - shown)) {
                best = clock;
                bestLands = at;
            }
            clock = nextafterf(clock, direction < 0 ? -INFINITY : INFINITY);
        }
    }
    *lands = bestLands;
    return best;
}

float RunPartFrame(PlatformWindow* window, ShowPart part, float time)
{
    float lands = 0.0f;
    BeginFrame();
    if (part == PART_TITLE) {
        DrawTitleCard();
    } else if (part == PART_THANKS) {
        DrawThanksCard();
    } else {
        showClocks.sceneTime = ClockBefore(time, &lands);
        DrawScene(SceneProgram(part));
    }
    EndFrame(window);
    return lands;
}

void ShowPicture(PlatformWindow* window, ShowPart part, float clock)
{
    ClearFrame();
    if (part == PART_TITLE)
        DrawTitleCard();
    else if (part == PART_THANKS)
        DrawThanksCard();
    else if (IsScenePart(part))
        DrawSceneAt(SceneProgram(part), clock);
    EndFrame(window);
}

float RunPartFrames(PlatformWindow* window, ShowPart part, float from, float to, int32_t frames,
                    double (*nowMs)(void), void (*finish)(void), double* ms, double* firstMs)
{
    float lands = 0.0f;
    for (int32_t i = 0; i <= frames && !QuitRequested(); i++) {
        float time = from + (to - from) * (float)i / (float)(frames + 1);
        if (nowMs == nullptr) {
            lands = RunPartFrame(window, part, time);
            continue;
        }
        finish();
        double start = nowMs();
        lands = RunPartFrame(window, part, time);
        finish();
        double took = nowMs() - start;
        if (i == 0)
            *firstMs = took;
        else
            ms[i - 1] = took;
    }
    return lands;
}
