#include "platform/freetype/show_face.h"

#include <string.h>

#include <fontconfig/fontconfig.h>

static bool BoldMonospaced(FcPattern* font)
{
    int spacing = FC_PROPORTIONAL;
    int weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(font, FC_SPACING, 0, &spacing);
    FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
    return spacing >= FC_MONO && weight >= FC_WEIGHT_BOLD;
}

// Opens a face at a 24-pixel character height, or returns null when the file
// cannot be read or has no such size.
static FT_Face OpenFace(FT_Library library, FcPattern* font)
{
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch)
        return nullptr;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    FT_Face face = nullptr;
    if (FT_New_Face(library, (const char*)file, index, &face) != 0)
        return nullptr;
    if (FT_Set_Pixel_Sizes(face, 0, 24) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    return face;
}

// The bold monospaced "Courier New" or its nearest match: fontconfig sorts
// every face by closeness, the first bold monospaced one wins, else the
// nearest face that opens at all.
FT_Face FindShowFace(FT_Library library)
{
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr)
        return nullptr;
    FcPattern* wanted = FcPatternCreate();
    FcPatternAddString(wanted, FC_FAMILY, (const FcChar8*)"Courier New");
    FcPatternAddInteger(wanted, FC_WEIGHT, FC_WEIGHT_BOLD);
    FcPatternAddInteger(wanted, FC_SPACING, FC_MONO);
    FcConfigSubstitute(config, wanted, FcMatchPattern);
    FcDefaultSubstitute(wanted);
    FcResult result = FcResultNoMatch;
    FcFontSet* fonts = FcFontSort(config, wanted, FcTrue, nullptr, &result);

    FT_Face face = nullptr;
    if (fonts != nullptr) {
        for (int i = 0; i < fonts->nfont && face == nullptr; i++)
            if (BoldMonospaced(fonts->fonts[i]))
                face = OpenFace(library, fonts->fonts[i]);
        for (int i = 0; i < fonts->nfont && face == nullptr; i++)
            face = OpenFace(library, fonts->fonts[i]);
        FcFontSetDestroy(fonts);
    }
    FcPatternDestroy(wanted);
    FcConfigDestroy(config);
    return face;
}

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
