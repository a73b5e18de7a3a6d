// Test support: a PNG read back as RGB rows, top first, for the capture tests.
#pragma once

#include <png.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

// Empty (0 x 0) when the file cannot be read as a PNG.
inline Image ReadPngFile(const std::string& path)
{
    Image image;
    png_image png;
    memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return image;
    png.format = PNG_FORMAT_RGB;
    image.rgb.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr))
        return Image();
    image.width = (int)png.width;
    image.height = (int)png.height;
    return image;
}
