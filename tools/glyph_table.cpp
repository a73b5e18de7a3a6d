// Build-time tool of the web build: writes the glyph table (glyphs.h) as C++
// source on standard output, rendered exactly as the desktop's font lists
// render them.
#include "platform/freetype/show_face.h"
#include "tools/find_face.h"

#include <stdio.h>

static void Row(FILE* out, int16_t width, int16_t rows, float xorig, float yorig, float advance, unsigned bits)
{
    fprintf(out, "    {%d, %d, %.9g, %.9g, %.9g, %u},\n", width, rows, xorig, yorig, advance, bits);
}

int main()
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string file;
    int index = 0;
    if (FT_Init_FreeType(&library) == 0)
        face = FindShowFace(library, &file, &index);
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
        // Exactly the glyphs the desktop's font lists record.
        ShowGlyph glyph;
        size_t bytes = RenderShowGlyph(face, code, &glyph, bits + used, sizeof bits - used);
        Row(stdout, (int16_t)glyph.width, (int16_t)glyph.rows, glyph.xorig, glyph.yorig, glyph.advance, used);
        used += (unsigned)bytes;
    }
    printf("};\nconst uint8_t webGlyphBits[%u] = {", used > 0 ? used : 1);
    for (unsigned i = 0; i < used; i++)
        printf("%s%u,", i % 24 == 0 ? "\n    " : "", bits[i]);
    printf("%s\n};\n", used > 0 ? "" : "0");
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return 0;
}
