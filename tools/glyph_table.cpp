// Build-time tool of the web build: writes the glyph table (glyphs.h) as C++
// source on standard output, rendered exactly as the desktop's font lists
// render them, at every whole pixel size from 1 to WEB_GLYPH_PPEM_MAX.
//
// The cards' text is 24 pixels high on 768 rows and scales with the
// surface. The face forces whole pixels per em (its head table's flag 3),
// so FreeType draws a fractional height as the nearest whole size: a table
// of whole sizes gives the page every height the desktop can draw.
#include "platform/freetype/show_face.h"
#include "platform/web/glyphs.h"
#include "tools/find_face.h"

#include FT_TRUETYPE_TABLES_H
#include <stdio.h>
#include <string.h>
#include <vector>

// One size's glyphs in the table's packing (glyphs.h).
static void PackSize(FT_Face face, std::vector<uint8_t>* out)
{
    static unsigned char bits[256 * 256 / 8];
    for (unsigned code = WEB_GLYPH_FIRST; code < WEB_GLYPH_FIRST + WEB_GLYPH_COUNT; code++) {
        ShowGlyph glyph;
        size_t bytes = RenderShowGlyph(face, code, &glyph, bits, sizeof bits);
        int width = bytes > 0 ? glyph.width : 0, rows = bytes > 0 ? glyph.rows : 0;
        if (width > 255 || rows > 255 || glyph.xorig < -128 || glyph.xorig > 127 || glyph.yorig < -128 ||
            glyph.yorig > 127) {
            fprintf(stderr, "glyph_table: glyph %u does not fit the table's packing\n", code);
            width = rows = 0;
        }
        out->push_back((uint8_t)width);
        out->push_back((uint8_t)rows);
        out->push_back((uint8_t)(int8_t)(width > 0 ? glyph.xorig : 0));
        out->push_back((uint8_t)(int8_t)(width > 0 ? glyph.yorig : 0));
        size_t rowBytes = (size_t)(width + 7) / 8;
        size_t flags = out->size();
        out->resize(flags + (size_t)(rows + 7) / 8, 0);
        for (int r = 0; r < rows; r++) {
            const unsigned char* row = bits + (size_t)r * rowBytes;
            if (r > 0 && memcmp(row, row - rowBytes, rowBytes) == 0)
                (*out)[flags + (size_t)r / 8] |= (uint8_t)(1u << (r % 8));
            else
                out->insert(out->end(), row, row + rowBytes);
        }
    }
}

int main()
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string file;
    int index = 0;
    if (FT_Init_FreeType(&library) == 0)
        face = FindShowFace(library, &file, &index);
    if (face == nullptr) {
        fprintf(stderr, "glyph_table: " SHOW_FACE_MISSING "\n");
        return 1;
    }
    printf("// Generated at build time by glyph_table. Do not edit.\n#include \"platform/web/glyphs.h\"\n\n");
    const TT_Header* head = (const TT_Header*)FT_Get_Sfnt_Table(face, FT_SFNT_HEAD);
    if (head == nullptr || (head->Flags & 8) == 0)
        fprintf(stderr, "glyph_table: %s does not force whole pixel sizes: the page's cards match the "
                        "desktop's only at heights of whole pixels\n", file.c_str());

    // The advances at 24 pixels: every other height scales them, as the
    // desktop's lists do.
    static unsigned char bits[256 * 256 / 8];
    printf("const bool webGlyphsFound = true;\nconst float webGlyphAdvance24[WEB_GLYPH_COUNT] = {");
    for (unsigned code = WEB_GLYPH_FIRST; code < WEB_GLYPH_FIRST + WEB_GLYPH_COUNT; code++) {
        ShowGlyph glyph;
        RenderShowGlyph(face, code, &glyph, bits, sizeof bits);
        printf("%s%.9g,", code % 8 == 0 ? "\n    " : " ", glyph.advance);
    }
    printf("\n};\n");

    std::vector<uint8_t> data;
    std::vector<uint32_t> start(1, 0);
    for (int ppem = 1; ppem <= WEB_GLYPH_PPEM_MAX; ppem++) {
        start.push_back((uint32_t)data.size());
        if (FT_Set_Char_Size(face, 0, (FT_F26Dot6)ppem * 64, 72, 72) != 0) {
            fprintf(stderr, "glyph_table: the face has no size of %d pixels\n", ppem);
            return 1;
        }
        PackSize(face, &data);
    }
    start.push_back((uint32_t)data.size());
    printf("const uint32_t webGlyphSizeStart[WEB_GLYPH_PPEM_MAX + 2] = {");
    for (size_t i = 0; i < start.size(); i++)
        printf("%s%u,", i % 8 == 0 ? "\n    " : " ", start[i]);
    printf("\n};\nconst uint8_t webGlyphData[%zu] = {", data.size());
    for (size_t i = 0; i < data.size(); i++)
        printf("%s%u,", i % 24 == 0 ? "\n    " : "", data[i]);
    printf("\n};\n");
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return 0;
}
