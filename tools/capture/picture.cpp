#include "tools/capture/picture.h"

#include <math.h>
#include <string.h>
#include <algorithm>
#include <vector>

#include "render/render.h"
#include "state/shared.h"

FrameLayout LayOutFrames(int32_t width, int32_t height, int32_t supersample)
{
    FrameLayout layout;
    layout.width = width;
    layout.height = height;
    layout.supersample = supersample;
    // Centred: an odd pixel left over goes to the right or bottom bar.
    FramePicture(width, height, &layout.x, &layout.y, &layout.pictureWidth, &layout.pictureHeight);
    return layout;
}

int32_t SurfaceWidth(const FrameLayout& layout) { return layout.pictureWidth * layout.supersample; }
int32_t SurfaceHeight(const FrameLayout& layout) { return layout.pictureHeight * layout.supersample; }

bool DrawnIsFrame(const FrameLayout& layout)
{
    return layout.supersample == 1 && layout.pictureWidth == layout.width && layout.pictureHeight == layout.height;
}

// sRGB's transfer function: the light of each 8-bit value, and the light
// at which each value gives way to the next, for rounding to the nearest.
static double valueLight[256];
static double nextValueAt[255];

static double Light(double value)
{
    return value <= 0.04045 ? value / 12.92 : pow((value + 0.055) / 1.055, 2.4);
}

static void MakeLightTables()
{
    if (valueLight[255] != 0.0)
        return;
    for (int v = 0; v < 256; v++)
        valueLight[v] = Light(v / 255.0);
    for (int v = 0; v < 255; v++)
        nextValueAt[v] = Light((v + 0.5) / 255.0);
}

// The value whose light is nearest the mean light of the block.
static uint8_t AverageBlock(const uint8_t* drawn, size_t rowBytes, int n)
{
    double sum = 0.0;
    for (int dy = 0; dy < n; dy++)
        for (int dx = 0; dx < n; dx++)
            sum += valueLight[drawn[dy * rowBytes + (size_t)dx * 3]];
    double mean = sum / (n * n);
    return (uint8_t)(std::upper_bound(nextValueAt, nextValueAt + 255, mean) - nextValueAt);
}

void ComposeFrame(const FrameLayout& layout, const uint8_t* drawn, uint8_t* frame)
{
    size_t frameRow = (size_t)layout.width * 3;
    if (DrawnIsFrame(layout)) {
        memcpy(frame, drawn, frameRow * layout.height);
        return;
    }
    MakeLightTables();
    int n = layout.supersample;
    size_t drawnRow = (size_t)SurfaceWidth(layout) * 3;
    memset(frame, 0, frameRow * layout.height);
    for (int32_t y = 0; y < layout.pictureHeight; y++) {
        uint8_t* out = frame + (size_t)(layout.y + y) * frameRow + (size_t)layout.x * 3;
        const uint8_t* in = drawn + (size_t)y * n * drawnRow;
        if (n == 1) {
            memcpy(out, in, (size_t)layout.pictureWidth * 3);
            continue;
        }
        for (int32_t x = 0; x < layout.pictureWidth; x++)
            for (int c = 0; c < 3; c++)
                out[(size_t)x * 3 + c] = AverageBlock(in + (size_t)x * n * 3 + c, drawnRow, n);
    }
}

FrameLayout frameLayout = {SHOW_WIDTH, SHOW_HEIGHT, 0, 0, SHOW_WIDTH, SHOW_HEIGHT, 1};
static std::vector<uint8_t> composed;

void LayOutCapture(int32_t width, int32_t height, int32_t supersample)
{
    frameLayout = LayOutFrames(width, height, supersample);
    if (!DrawnIsFrame(frameLayout))
        composed.resize((size_t)width * height * 3);
}

const uint8_t* FrameOf(const uint8_t* drawn)
{
    if (DrawnIsFrame(frameLayout))
        return drawn;
    ComposeFrame(frameLayout, drawn, composed.data());
    return composed.data();
}

std::string DescribeFrames(const FrameLayout& layout)
{
    if (layout.width == SHOW_WIDTH && layout.height == SHOW_HEIGHT && layout.supersample == 1)
        return "";
    std::string text = ", " + std::to_string(layout.width) + "x" + std::to_string(layout.height);
    if (layout.pictureWidth != layout.width || layout.pictureHeight != layout.height)
        text += " with the 4:3 picture " + std::to_string(layout.pictureWidth) + "x" +
                std::to_string(layout.pictureHeight) + " between black bars";
    if (layout.supersample > 1)
        text += ", each pixel averaged from " + std::to_string(layout.supersample) + " x " +
                std::to_string(layout.supersample);
    return text;
}
