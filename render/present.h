// The show's picture in a window of any size: the 4:3 picture framed in the
// window between black bars, the cards drawn there at the picture's size,
// and the scenes drawn into a framebuffer of their own at the scenes' size
// (the picture's, or smaller where the GPU cannot keep the pace) and scaled
// onto it. Works on a desktop GL 2.0 context and on WebGL 1; where the GPU
// cannot render into a texture the scenes are drawn straight at the
// picture's size.
#pragma once

#include <stdint.h>
#include "platform/gl.h"

// The window's drawable size in pixels, and the picture in it from its
// lower-left corner (GL's way).
extern int32_t presentWidth, presentHeight;
extern int32_t pictureX, pictureY, pictureWidth, pictureHeight;
// The framebuffer that is the window: 0, but for a window drawn off screen.
extern GLuint windowFramebuffer;
// The size the scenes draw at; the picture's until SetSceneSize says other.
extern int32_t sceneWidth, sceneHeight;
// Set once the GPU proved unable to draw the scenes into a texture: they
// are then drawn at the picture's size, whatever SetSceneSize asks.
extern bool sceneDirect;

// The window's drawable is width x height: frames the picture in it and,
// when the picture's height changed, remakes the cards' glyphs at it.
void FrameWindow(int32_t width, int32_t height);
// The scenes' size, at most the picture's.
void SetSceneSize(int32_t width, int32_t height);
// Where the next frame draws: a card straight onto the window in the
// picture's place, a scene into the scenes' framebuffer at their size.
void BeginPicture(bool scene);
// After a scene frame: the scene scaled onto the picture between black bars.
void EndPicture(bool scene);
// Draws the water's program as one of its frames would, at the scenes'
// size into their framebuffer (nothing is shown), so that its time can be
// measured before the scenes begin; the first also draws both programs in
// one pixel, so that the driver's compile of each on first use comes now.
void ProbeScenes(bool first);
// After the context was lost: every GL object here is made again.
void ForgetPictureGraphics();
