// Build-time choice of the face the show's text is drawn in: the bold
// monospaced "Courier New" or its nearest match among this machine's fonts.
// The desktop builds embed the chosen file; the web build renders its glyph
// table from it. The programs themselves never consult the machine's fonts.
#pragma once

#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

// Opens the chosen face at a 24-pixel character height and gives its file
// and index within it; null when no face opens.
FT_Face FindShowFace(FT_Library library, std::string* file, int* index);
