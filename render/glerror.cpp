#include "render/render.h"

#include <stdio.h>
#include <string.h>
#include "state/shared.h"
#include "platform/platform.h"

bool glErrorReported = false;

static const char* ErrorName(GLenum code)
{
    switch (code) {
    case 1280: return "INVALID_ENUM";
    case 1281: return "INVALID_VALUE";
    case 1282: return "INVALID_OPERATION";
    case 1283: return "STACK OVERFLOW";
    case 1284: return "STACK UNDERFLOW";
    case 1285: return "OUT_OF_MEMORY";
    case 1286: return "INVALID_FRAMEBUFFER_OPERATION";
    default: return "unknown";
    }
}

bool CheckGLError(const char* label)
{
    char error[40];
    char s[200];
    GLenum code = glGetError();
    bool reported = false;
    while (code != GL_NO_ERROR) {
        strcpy(error, ErrorName(code));
        // snprintf rather than sprintf: a label longer than the line's room is
        // cut instead of running past the buffer.
        snprintf(s, sizeof s, "%s : %s %i", label, error, (int)code);
        PlatformDebugOutput(s);
        RequestQuit();
        glErrorReported = true;
        printf("%s", s);
        code = glGetError();
        reported = true;
    }
    return reported;
}
