#include "host/scene_size.h"
#include "host/pace.h"
#include "state/shared.h"

#include <math.h>

// The frame times are smoothed, each new one weighing 0.4: one slow frame
// (a page scrolled, a driver's hiccup) moves the size less than a run does.
static const double COST_KEEP = 0.6, COST_NEW = 0.4;
// A display slower than 25 Hz sets the frame's time whatever the size; 10 %
// above its period, a frame still counts as keeping up with it.
static const double DISPLAY_MARGIN = 1.1;
// Twice the budget lowers the size at once; 15 % over it, once three frames
// agree, so that the band around the budget holds the size still.
static const double FAR_OVER = 2.0;
static const double LITTLE_OVER = 1.15;
static const int32_t LITTLE_OVER_SAMPLES = 3;
// A level up has 1.41 times the pixels: it is taken only where that would
// still leave a fifth of the frame's 40 ms (32 ms), after eight frames.
static const double RAISE_BELOW_MS = 32.0;
static const int32_t RAISE_SAMPLES = 8;
// Frames at one size before it counts as settled (the probes stop then).
static const int32_t SETTLED_SAMPLES = 6;
// A size just left for being too slow is tried again after 2 s, then after
// twice as long each time, at most 30 s: no flicker between two levels.
static const double FIRST_RAISE_WAIT_MS = 2000.0;
static const double LONGEST_RAISE_WAIT_MS = 30000.0;

static int32_t forWidth = SHOW_WIDTH, forHeight = SHOW_HEIGHT;
static int32_t sceneLevel = -1;
static double pinnedScale = -1.0;
static bool held;
// Its frame time (a moving average) over the samples since the size last
// moved, samples still to leave out, and when it may raise the size again.
static double costMs;
static int32_t costSamples;
static int32_t ignoreSamples;
static double raiseAfterMs;
static double raiseWaitMs = FIRST_RAISE_WAIT_MS;

static int32_t Smaller(int32_t a, int32_t b) { return a < b ? a : b; }

// The scenes' size at a fraction of the picture's side: the picture's
// shape, not below the floor, never above the picture.
static void SizeForScale(double scale, int32_t* width, int32_t* height)
{
    int32_t floor = Smaller(SCENE_MIN_HEIGHT, forHeight);
    int32_t h = (int32_t)lround(forHeight * scale);
    h = h < floor ? floor : Smaller(h, forHeight);
    int32_t w = (int32_t)lround((double)forWidth * h / forHeight);
    *width = w < 1 ? 1 : Smaller(w, forWidth);
    *height = h < 1 ? 1 : h;
}

static double LevelScale(int32_t level) { return pow(2.0, -0.25 * level); }

// The first level at which the scenes are at their floor.
static int32_t FloorLevel()
{
    int32_t floor = Smaller(SCENE_MIN_HEIGHT, forHeight), level = 0, w, h;
    for (;; level++) {
        SizeForScale(LevelScale(level), &w, &h);
        if (h <= floor || level >= 64)
            return level;
    }
}

static void StartLevel()
{
    if (sceneLevel < 0)
        sceneLevel = FloorLevel();
}

void SceneSizeForPicture(int32_t width, int32_t height)
{
    forWidth = width < 1 ? 1 : width;
    forHeight = height < 1 ? 1 : height;
    StartLevel();
}

void PinSceneScale(double scale)
{
    pinnedScale = scale;
    StartLevel();
}

void ForgetSceneSize()
{
    forWidth = SHOW_WIDTH;
    forHeight = SHOW_HEIGHT;
    sceneLevel = -1;
    pinnedScale = -1.0;
    held = false;
    costMs = raiseAfterMs = 0.0;
    costSamples = ignoreSamples = 0;
    raiseWaitMs = FIRST_RAISE_WAIT_MS;
}

void HoldScenesAtPicture() { held = true; }

void IgnoreSceneFrames(int32_t count) { ignoreSamples = count; }

bool SceneSizeSettled() { return pinnedScale > 0.0 || held || costSamples >= SETTLED_SAMPLES; }

int32_t SceneLevel() { return sceneLevel; }

void ChosenSceneSize(int32_t* width, int32_t* height)
{
    if (held) {
        *width = forWidth;
        *height = forHeight;
        return;
    }
    SizeForScale(pinnedScale > 0.0 ? pinnedScale : LevelScale(sceneLevel < 0 ? 0 : sceneLevel), width, height);
}

// A frame over the show's frame time lowers the size as far as it needs at
// once, a frame with room raises it a level at a time. Between them a band
// where nothing moves, a few frames after each move before the next, and a
// longer wait before raising again to a size that proved too slow keep it
// still.
void NoteSceneFrame(double ms, double displayMs, double nowMs)
{
    if (pinnedScale > 0.0 || held)
        return;
    if (ignoreSamples > 0) {
        ignoreSamples--;
        return;
    }
    StartLevel();
    costMs = costSamples == 0 ? ms : costMs * COST_KEEP + ms * COST_NEW;
    costSamples++;
    int32_t floorLevel = FloorLevel();
    // A display slower than 25 Hz sets the frame's time whatever the size.
    double budget = fmax(SHOW_FRAME_MS, displayMs * DISPLAY_MARGIN);
    int32_t level = sceneLevel;
    // Far over: at once; a little over: when a few frames agree.
    bool over = costMs > budget * FAR_OVER || (costSamples >= LITTLE_OVER_SAMPLES && costMs > budget * LITTLE_OVER);
    if (over && level < floorLevel) {
        level += (int32_t)ceil(log(costMs / SHOW_FRAME_MS) / log(sqrt(2.0)));
        level = level > floorLevel ? floorLevel : level;
        // A size just left for being too slow waits longer each time.
        raiseAfterMs = nowMs + raiseWaitMs;
        raiseWaitMs = fmin(raiseWaitMs * 2.0, LONGEST_RAISE_WAIT_MS);
    } else if (costSamples >= RAISE_SAMPLES && level > 0 && nowMs >= raiseAfterMs &&
               (costMs * sqrt(2.0) < RAISE_BELOW_MS || costMs <= displayMs * DISPLAY_MARGIN)) {
        // Room: a level up would still take under 32 ms, or the display,
        // not the GPU, sets the pace.
        level -= 1;
    }
    if (level == sceneLevel)
        return;
    sceneLevel = level;
    costSamples = 0;
    ignoreSamples = 1;
}
