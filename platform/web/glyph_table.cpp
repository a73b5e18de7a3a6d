// Build-time tool of the web build: writes the glyph table (glyphs.h) as C++
// source on standard output, rendered exactly as the desktop's font lists
// render them.
#include "platform/freetype/show_face.h"

#include <stdio.h>

static void Row(FILE* out, int16_t width, int16_t rows, float xorig, float yorig, float advance, unsigned bits)
{
    fprintf(out, "    {%d, %d, %.9g, %.9g, %.9g, %u},\n", width, rows, xorig, yorig, advance, bits);
}

int main()
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0)
        face = FindShowFace(library);
    printf("// Generated at build time by glyph_table. Do not edit.\n#include \"platform/web/glyphs.h\"\n\n");
    if (face == nullptr) {
        fprintf(stderr, "glyph_table: no bold monospaced face; the web cards will show no text\n");
        printf("const bool webGlyphsFound = false;\nconst WebGlyph webGlyphs[WEB_GLYPH_COUNT] = {};\n"
               "const uint8_t webGlyphBits[1] = {0};\n");
        return 0;
    }
    static unsigned char bits[96 * 64 * 8];
    unsigned used = 0;
    printf("const bool webGlyphsFound = true;\nconst WebGlyph webGlyphs[WEB_GLYPH_COUNT] = {\n");
    for (unsigned code = 32; code < 128; code++) {
        // The same cases as the desktop's lists: a glyph that fails to load
        // advances by the widest advance, a blank or non-mono one only advances.
        if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
            Row(stdout, 0, 0, 0, 0, (float)face->size->metrics.max_advance / 64.0f, used);
            continue;
        }
        FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        float advance = (float)glyph->advance.x / 64.0f;
        int width = (int)bitmap.width;
        int rows = (int)bitmap.rows;
        int rowBytes = (width + 7) / 8;
        if (width == 0 || rows == 0 || bitmap.buffer == nullptr || bitmap.pixel_mode != FT_PIXEL_MODE_MONO ||
            used + (unsigned)(rowBytes * rows) > sizeof bits) {
            Row(stdout, 0, 0, 0, 0, advance, used);
            continue;
        }
        for (int r = 0; r < rows; r++) {
            const unsigned char* src = bitmap.pitch >= 0 ? bitmap.buffer + (size_t)r * bitmap.pitch
                                                         : bitmap.buffer + (size_t)(rows - 1 - r) * -bitmap.pitch;
            for (int b = 0; b < rowBytes; b++)
                bits[used + (rows - 1 - r) * rowBytes + b] = src[b];
        }
        Row(stdout, (int16_t)width, (int16_t)rows, (float)-glyph->bitmap_left, (float)(rows - glyph->bitmap_top),
            advance, used);
        used += (unsigned)(rowBytes * rows);
    }
    printf("};\nconst uint8_t webGlyphBits[%u] = {", used > 0 ? used : 1);
    for (unsigned i = 0; i < used; i++)
        printf("%s%u,", i % 24 == 0 ? "\n    " : "", bits[i]);
    printf("%s\n};\n", used > 0 ? "" : "0");
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return 0;
}
