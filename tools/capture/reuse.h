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

// Writes a finished frame (on the writer thread, in frame order): rgb is its
// rows when the run writes video, png its encoded bytes when it writes PNGs;
// each null when not wanted.
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
};

// How many distinct pictures the frames show: parts and clocks as
// PlanShowFrames gives them.
int32_t CountPictures(const ShowPart* parts, const float* clocks, int32_t count);

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

int32_t PicturesDrawn(void);
// Pictures that went to the temporary file, once or more.
int32_t PicturesInFile(void);
