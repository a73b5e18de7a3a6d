#include "render/render.h"

#include <string.h>

GLuint fontListBase;

void BuildFont()
{
    fontListBase = glGenLists(96);
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
