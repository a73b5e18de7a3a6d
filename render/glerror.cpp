#include "render/render.h"

#include <stdio.h>
#include <string.h>
#include "state/shared.h"
#include "platform/platform.h"

#if defined(__EMSCRIPTEN__)
#include <emscripten/html5.h>
#endif

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
#if defined(__EMSCRIPTEN__)
    // A browser can take a page's WebGL context away (a GPU reset, a driver
    // update): no fault of the program's, and the page rebuilds once it is
    // given back. What the lost context reports says nothing.
    if (emscripten_is_webgl_context_lost(emscripten_webgl_get_current_context())) {
        while (glGetError() != GL_NO_ERROR) {
        }
        return false;
    }
#endif
    char error[40];
    char s[200];
    GLenum code = glGetError();
    bool reported = false;
    while (code != GL_NO_ERROR) {
        strcpy(error, ErrorName(code));
        // snprintf rather than sprintf: a label longer than the line's room is
        // cut instead of running past the buffer. Each error is a line of its
        // own, its end kept even when cut, so none runs into the next line.
        snprintf(s, sizeof s - 1, "%s : %s %i", label, error, (int)code);
        strcat(s, "\n");
        PlatformDebugOutput(s);
        RequestQuit();
        glErrorReported = true;
        printf("%s", s);
        code = glGetError();
        reported = true;
    }
    return reported;
}
