#include "tools/capture/encode.h"

#include <png.h>

#include "platform/sound_ring.h"

static void PngToVector(png_structp png, png_bytep data, png_size_t length)
{
    std::vector<uint8_t>* out = (std::vector<uint8_t>*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + length);
}

static void PngFlush(png_structp) {}

bool EncodePng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* out)
{
    out->clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png ? png_create_info_struct(png) : NULL;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, PngToVector, PngFlush);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, (png_const_bytep)(rgb + (size_t)y * width * 3));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

static void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.push_back((uint8_t)(value >> (8 * i)));
}

bool EncodeWav(const int16_t* samples, size_t count, std::vector<uint8_t>* out)
{
    if (count > (0xFFFFFFFFu - 36) / 2)
        return false;
    uint32_t dataBytes = (uint32_t)(count * 2);
    out->clear();
    out->reserve(44 + (size_t)dataBytes);
    out->insert(out->end(), {'R', 'I', 'F', 'F'});
    PutLE(*out, 36 + dataBytes, 4);
    out->insert(out->end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(*out, 16, 4);
    PutLE(*out, 1, 2);         // PCM
    PutLE(*out, 1, 2);         // mono
    PutLE(*out, SOUND_SAMPLE_RATE, 4);     // samples per second
    PutLE(*out, SOUND_SAMPLE_RATE * 2, 4); // bytes per second
    PutLE(*out, 2, 2);         // block align
    PutLE(*out, 16, 2);        // bits per sample
    out->insert(out->end(), {'d', 'a', 't', 'a'});
    PutLE(*out, dataBytes, 4);
    for (size_t i = 0; i < count; i++)
        PutLE(*out, (uint16_t)samples[i], 2);
    return true;
}
