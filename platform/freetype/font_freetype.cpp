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

// Mesa fails a glBitmap recorded into a list with a null pointer, even at
// size 0, so empty glyphs point here.
static const GLubyte emptyGlyph[4] = {0, 0, 0, 0};

// Records one glyph: its bitmap with the raster position at the left end of
// the baseline, then the advance. A glyph with no pixels is recorded with a
// non-null empty bitmap: a null one inside a list is an error on Mesa.
static void CompileGlyph(FT_Face face, unsigned long code)
{
    static GLubyte bits[8192];
    ShowGlyph glyph;
    if (RenderShowGlyph(face, code, &glyph, bits, sizeof bits) == 0)
        glBitmap(0, 0, 0, 0, glyph.advance, 0, emptyGlyph);
    else
        glBitmap(glyph.width, glyph.rows, glyph.xorig, glyph.yorig, glyph.advance, 0, bits);
}

bool PlatformUseFontBitmaps(uint32_t first, uint32_t count, uint32_t listBase)
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0)
        face = OpenShowFace(library);
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
    for (uint32_t i = 0; i < count; i++) {
        glNewList(listBase + i, GL_COMPILE);
        CompileGlyph(face, first + i);
        glEndList();
    }
    glPopClientAttrib();

    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return true;
}
