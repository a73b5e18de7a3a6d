#include "tools/find_face.h"

#include <fontconfig/fontconfig.h>

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

// Liberation Mono Bold from version 2 on, by name and nothing else: its
// licence lets a program carry it, which the 1.x releases' does not, and a
// stand-in chosen by closeness would change the cards from machine to machine.
FT_Face FindShowFace(FT_Library library, std::string* file, int* index)
{
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr)
        return nullptr;
    FcPattern* wanted = FcPatternCreate();
    FcPatternAddString(wanted, FC_FAMILY, (const FcChar8*)SHOW_FACE_FAMILY);
    FcPatternAddString(wanted, FC_STYLE, (const FcChar8*)SHOW_FACE_STYLE);
    FcObjectSet* fields = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FONTVERSION, (char*)nullptr);
    FcFontSet* fonts = FcFontList(config, wanted, fields);

    FT_Face face = nullptr;
    if (fonts != nullptr) {
        for (int i = 0; i < fonts->nfont && face == nullptr; i++) {
            int version = 0;
            FcPatternGetInteger(fonts->fonts[i], FC_FONTVERSION, 0, &version);
            if (version >= SHOW_FACE_MIN_VERSION << 16)
                face = OpenFace(library, fonts->fonts[i], file, index);
        }
        FcFontSetDestroy(fonts);
    }
    FcObjectSetDestroy(fields);
    FcPatternDestroy(wanted);
    FcConfigDestroy(config);
    return face;
}
