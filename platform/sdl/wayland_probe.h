// What a Wayland display offers, asked before SDL is handed it: SDL's video
// start-up crashes on a compositor without an input seat.
#pragma once

// Null when the display named by WAYLAND_DISPLAY can be used, or cannot be
// reached at all (SDL then reports that itself); else why it cannot.
const char* WaylandDisplayProblem(void);
