// What the page's entry needs from the web backend beyond platform.h (the
// feeder's program in the worklet has its own: feeder_web.h).
#pragma once

#include <stdint.h>

// Drops key presses seen before the show started listening.
void WebForgetKeys(void);
struct PlatformWindow;
// The show's context made current again after the show ended and released
// it, to watch it again; false when it cannot be.
bool WebTakeContextBack(PlatformWindow* window);
// Stops the sound at the end of the show.
void WebSoundStop(void);
// The text cards' GL objects, forgotten when the context was lost: the
// next lists made build them again.
void WebForgetTextGraphics(void);

// ---- the page's canvas (canvas_web.cpp) ----
// Asks for a drawing buffer of width x height device pixels, smaller in
// proportion where the GPU refuses that size (its viewport for the canvas,
// a texture for the pictureWidth x pictureHeight picture in it) or the
// picture would pass pictureMaxHeight; the size the browser gave.
void WebSizeCanvas(int32_t width, int32_t height, int32_t pictureWidth, int32_t pictureHeight,
                   int32_t pictureMaxHeight, int32_t* givenWidth, int32_t* givenHeight);
