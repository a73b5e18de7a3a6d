// What --out writes: the encoders' settings handed to ffmpeg.
//
// By default H.264 in 4:2:0 at CRF 18 (--crf N for another), converted from
// the show's RGB with the BT.709 matrix into limited range and tagged so
// (BT.709 primaries, transfer and matrix, limited range), which is what
// browsers and video sites assume for pictures of this size; the sound AAC
// (.mp4) or FLAC (.mkv). --lossless: FFV1 holding the RGB frames as drawn
// and FLAC holding the samples as played, in .mkv.
#pragma once

#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/stretches.h"

// The CRF used when --crf is not given.
enum { DEFAULT_CRF = 18 };

// ffmpeg's output options for the video stream, from RGB24 frames.
std::vector<std::string> VideoCodecArgs(const CaptureOptions& options);
// ffmpeg's output options for the final file: the video copied with its
// colour tags written into the container, the sound encoded from 16-bit
// mono samples.
std::vector<std::string> MuxArgs(const CaptureOptions& options);
// Which repeats the video copies instead of encoding them again (stretches.h).
CopyRule StretchCopyRule(const CaptureOptions& options);
// For the summary line: "H.264 CRF 18 (BT.709, limited range) and AAC 192 kb/s".
std::string DescribeCodecs(const CaptureOptions& options);
