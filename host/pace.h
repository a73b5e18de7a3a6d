// The show's pace: which frame is due at a song position, and running the
// loop up to it, for every front end that keeps time with the song (the
// page, the desktop) and for the capture's clock.
#pragma once

#include <stdint.h>
#include "platform/platform.h"
#include "render/render.h"
#include "state/shared.h"

// Frames a second: one frame per scene pass, so a scene's clock keeps time
// with the song. 25.
constexpr double SHOW_FRAME_RATE = 1.0 / SCENE_STEP_SECONDS;

// Frame periods gone before frame k (from 1) starts: frame k starts at
// (k - 1) / fps. Inline so that a backend's clock can be handed it.
inline int64_t FramePeriodsBefore(int64_t frame) { return frame - 1; }
// Where frame k starts, in seconds, at fps frames a second.
double FrameStartSeconds(int32_t frame, double fps);
// The frame shown at songSeconds of song at the show's rate: the one whose
// span holds that moment.
int32_t DueFrame(double songSeconds);

// Frames the loop has run, numbered as the capture numbers them; the last
// is the one on screen.
extern int32_t paceFrames;

// Whether a frame run from this timeline state draws a scene.
bool SceneState(int32_t state);
// The frame to show next: at the song's position (negative before its sound
// started: the frame on screen), or with oneAFrame the one after the frame
// on screen, the display's pace. The first frame, and the first after a
// seek, come at once whatever the song's clock says.
int32_t NextDueFrame(double songSeconds, bool oneAFrame);
// Runs the loop up to frame due: the frames behind through SkipFrame, the
// due one through RunFrame between begin(scene) and end(scene) (either may
// be null). *scene tells whether the last frame run drew a scene. Returns
// false, at once, when the show must end after a frame.
bool RunFramesTo(PlatformWindow* window, int32_t due, void (*begin)(bool scene), void (*end)(bool scene),
                 bool* scene);
// Seeks to the frame at songSeconds: shown next; a frame behind the one on
// screen is reached from the timeline's start, run again unseen.
void PaceSeek(double songSeconds);
// Back to before the first frame, for watching again.
void PaceRewind();

// The song time at which part first shows, as the timeline runs it.
double PartStartSeconds(ShowPart part);
// The frame at which part first shows.
int32_t PartFirstFrame(ShowPart part);
