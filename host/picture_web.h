// The page's picture: the canvas, the picture in it and the scenes' size
// wired together for the page's entry.
#pragma once

#include <stdint.h>

// The canvas's drawing buffer for a displayed size in device pixels (the
// picture at most 2880 x 2160, and within the GPU's limits), the 4:3
// picture framed in it, and the cards' glyphs at the picture's height.
void WebSetCanvasSize(int32_t width, int32_t height);
// Where the next frame draws: a card on the canvas in the picture's place,
// a scene into the scenes' framebuffer at the scenes' size.
void WebBeginPicture(bool scene);
// After a scene frame: the scene scaled onto the canvas between black bars.
void WebEndPicture(bool scene);
// The water drawn unseen at the scenes' size, for the frame times that set
// the size before the scenes begin; the first probe's time does not count.
void WebProbeScenes();
// True once the scenes' size has held for a few frame times.
bool WebSceneSizeSettled(void);
// After the context was lost: every GL object of the picture made again.
void WebForgetCanvasGraphics(void);
// The scenes at a fixed fraction of the picture's side (?scale).
void WebPinSceneScale(double scale);
// A scene frame took ms from its animation frame to the next (the display
// refreshes every displayMs): the scenes' size follows.
void WebNoteSceneFrame(double ms, double displayMs, double nowMs);
