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

// ---- the page's picture (canvas_web.cpp) ----
// The canvas's drawing buffer for a displayed size in device pixels (the
// picture at most 2880 x 2160, and within the GPU's limits), the 4:3
// picture framed in it, and the cards' glyphs at the picture's height.
void WebSetCanvasSize(int32_t width, int32_t height);
// Where the next frame draws: a card on the canvas in the picture's place,
// a scene into the scenes' framebuffer at the scenes' size.
void WebBeginPicture(bool scene);
// After a scene frame: the scene scaled onto the canvas between black bars.
void WebEndPicture(bool scene);
// Draws the water's program as a frame of it would, at the scenes' size,
// into their framebuffer (nothing is shown), for the frame times that set
// the size before the scenes begin; the first also draws the spheres' in
// one pixel, so that the driver's compile of each on first use comes now.
void WebProbeScenes(bool first);
// True once the scenes' size has held for a few frame times.
bool WebSceneSizeSettled(void);
// After the context was lost: every GL object here is made again.
void WebForgetCanvasGraphics(void);
// The scenes at a fixed fraction of the picture's side (?scale).
void WebPinSceneScale(double scale);
// A scene frame took ms from its animation frame to the next (the display
// refreshes every displayMs): the scenes' size follows.
void WebNoteSceneFrame(double ms, double displayMs, double nowMs);
