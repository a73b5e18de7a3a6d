// Process-wide state shared by the show's subsystems.
#pragma once

#include <atomic>
#include <stdint.h>

// Raised by the GL error check and by the song's end mark; read by the frame
// loop and the sound feeder thread. A lock-free byte with relaxed accesses:
// the same plain loads and stores on x86, but the compiler may not hoist the
// frame loop's read out of the loop.
extern std::atomic<uint8_t> quitRequested;
static_assert(std::atomic<uint8_t>::is_always_lock_free, "quit flag must be lock-free");

inline bool QuitRequested() { return quitRequested.load(std::memory_order_relaxed) != 0; }
inline void RequestQuit() { quitRequested.store(1, std::memory_order_relaxed); }

// Scene clock in seconds, the value of iGlobalTime.
extern float sceneTime;
// Frames of the loop plus scene passes; the title and thanks cards count it.
extern int32_t frameCount;

// The show's own picture size: its window, and what the scenes, the cards
// and the capture's frames are drawn at unless told otherwise.
enum { SHOW_WIDTH = 1024, SHOW_HEIGHT = 768 };

// The parts of the show in their order, by the names tools and tests use:
// two cards, then the two scenes, each drawn by a fragment program of its
// own (shaders/water.glsl, shaders/sphere.glsl).
enum ShowPart { PART_TITLE, PART_THANKS, PART_WATER, PART_SPHERES, PART_COUNT };
extern const char* const showPartNames[PART_COUNT];
