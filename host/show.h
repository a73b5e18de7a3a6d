// Entry routine of the show: start-up, the frame loop with its timeline, and
// shutdown.
#pragma once

#include <stdint.h>
#include "platform/platform.h"

// Where the show's pictures and cards stand; moves only forward
// (-6, -5, -4, -3, -2, 0, 1) and stays at 1.
extern int32_t timelineState;

// Takes the screen, builds every graphics resource. Returns the window, or
// ends the process with status 1 when no window or GL context can be had.
PlatformWindow* StartUp();
// True when the loop must end before the next frame.
bool ShowShouldEnd();
// One pass of the loop: clear, check, timeline step, swap, one message.
void RunFrame(PlatformWindow* window);
// Runs frames until ShowShouldEnd.
void FrameLoop(PlatformWindow* window);
// Restores the display and ends the process: status 1 when an OpenGL error
// was reported, else 0.
[[noreturn]] void ShutDown(PlatformWindow* window);
