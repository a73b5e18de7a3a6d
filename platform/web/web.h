// What the web entries need from the web backend beyond platform.h.
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
// The feeder's worker: plays its ring on the worker's clock instead of the
// worklet's reports (a page without Web Audio).
void WebFeederSilent(bool noAudio);
// The feeder's worker: a fresh ring, played from its start by a fresh
// worklet, for the next sound start (a seek).
void WebFeederRestart(void);
// The feeder's worker: whether the output has played anything since the
// previous call (always at the first, and for the silent ring).
bool WebFeederOutputMoved(void);
// The feeder's worker: stops the silent ring's clock while the page is
// hidden, and starts it again from where it stood.
void WebFeederPause(bool paused);
// The feeder's worker: samples the output has played beyond the song's
// place in it (the ring the song plays behind its refills, and what late
// refills lost), so that the song's position is the output's count less it.
double WebFeederSongBehind(void);
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
