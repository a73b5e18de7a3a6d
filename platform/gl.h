// The OpenGL entry points the show calls: OpenGL 1.1 plus the shading
// interface of 2.0. libepoxy supplies them where it exists; the Windows
// build resolves the 2.0 ones itself on their first call. The web build
// (BRINELUX_GLES) has WebGL 1 and stands in for the few 1.1 calls the cards use.
#pragma once

#if defined(_WIN32)
#include "platform/win32/gl_loader.h"
#elif defined(BRINELUX_GLES)
#include "platform/web/gl_web.h"
#else
#include <epoxy/gl.h>
#endif
