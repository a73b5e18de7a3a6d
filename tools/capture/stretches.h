// The video of a capture as stretches joined by stream copy.
//
// A stretch of frames that repeats an earlier stretch picture for picture
// (each cycle of the spheres after the first, a card held for seconds) is
// not encoded again: the earlier stretch is encoded on its own, starting
// with a key frame and depending on nothing outside it, and the file is
// joined from the encoded stretches and their copies without re-encoding.
//
// A copy costs a key frame where it begins, which a stretch encoded in
// place would not have: stretches shorter than the rule's least are encoded
// again instead, and a run of one picture is copied in units of the rule's
// still length (x264 spends next to no bits on a held picture, so the key
// frame is most of such a unit's size).
#pragma once

#include <stdint.h>
#include <vector>

struct VideoStretch {
    int32_t first;   // the stretch's first frame, counted from the run's first (0)
    int32_t count;
    int32_t encoded; // the encoded stretch it is, or is a copy of: its number among them
    bool copy;
};

struct CopyRule {
    int32_t least;     // frames in the shortest copy; 0: nothing is copied
    int32_t stillUnit; // frames in the unit a held picture is copied by
};

// The stretches of count frames, given each frame's picture number (-1 for
// a frame that shares its picture with none): in order, covering every
// frame once. Encoded stretches are numbered 0, 1, ... in order.
void PlanStretches(const int32_t* picture, int32_t count, const CopyRule& rule, std::vector<VideoStretch>* stretches);

// Frames in encoded stretches, and how many of those stretches there are.
int32_t EncodedFrames(const std::vector<VideoStretch>& stretches);
int32_t EncodedStretches(const std::vector<VideoStretch>& stretches);
