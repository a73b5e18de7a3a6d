#include "platform/freetype/show_face.h"

FT_Face OpenShowFace(FT_Library library)
{
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, showFaceData, (FT_Long)showFaceSize, showFaceIndex, &face) != 0)
        return nullptr;
    if (FT_Set_Pixel_Sizes(face, 0, 24) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    return face;
}
