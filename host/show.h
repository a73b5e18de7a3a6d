// Entry routine of the show: start-up, the frame loop with its timeline, and
// shutdown.
#pragma once

#include <stdint.h>
#include "platform/platform.h"
#include "state/shared.h"

// Where the show's pictures and cards stand (showClocks.timelineState).
// It moves only forward, through these in their order, and stays at the
// spheres; a card's end steps to the next by adding 1.
enum TimelineState {
    TIMELINE_START = -6,        // starts the sound, then shows the title
    TIMELINE_TITLE = -5,
    TIMELINE_THANKS = -4,
    TIMELINE_THANKS_LAST = -3,  // the thanks card's last frame
    TIMELINE_SCENES = -2,       // the scenes begin, with the water
    TIMELINE_WATER = 0,
    TIMELINE_SPHERES = 1,
};

// The part the timeline's last step showed, or would have shown undrawn;
// PART_COUNT when it showed nothing.
extern ShowPart steppedPart;
// The part the next step will show, worked out by the timeline itself with
// nothing moved and no sound started.
ShowPart NextStepPart();

// Takes the screen, builds every graphics resource. Returns the window, or
// ends the process with status 1 when no window or GL context can be had.
// The size is the window's where it is not full screen.
PlatformWindow* StartUp(int32_t windowWidth = SHOW_WIDTH, int32_t windowHeight = SHOW_HEIGHT);
// True when the loop must end before the next frame.
bool ShowShouldEnd();
// One pass of the loop: clear, check, timeline step, swap, one message.
void RunFrame(PlatformWindow* window);
// Where set, called by RunFrame and RunPartFrame between drawing and the
// swap: a host that draws the scenes off screen puts them on the picture
// there, so that the swap shows the frame just drawn.
extern void (*beforeSwap)(void);
// One pass of the loop with nothing drawn and no GL call: the timeline and
// the clocks move as RunFrame moves them (the sound starts at the first),
// for a player that runs frames it does not show.
void SkipFrame(PlatformWindow* window);
// What the show's frames 1 to count show, from its start, with nothing
// drawn and nothing moved: each frame's part (PART_COUNT for none) and, for
// a scene, the iGlobalTime its program sees (0 for a card). A frame's
// picture at a given size is a function of these two alone.
void PlanShowFrames(int32_t count, ShowPart* parts, float* clocks);
// Back to before the show's first frame, for a player that seeks backwards:
// the frames run again from there are the ones a fresh start runs, except
// that the sound, already started, is not started again.
void RewindTimeline();
// Restores the display and releases the context; returns the show's exit
// status: 1 when an OpenGL error was reported, else 0.
int EndShow(PlatformWindow* window);
// EndShow, then ends the process with its status.
[[noreturn]] void ShutDown(PlatformWindow* window);

// One frame of part as the loop draws it (the same clear, check, swap and
// message), with the scene clock set so that a scene's program sees
// iGlobalTime time, or the nearest value the clock's 0.04 s step can reach
// (returned; cards return 0). The sound is not started, the timeline not
// moved.
float RunPartFrame(PlatformWindow* window, ShowPart part, float time);

// A picture of part as the loop draws its frames (the same clear, check,
// swap and message), a scene's program seeing iGlobalTime clock; nothing
// moved: the timeline, the clocks and the frame count stay as they are.
void ShowPicture(PlatformWindow* window, ShowPart part, float clock);

// The frames the tools draw of one part, stills and benches alike: frames + 1
// frames at scene times spread from `from` towards `to` (frame i at
// from + (to - from) * i / (frames + 1)), stopping early once the show must
// quit. With nowMs given, each is timed from a finish() before it to a
// finish() after it (the driver's wait for the frame, which the caller
// knows): the first, which carries the driver's deferred work, into
// *firstMs, the others into ms[0 .. frames - 1]. Returns the iGlobalTime
// the last frame drawn showed (0 for cards).
float RunPartFrames(PlatformWindow* window, ShowPart part, float from, float to, int32_t frames,
                    double (*nowMs)(void), void (*finish)(void), double* ms, double* firstMs);
