#include "tools/find_face.h"

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
static FT_Face OpenFace(FT_Library library, FcPattern* font, std::string* path, int* faceIndex)
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
    *path = (const char*)file;
    *faceIndex = index;
    return face;
}

// The bold monospaced "Courier New" or its nearest match: fontconfig sorts
// every face by closeness, the first bold monospaced one wins, else the
// nearest face that opens at all.
FT_Face FindShowFace(FT_Library library, std::string* file, int* index)
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
                face = OpenFace(library, fonts->fonts[i], file, index);
        for (int i = 0; i < fonts->nfont && face == nullptr; i++)
            face = OpenFace(library, fonts->fonts[i], file, index);
        FcFontSetDestroy(fonts);
    }
    FcPatternDestroy(wanted);
    FcConfigDestroy(config);
    return face;
}
