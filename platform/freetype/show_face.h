// The face the show's text is drawn in: Liberation Mono Bold, metrically the
// bold monospaced "Courier New", found when the program was built and
// carried inside it, so that the cards are the same pixels on every machine
// whatever fonts it has. The font lists of the desktop and the glyph table
// built into the web page both render through here: both draw the same pixels.
#pragma once

#include <stddef.h>
#include <ft2build.h>
#include FT_FREETYPE_H

// The face's file as the build found it (generated at build time).
extern const unsigned char showFaceData[];
extern const size_t showFaceSize;
extern const int showFaceIndex;

// Opens the carried face at a 24-pixel character height; null when it does
// not open.
FT_Face OpenShowFace(FT_Library library);
// The same at pixelHeight pixels (fractions of a pixel count), for cards on
// a surface of another size.
FT_Face OpenShowFaceAt(FT_Library library, float pixelHeight);

// One glyph as the cards draw it: width x rows one-bit pixels whose origin
// (the raster position) is xorig, yorig from the bitmap's bottom left, then
// the pen moves by advance. width and rows 0: a glyph that only advances.
struct ShowGlyph {
    int width;
    int rows;
    float xorig;
    float yorig;
    float advance;
};

// Renders code of face into glyph and its rows, bottom first and packed to
// (width + 7) / 8 bytes, into bits (capacity bytes). Returns the bytes used.
// A glyph that fails to load advances by the face's widest advance; a blank
// one (the space), one with no one-bit pixels, or one too large for bits
// only advances.
size_t RenderShowGlyph(FT_Face face, unsigned long code, ShowGlyph* glyph, unsigned char* bits, size_t capacity);
