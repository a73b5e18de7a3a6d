// Resolves the GL 2.0 entry points on their first call; see gl_loader.h.
#include <windows.h>
#include "platform/win32/gl_loader.h"

#include <stdio.h>
#include <string.h>
#include "platform/platform.h"

static void EndShowForMissingEntry(const char* name)
{
    fprintf(stderr, "brinelux: the OpenGL driver offers no %s\n", name);
    PlatformRestoreDisplayMode();
    PlatformShowCursor(true);
    PlatformExit(1);
}

static BrineluxMissingGLHandler missingHandler = EndShowForMissingEntry;

void BrineluxSetMissingGLHandler(BrineluxMissingGLHandler handler)
{
    missingHandler = handler ? handler : EndShowForMissingEntry;
}

// Some drivers answer 1, 2, 3 or -1 instead of null for a name they lack.
// An entry point that opengl32.dll exports itself is not offered by
// wglGetProcAddress at all, so ask the DLL second.
static PROC LookUp(const char* name)
{
    PROC proc = wglGetProcAddress(name);
    intptr_t value = (intptr_t)proc;
    if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1) {
        HMODULE gl = GetModuleHandleA("opengl32.dll");
        proc = gl ? GetProcAddress(gl, name) : NULL;
    }
    return proc;
}

// Each stub: find the driver's function, keep it for every later call, and
// make this call through it. With nothing found the handler runs and, if it
// returns, the call yields the type's zero value.
#define BRINELUX_GL_STUB(ret, name, params, args)                                        \
    static ret APIENTRY Resolve_##name params;                                           \
    BrineluxProc_##name brinelux_##name = Resolve_##name;                                \
    static ret APIENTRY Resolve_##name params                                            \
    {                                                                                    \
        BrineluxProc_##name found = (BrineluxProc_##name)(void (*)(void))LookUp(#name);  \
        if (found == NULL) {                                                             \
            missingHandler(#name);                                                       \
            return ret();                                                                \
        }                                                                                \
        brinelux_##name = found;                                                         \
        return found args;                                                               \
    }
BRINELUX_GL_ENTRY_POINTS(BRINELUX_GL_STUB)
#undef BRINELUX_GL_STUB

bool BrineluxGLEntryResolved(const char* name)
{
#define BRINELUX_GL_CHECK(ret, entry, params, args) \
    if (strcmp(name, #entry) == 0)                  \
        return brinelux_##entry != Resolve_##entry;
    BRINELUX_GL_ENTRY_POINTS(BRINELUX_GL_CHECK)
#undef BRINELUX_GL_CHECK
    return false;
}
