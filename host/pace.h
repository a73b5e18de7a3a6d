// The show's pace: which frame is due at a song position, and running the
// loop up to it, for every front end that keeps time with the song (the
// page, the desktop) and for the capture's clock.
#pragma once

#include <stdint.h>
#include "platform/platform.h"
#include "platform/sound_ring.h"
#include "render/render.h"
#include "state/shared.h"

// Frames a second: one frame per scene pass, so a scene's clock keeps time
// with the song. 25.
constexpr double SHOW_FRAME_RATE = 1.0 / SCENE_STEP_SECONDS;

// Song samples in a frame: 1764, so that frame k starts at sample
// (k - 1) * SAMPLES_PER_FRAME exactly.
constexpr int64_t SAMPLES_PER_FRAME = SOUND_SAMPLE_RATE / (int64_t)SHOW_FRAME_RATE;
static_assert(SAMPLES_PER_FRAME * (int64_t)SHOW_FRAME_RATE == SOUND_SAMPLE_RATE,
              "a frame lasts a whole number of samples");
// A frame's time in milliseconds: 40.
constexpr double SHOW_FRAME_MS = 1000.0 / SHOW_FRAME_RATE;

// Frame periods gone before frame k (from 1) starts: frame k starts at
// (k - 1) / fps. Inline so that a backend's clock can be handed it.
inline int64_t FramePeriodsBefore(int64_t frame) { return frame - 1; }
// Where frame k starts, in seconds, at fps frames a second.
double FrameStartSeconds(int32_t frame, double fps);
// The frame shown at songSeconds of song at the show's rate: the one whose
// span holds that moment.
int32_t DueFrame(double songSeconds);
// The same at a song position counted in samples, exact: a position that is
// a frame's first sample is that frame (seconds rounded may fall just short).
int32_t DueFrameAtSample(int64_t songSample);

// Frames the loop has run, numbered as the capture numbers them; the last
// is the one on screen.
extern int32_t paceFrames;

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
// Smooth motion: a picture at any song time t, not only at the show's 25 a
// second. It shows the frame due at t (its part, the timeline's switches
// and the spheres' cycle where the show has them) with that frame's clock
// advanced by the time since the frame began, the sum taken in double and
// rounded to float as the scene pass's own step is. On the show's grid it
// is the show's frame exactly.
//
// The frame due at songSeconds, and in *since the seconds since it began.
int32_t SmoothFrame(double songSeconds, double* since);
// The same for frame `video` (from 1) of a video at fpsNum / fpsDen frames a
// second, whose frame j shows t = (j - 1) fpsDen / fpsNum: reckoned exactly,
// so frames on the show's grid have *since 0.
int32_t SmoothVideoFrame(int64_t video, int64_t fpsNum, int64_t fpsDen, double* since);
// NextDueFrame's frame for a live player (songSeconds negative before the
// sound started), with *since: 0 where that frame is not the song's own
// at songSeconds (the first, a seek's, a song not yet started).
int32_t NextSmoothFrame(double songSeconds, double* since);
// A frame's clock advanced by since.
float SmoothClock(float frameClock, double since);
// The clock a smooth picture of a frame of `part` draws at: its clock moved
// on by since for a scene, 0 for a card.
float SmoothClockOf(ShowPart part, float frameClock, double since);
// The picture of the frame on screen at since seconds past its start: its
// part (PART_COUNT before any frame ran) and in *clock a scene's iGlobalTime
// (0 for a card).
ShowPart SmoothPicture(double since, float* clock);
// Runs the loop up to frame due, every frame unseen and nothing drawn.
// Returns false, at once, when the show must end.
bool RunUnseenTo(PlatformWindow* window, int32_t due);
// Runs the loop up to frame due, every frame unseen, then draws the picture
// at since seconds past its start between begin(scene) and end(scene) (each
// may be null); a due frame already on screen is drawn again at the new
// time. *scene tells whether the picture is a scene. Returns false, at once,
// when the show must end.
bool RunSmoothTo(PlatformWindow* window, int32_t due, double since, void (*begin)(bool scene),
                 void (*end)(bool scene), bool* scene);
// A pass of a loop that keeps time with the song: run the loop up to frame
// due and draw it (smooth: at since seconds past its start), or wait.
struct ShowPass {
    bool draw;
    bool smooth;
    int32_t due;
    double since;
    // Not drawing: the seconds until the next frame starts, and whether to
    // look again as soon as the song moves (a smooth scene moves between
    // the show's frames).
    double waitSeconds;
    bool lookSoon;
};
// The pass at the song's position (negative before its sound started), for
// the desktop and the page: the frame due, or with oneAFrame the display's
// pace; a smooth picture is drawn again only once the song has moved it.
ShowPass DecidePass(double songSeconds, bool smooth, bool oneAFrame);
// The pass for frame `video` (from 1) of a smooth video at fpsNum / fpsDen
// frames a second: always drawn.
ShowPass VideoPass(int64_t video, int64_t fpsNum, int64_t fpsDen);
// Carries a drawn pass out (RunFramesTo or RunSmoothTo), noting the smooth
// picture now on screen.
bool RunPass(PlatformWindow* window, const ShowPass& pass, void (*begin)(bool scene), void (*end)(bool scene),
             bool* scene);
// The clock of the smooth picture on screen; -1 when none is, or when it
// must be drawn again whatever the song says (a resize, a context remade).
float ShownSmoothClock();
void ForgetShownPicture();

// Seeks to the frame at songSeconds: shown next; a frame behind the one on
// screen is reached from the timeline's start, run again unseen.
void PaceSeek(double songSeconds);
// The same to a song position counted in samples.
void PaceSeekToSample(int64_t songSample);
// Back to before the first frame, for watching again.
void PaceRewind();
// The frame on screen due again, reached from the timeline's start, to be
// drawn anew (the canvas resized while nothing moves).
void PaceRedraw();

// The song time at which part first shows, as the timeline runs it.
double PartStartSeconds(ShowPart part);
// The frame at which part first shows.
int32_t PartFirstFrame(ShowPart part);
