// Bitmap font lists from FreeType and fontconfig, for the backends that
// have no system call making them (everything but Win32).
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
// the baseline, then the advance. A glyph that fails to render keeps its
// advance so the text after it stays in its columns.
static void CompileGlyph(FT_Face face, unsigned long code)
{
    if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
        glBitmap(0, 0, 0, 0, (float)face->size->metrics.max_advance / 64.0f, 0, emptyGlyph);
        return;
    }
    FT_GlyphSlot glyph = face->glyph;
    const FT_Bitmap& bitmap = glyph->bitmap;
    float advance = (float)glyph->advance.x / 64.0f;
    int width = (int)bitmap.width;
    int rows = (int)bitmap.rows;
    int rowBytes = (width + 7) / 8;
    // Blank glyphs (the space) come with no pixels at all; a face with only
    // grey or colour strikes gives no one-bit pixels: both just advance.
    if (width == 0 || rows == 0 || bitmap.buffer == nullptr || bitmap.pixel_mode != FT_PIXEL_MODE_MONO) {
        glBitmap(0, 0, 0, 0, advance, 0, emptyGlyph);
        return;
    }

    // FreeType's rows run from the top (a negative pitch means from the
    // bottom already); GL wants them from the bottom, packed tight.
    GLubyte* flipped = (GLubyte*)malloc((size_t)rowBytes * rows);
    if (flipped == nullptr) {
        glBitmap(0, 0, 0, 0, advance, 0, emptyGlyph);
        return;
    }
    int pitch = bitmap.pitch;
    for (int r = 0; r < rows; r++) {
        const unsigned char* src = pitch >= 0 ? bitmap.buffer + (size_t)r * pitch
                                              : bitmap.buffer + (size_t)(rows - 1 - r) * -pitch;
        memcpy(flipped + (size_t)(rows - 1 - r) * rowBytes, src, rowBytes);
    }
    glBitmap(width, rows, (float)-glyph->bitmap_left, (float)(rows - glyph->bitmap_top), advance, 0, flipped);
    free(flipped);
}

bool PlatformUseFontBitmaps(uint32_t first, uint32_t count, uint32_t listBase)
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0)
        face = FindShowFace(library);
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
