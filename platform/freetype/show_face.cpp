#include "platform/freetype/show_face.h"

#include <string.h>

size_t RenderShowGlyph(FT_Face face, unsigned long code, ShowGlyph* glyph, unsigned char* bits, size_t capacity)
{
    glyph->width = glyph->rows = 0;
    glyph->xorig = glyph->yorig = 0.0f;
    if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
        // Keeps the text after it in its columns.
        glyph->advance = (float)face->size->metrics.max_advance / 64.0f;
        return 0;
    }
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph->advance = (float)slot->advance.x / 64.0f;
    int width = (int)bitmap.width;
    int rows = (int)bitmap.rows;
    size_t rowBytes = (size_t)(width + 7) / 8;
    if (width == 0 || rows == 0 || bitmap.buffer == nullptr || bitmap.pixel_mode != FT_PIXEL_MODE_MONO ||
        rowBytes * (size_t)rows > capacity)
        return 0;
    // FreeType's rows run from the top (a negative pitch means from the
    // bottom already); the cards want them from the bottom, packed tight.
    int pitch = bitmap.pitch;
    for (int r = 0; r < rows; r++) {
        const unsigned char* src = pitch >= 0 ? bitmap.buffer + (size_t)r * pitch
                                              : bitmap.buffer + (size_t)(rows - 1 - r) * -pitch;
        memcpy(bits + (size_t)(rows - 1 - r) * rowBytes, src, rowBytes);
    }
    glyph->width = width;
    glyph->rows = rows;
    glyph->xorig = (float)-slot->bitmap_left;
    glyph->yorig = (float)(rows - slot->bitmap_top);
    return rowBytes * (size_t)rows;
}
