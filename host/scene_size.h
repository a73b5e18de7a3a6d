// The scenes' size, kept to the show's 40 ms a frame: frame times in, the
// size the scenes draw at out. Level 0 is the picture's own size; each
// level has 1/sqrt(2) of the pixels of the one before. A pinned scale
// holds it wherever the frame times say.
#pragma once

#include <stdint.h>

// However slow the GPU, the scenes keep at least 256 x 192: a quarter of
// the show's own 1024 x 768 each way (or the whole of a smaller picture).
enum { SCENE_MIN_HEIGHT = 192 };

// Back to the start: no picture, no pin, no frame times heard.
void ForgetSceneSize();
// The picture the scenes are sized for. The first picture starts the
// scenes at their floor, so that a slow GPU's first scene frame is not one
// of seconds at the picture's full size: the frame times raise them.
void SceneSizeForPicture(int32_t width, int32_t height);
// The scenes at a fixed fraction (above 0, at most 1) of the picture's side.
void PinSceneScale(double scale);
// The GPU cannot draw the scenes at another size: the picture's from now
// on, whatever the frame times say.
void HoldScenesAtPicture();
// A scene frame took ms from its animation frame to the next (the GPU's
// time, or the display's where the GPU is quicker); the display refreshes
// every displayMs; nowMs is the clock the waits are measured on.
void NoteSceneFrame(double ms, double displayMs, double nowMs);
// The next count frame times say nothing of the size (a driver's compile).
void IgnoreSceneFrames(int32_t count);
// True once the size has held for a few frame times (or cannot move).
bool SceneSizeSettled();
// The size the scenes draw at now, and its level.
void ChosenSceneSize(int32_t* width, int32_t* height);
int32_t SceneLevel();
