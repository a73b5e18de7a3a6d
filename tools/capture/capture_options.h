// Command line of brinelux-capture.
#pragma once

#include <stdint.h>
#include "state/shared.h"

// The frame sizes --size accepts.
enum { MIN_FRAME_WIDTH = 64, MIN_FRAME_HEIGHT = 48, MAX_FRAME_WIDTH = 8192, MAX_FRAME_HEIGHT = 6144 };

enum CaptureMode { MODE_NONE, MODE_FRAMES, MODE_WAV, MODE_STILL, MODE_BENCH, MODE_HELP };

struct CaptureOptions {
    CaptureMode mode;
    const char* out;      // --out: .mp4 or .mkv through ffmpeg
    bool outIsMkv;
    const char* pngDir;   // --png-dir
    const char* wav;      // --wav
    int32_t audioBlock;   // --audio-block, 0 for the live feeder's schedule
    const char* audioSchedule; // --audio-schedule: a file of per-call sample counts
    int64_t fpsNum;       // --fps as a reduced fraction
    int64_t fpsDen;
    bool smooth;          // --smooth: video frame j shows song time (j - 1) / fps
    int32_t firstFrame;   // --frames A-B; 1 and 0 (to the end) when not given
    int32_t lastFrame;
    ShowPart still;       // --still: the part by its name
    const char* png;      // --png
    float time;           // --time, the iGlobalTime of a scene still
    int32_t width;        // --size of the frames: 1024 x 768 unless given
    int32_t height;
    bool sizeGiven;
    int32_t supersample;  // --supersample: each pixel drawn as N x N, 1 unless given
    int32_t crf;          // --crf: the H.264 quality, -1 for the default
    bool lossless;        // --lossless: FFV1 and FLAC in .mkv
    int64_t cacheMb;      // --cache-mb: memory for pictures shown again, in MiB
};

// Parses argv into options. Returns null on success, else a one-line reason
// (no trailing newline) that the caller prints before exiting with status 2.
// The reason is kept in a buffer that the next call overwrites.
const char* ParseCaptureOptions(int argc, char** argv, CaptureOptions* options);

// "25", "60", "30000/1001", "29.97": a rate as a reduced fraction with both
// terms at most 1,000,000 and a value from 1 to 1000 frames per second.
// False when the text is anything else; termsTooLarge, where given, tells a
// rate in range whose terms pass 1,000,000 (24.999999) from the rest.
bool ParseFrameRate(const char* text, int64_t* num, int64_t* den, bool* termsTooLarge = nullptr);

// --size's "WIDTHxHEIGHT", each in its range (64 to 8192 by 48 to 6144).
// False when the text is anything else.
bool ParseFrameSize(const char* text, int32_t* width, int32_t* height);

// The usage text printed by --help.
const char* CaptureUsage(void);
