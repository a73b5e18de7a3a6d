// The frames of a capture drawn at another size than the show's own: the
// surface the show draws on, and the frame made from each drawn one.
//
// The show's picture is 4:3. A frame of another shape holds the largest 4:3
// picture centred between black bars; with a supersample of N the picture
// is drawn N times as wide and high and each N x N block averaged to one
// pixel (a box filter in linear light: the sRGB values decoded, averaged,
// encoded again and rounded). At the show's own size, 1024 x 768 with no
// supersample, the drawn frame is the frame, byte for byte.
#pragma once

#include <stdint.h>
#include <string>

struct FrameLayout {
    int32_t width;          // the frame written
    int32_t height;
    int32_t x;              // the picture's corner in it, from the top left
    int32_t y;
    int32_t pictureWidth;
    int32_t pictureHeight;
    int32_t supersample;
};

// The layout of frames of width x height drawn with supersample N (1 to 4).
FrameLayout LayOutFrames(int32_t width, int32_t height, int32_t supersample);
// The size the show draws at for it: the picture times the supersample.
int32_t SurfaceWidth(const FrameLayout& layout);
int32_t SurfaceHeight(const FrameLayout& layout);
// True when the drawn surface is the frame as it stands.
bool DrawnIsFrame(const FrameLayout& layout);

// Makes the frame (rows top first, RGB) from a drawn surface of the
// layout's size (rows top first, RGB) into frame, which holds width x
// height x 3 bytes.
void ComposeFrame(const FrameLayout& layout, const uint8_t* drawn, uint8_t* frame);

// The layout of this run's frames, from the options (LayOutCapture).
extern FrameLayout frameLayout;
void LayOutCapture(int32_t width, int32_t height, int32_t supersample);
// The frame of a drawn surface of frameLayout: the drawn rows themselves at
// the show's own size, else a frame composed into a buffer of this module's
// (valid until the next call).
const uint8_t* FrameOf(const uint8_t* drawn);

// What a summary line says of the frames' size beyond the show's own:
// ", 1920x1080 with the 4:3 picture 1440x1080 between black bars, each
// pixel averaged from 2 x 2"; "" for 1024 x 768 with no supersample.
std::string DescribeFrames(const FrameLayout& layout);
