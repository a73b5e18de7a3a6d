// The scene-size controller's size given to the picture, and the scenes
// probed unseen while a card stands still, for every front end that draws
// live (the desktop, the page).
#pragma once

#include <stdint.h>

// The controller's size set on the picture; the picture's own size from now
// on where the GPU cannot draw the scenes into a texture.
void ApplySceneSize();
// Whether frame is one to probe in, from frame `from` on: the probes end
// far enough before the water that its first frame finds the size settled.
bool InProbeWindow(int32_t frame, int32_t from);
// One unseen draw of the scenes at their size. The first carries the
// driver's compile of both programs (seconds on a software renderer), so
// its time is not the scenes' cost.
void ProbeSceneSize();
