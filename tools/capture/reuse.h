// Each distinct picture of a capture drawn once.
//
// A frame's picture is a function of its part, its scene clock and the
// run's frame size alone, and the timeline says both before anything is
// drawn. The run is planned at its start: a frame whose picture an earlier
// frame of the run showed is not drawn again but written from a kept copy
// (its RGB rows for the video, its PNG bytes for --png-dir). Copies are
// kept only while a later frame needs them, in memory up to a budget and
// beyond it in a temporary file beside the output.
//
// Encoding and writing run on a thread of their own, fed through a short
// queue, so the next frame is drawn while the last is compressed.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

#include "state/shared.h"
#include "tools/capture/stretches.h"

// Writes a finished frame (on the writer thread, in frame order): rgb is its
// rows when the run encodes it into the video (null for a frame of a copied
// stretch), png its encoded bytes when it writes PNGs; each null when not
// wanted.
typedef void (*FrameWriter)(int32_t frame, const uint8_t* rgb, const std::vector<uint8_t>* png);

struct ReusePlan {
    int32_t first;       // the run's frames, from the show's start
    int32_t last;
    int32_t width;       // of the frames written
    int32_t height;
    bool rgb;            // the writer needs each frame's rows (a video)
    bool png;            // and its PNG bytes
    bool drawAll;        // draw every frame, keep nothing (for comparison)
    size_t budget;       // bytes of kept pictures held in memory
    std::string storeDir; // where the temporary file of pictures goes
    FrameWriter write;
    bool smooth;         // frames are smooth motion's pictures at fpsNum / fpsDen
    int64_t fpsNum;
    int64_t fpsDen;
    CopyRule copies;     // the video's stretches copied instead of encoded again
};

// How many distinct pictures the frames show: parts and clocks as
// PlanShowFrames gives them.
int32_t CountPictures(const ShowPart* parts, const float* clocks, int32_t count);
// Each frame's picture as a number from 0 in the order first shown, -1 for
// a frame that shows nothing; returns how many there are.
int32_t NumberPictures(const ShowPart* parts, const float* clocks, int32_t count, int32_t* numbers);

// Plans the run from the show's timeline and starts the writer thread.
void StartReuse(const ReusePlan& plan);
// True when the frame shows a picture an earlier frame of the run drew: it
// need not be drawn.
bool PictureKept(int32_t frame);
// Hands the writer a frame: drawn is the surface read back, or null for a
// frame not drawn. Waits while the queue is full.
void QueueFrame(int32_t frame, const uint8_t* drawn);
// Ends the writer: with drain, once every queued frame is written; else
// after the frame it is writing.
void StopReuse(bool drain);

// The video's stretches, frames counted from the run's first.
const std::vector<VideoStretch>& PlannedStretches(void);
// For a frame the video encodes: the encoded stretch it belongs to, and
// whether it is that stretch's first or last frame. False for any other.
bool EncodedStretchOf(int32_t frame, int32_t* number, bool* first, bool* last);
// Seconds of drawing and encoding still ahead at the costs measured so far:
// pictures still to draw at their part's cost a picture (its first left out,
// which carries the compile of the part's program; the latest measured
// part's until then; the writer's cost of such a frame where it is the
// slower), frames still to encode that are not drawn at the writer's
// measured cost of one (waiting for the encoder included); copies at theirs,
// next to nothing.
double WorkSecondsLeft(void);

int32_t PicturesDrawn(void);
// Pictures that went to the temporary file, once or more.
int32_t PicturesInFile(void);
