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

FT_Face OpenShowFaceAt(FT_Library library, float pixelHeight)
{
    if (pixelHeight == 24.0f)
        return OpenShowFace(library);
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, showFaceData, (FT_Long)showFaceSize, showFaceIndex, &face) != 0)
        return nullptr;
    // A character size at 72 dpi is a pixel size, in 1/64 pixel.
    FT_F26Dot6 size = (FT_F26Dot6)(pixelHeight * 64.0f + 0.5f);
    if (size < 64 || FT_Set_Char_Size(face, 0, size, 72, 72) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    return face;
}
