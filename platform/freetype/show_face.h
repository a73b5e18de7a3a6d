// The face the show's text is drawn in: the bold monospaced "Courier New" or
// its nearest match. The font lists of the desktop and the glyph table built
// into the web page both come from here, so both draw the same pixels.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

// Opens that face at a 24-pixel character height; null when no face opens.
FT_Face FindShowFace(FT_Library library);
