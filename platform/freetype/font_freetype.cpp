// Bitmap font lists from FreeType and the face built into the program, for
// the backends that have no system call making them (everything but Win32).
#include "platform/platform.h"
#include "platform/freetype/show_face.h"

#include <epoxy/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

// Mesa fails a glBitmap recorded into a list with a null pointer, even at
// size 0, so empty glyphs point here.
static const GLubyte emptyGlyph[4] = {0, 0, 0, 0};

// Records one glyph: its bitmap with the raster position at the left end of
// the baseline, then the advance. A glyph with no pixels is recorded with a
// non-null empty bitmap: a null one inside a list is an error on Mesa.
// advance 0 keeps the face's own.
static void CompileGlyph(FT_Face face, unsigned long code, float advance, std::vector<GLubyte>& bits)
{
    ShowGlyph glyph;
    size_t used = RenderShowGlyph(face, code, &glyph, bits.data(), bits.size());
    float move = advance > 0.0f ? advance : glyph.advance;
    if (used == 0)
        glBitmap(0, 0, 0, 0, move, 0, emptyGlyph);
    else
        glBitmap(glyph.width, glyph.rows, glyph.xorig, glyph.yorig, move, 0, bits.data());
}

// The advance of the 24-pixel face, scaled: the text of a card drawn at
// another height then starts every character where the 24-pixel card has
// it, scaled, whatever the larger face's own rounding.
static float ScaledAdvance(FT_Face unit, unsigned long code, float pixelHeight)
{
    static GLubyte bits[8192];
    ShowGlyph glyph;
    RenderShowGlyph(unit, code, &glyph, bits, sizeof bits);
    return glyph.advance * pixelHeight / 24.0f;
}

bool PlatformUseFontBitmaps(uint32_t first, uint32_t count, uint32_t listBase)
{
    return PlatformUseFontBitmapsAt(first, count, listBase, 24.0f);
}

bool PlatformUseFontBitmapsAt(uint32_t first, uint32_t count, uint32_t listBase, float pixelHeight)
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0)
        face = OpenShowFaceAt(library, pixelHeight);
    if (face == nullptr) {
        if (library != nullptr)
            FT_Done_FreeType(library);
        return false;
    }

    // The bitmaps are one-bit rows packed to bytes, most significant bit
    // first; whatever unpacking state the caller had is put back afterwards.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    // Room for the largest glyph: a face's glyphs fit in two ems square.
    size_t em = (size_t)(pixelHeight + 1.0f);
    std::vector<GLubyte> bits((2 * em + 8) / 8 * 2 * em + 8192);
    FT_Face unit = pixelHeight == 24.0f ? nullptr : OpenShowFace(library);
    for (uint32_t i = 0; i < count; i++) {
        float advance = unit != nullptr ? ScaledAdvance(unit, first + i, pixelHeight) : 0.0f;
        glNewList(listBase + i, GL_COMPILE);
        CompileGlyph(face, first + i, advance, bits);
        glEndList();
    }
    glPopClientAttrib();

    if (unit != nullptr)
        FT_Done_Face(unit);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return true;
}
