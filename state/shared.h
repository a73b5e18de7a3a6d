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

// The show's clocks, which its frames move: kept together so that a
// player that runs frames it then takes back saves and restores them whole.
struct ShowClocks {
    // Where the timeline stands (host/show.h names its states).
    int32_t timelineState;
    // Frames of the loop plus scene passes; the title and thanks cards count it.
    int32_t frameCount;
    // Scene clock in seconds, the value of iGlobalTime.
    float sceneTime;
};
extern ShowClocks showClocks;

// The show's own picture size: its window, and what the scenes, the cards
// and the capture's frames are drawn at unless told otherwise.
enum { SHOW_WIDTH = 1024, SHOW_HEIGHT = 768 };

// The parts of the show in their order, by the names tools and tests use:
// two cards, then the two scenes, each drawn by a fragment program of its
// own (shaders/water.glsl, shaders/sphere.glsl).
enum ShowPart { PART_TITLE, PART_THANKS, PART_WATER, PART_SPHERES, PART_COUNT };
extern const char* const showPartNames[PART_COUNT];
// Whether a part is one of the scenes, drawn by a program with a clock.
inline bool IsScenePart(int32_t part) { return part == PART_WATER || part == PART_SPHERES; }
