// The show's 96 glyphs (codes 32 to 127), rasterised from the desktop's face
// when the web build is made, so the page draws the same pixels without a
// font of its own.
#pragma once

#include <stdint.h>

struct WebGlyph {
    int16_t width;  // pixels; 0 for a glyph that only advances
    int16_t rows;
    float xorig;    // as glBitmap takes them: the raster position's place
    float yorig;    // inside the bitmap, counted from its lower-left corner
    float advance;
    uint32_t bits;  // first byte in webGlyphBits: rows bottom-up, one bit a
                    // pixel, most significant first, (width + 7) / 8 bytes a row
};

enum { WEB_GLYPH_FIRST = 32, WEB_GLYPH_COUNT = 96 };

extern const WebGlyph webGlyphs[WEB_GLYPH_COUNT];
extern const uint8_t webGlyphBits[];
// False when the build found no face; the cards then show no text.
extern const bool webGlyphsFound;
