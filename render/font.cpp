#include "render/render.h"

#include <stdio.h>
#include <string.h>

GLuint fontListBase;

float FontPixelHeight() { return 24.0f * (float)surfaceHeight / 768.0f; }

// The lists at the surface's height. The FreeType and web backends give
// other heights; the Windows backend draws the show at its own size, and
// anywhere else would give its 24-pixel glyphs.
static bool MakeFontLists()
{
#if defined(BRINELUX_FONT_SIZES)
    float height = FontPixelHeight();
    if (height != 24.0f)
        return PlatformUseFontBitmapsAt(32, 96, fontListBase, height);
#endif
    return PlatformUseFontBitmaps(32, 96, fontListBase);
}

// 96 lists that draw and move nothing: the show goes on without text.
static void EmptyFontLists()
{
    for (GLuint i = 0; i < 96; i++) {
        glNewList(fontListBase + i, GL_COMPILE);
        glEndList();
    }
}

void BuildFont()
{
    fontListBase = glGenLists(96);
    if (fontListBase == 0) {
        fprintf(stderr, "brinelux: no display lists for the font; the cards will show no text\n");
        return;
    }
    if (MakeFontLists())
        return;
    fprintf(stderr, "brinelux: no usable font found; the cards will show no text\n");
    EmptyFontLists();
}

void RemakeFontLists()
{
    // No lists were ever made: there is nothing to remake.
    if (fontListBase == 0)
        return;
    if (!MakeFontLists())
        EmptyFontLists();
}

void PrintText(const char* text)
{
    if (text == nullptr)
        return;
    glPushAttrib(GL_LIST_BIT);
    glListBase(fontListBase - 32);
    glCallLists((GLsizei)strlen(text), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}
