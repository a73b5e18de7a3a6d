// Build-time choice of the face the show's text is drawn in: Liberation Mono
// Bold 2 or later (SIL Open Font License 1.1), the same metrics as the bold
// "Courier New" the cards were designed in. The desktop builds embed its
// file; the web build renders its glyph table from it. The programs
// themselves never consult the machine's fonts.
#pragma once

#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#define SHOW_FACE_FAMILY "Liberation Mono"
#define SHOW_FACE_STYLE "Bold"
#define SHOW_FACE_MIN_VERSION 2
// The one line a build without the face stops with.
#define SHOW_FACE_MISSING "no Liberation Mono Bold 2 (or later) on this machine: install fonts-liberation2 and build again"

// Opens the face at a 24-pixel character height and gives its file and index
// within it; null when it is not installed or does not open.
FT_Face FindShowFace(FT_Library library, std::string* file, int* index);
