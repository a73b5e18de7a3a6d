// The show's 96 glyphs (codes 32 to 127), rasterised from the desktop's face
// when the web build is made, at every whole pixel size the page can draw
// its cards at, so the page draws the desktop's pixels without a font of
// its own.
#pragma once

#include <stdint.h>

// Sizes 1 to WEB_GLYPH_PPEM_MAX pixels per em: 68 is the text of a picture
// 2160 rows high (24 pixels on 768), the largest the page draws.
enum { WEB_GLYPH_FIRST = 32, WEB_GLYPH_COUNT = 96, WEB_GLYPH_PPEM_MAX = 68 };

// Each size's glyphs lie in webGlyphData from webGlyphSizeStart[size], one
// after the other, each as:
//   width, rows (bytes), xorig, yorig (signed bytes: glBitmap's origin, the
//   raster position's place in the bitmap from its lower-left corner);
//   (rows + 7) / 8 bytes of flags, bit r of byte r / 8 set where row r is
//   the same as row r - 1;
//   the other rows, bottom first, (width + 7) / 8 bytes each, one bit a
//   pixel, most significant first.
extern const uint32_t webGlyphSizeStart[WEB_GLYPH_PPEM_MAX + 2];
extern const uint8_t webGlyphData[];
// The advances at 24 pixels; other heights scale them.
extern const float webGlyphAdvance24[WEB_GLYPH_COUNT];
// False when the build found no face; the cards then show no text.
extern const bool webGlyphsFound;
