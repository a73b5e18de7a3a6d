/* Preloaded into the show by the end-to-end test: after the third buffer swap
 * it makes one invalid GL call, so the show meets an OpenGL error it did not
 * cause itself. Nothing in the show knows about it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stddef.h>

typedef void (*SwapFn)(void*);
typedef void (*EnableFn)(unsigned int);

void SDL_GL_SwapWindow(void* window)
{
    static int swaps;
    SwapFn real = (SwapFn)dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    if (++swaps == 3) {
        void* gl = dlopen("libGL.so.1", RTLD_LAZY | RTLD_NOLOAD);
        EnableFn enable = gl ? (EnableFn)dlsym(gl, "glEnable") : NULL;
        if (enable)
            enable(0x1234); /* no such capability: GL_INVALID_ENUM */
    }
}
