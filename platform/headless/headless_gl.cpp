#include "platform/headless/headless_gl.h"

#include <epoxy/egl.h>
#include <stdio.h>
#include <string.h>

static char headlessError[256];
static GLuint framebuffer;

static bool Fail(const char* what)
{
    EGLint error = eglGetError();
    if (error == EGL_SUCCESS)
        snprintf(headlessError, sizeof headlessError, "%s", what);
    else
        snprintf(headlessError, sizeof headlessError, "%s (EGL error 0x%04x)", what, error);
    return false;
}

static EGLDisplay OpenDevice(EGLDeviceEXT device)
{
    EGLDisplay d = eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, device, NULL);
    EGLint major, minor;
    return d != EGL_NO_DISPLAY && eglInitialize(d, &major, &minor) ? d : EGL_NO_DISPLAY;
}

static bool HasClientExtension(const char* name)
{
    return epoxy_has_egl_extension(EGL_NO_DISPLAY, name);
}

// EGL's device platform: a GPU where there is one, else Mesa's software
// device; Mesa's surfaceless platform where devices cannot be enumerated.
// Every extension is checked before its entry point is called: libepoxy
// aborts the process on a call that no EGL vendor provides.
static EGLDisplay OpenDisplay()
{
    EGLDisplay display = EGL_NO_DISPLAY;
    if (!HasClientExtension("EGL_EXT_platform_base"))
        return display;
    if (HasClientExtension("EGL_EXT_device_enumeration") && HasClientExtension("EGL_EXT_device_query") &&
        HasClientExtension("EGL_EXT_platform_device")) {
        EGLDeviceEXT devices[16];
        EGLint count = 0;
        if (eglQueryDevicesEXT(16, devices, &count)) {
            for (int software = 0; software < 2 && display == EGL_NO_DISPLAY; software++)
                for (EGLint i = 0; i < count && display == EGL_NO_DISPLAY; i++) {
                    const char* ext = eglQueryDeviceStringEXT(devices[i], EGL_EXTENSIONS);
                    bool isSoftware = ext && strstr(ext, "EGL_MESA_device_software");
                    if (isSoftware == (software == 1))
                        display = OpenDevice(devices[i]);
                }
        }
    }
    if (display == EGL_NO_DISPLAY && HasClientExtension("EGL_MESA_platform_surfaceless")) {
        EGLDisplay d = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, NULL);
        EGLint major, minor;
        if (d != EGL_NO_DISPLAY && eglInitialize(d, &major, &minor))
            display = d;
    }
    return display;
}
// Whether the bound renderbuffer got the storage asked for; drains the error
// queue, counting GL_OUT_OF_MEMORY anywhere in it as a failed allocation.
static bool Stored(GLint width, GLint height)
{
    bool memory = false;
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError())
        memory = memory || e == GL_OUT_OF_MEMORY;
    GLint w = 0, h = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &w);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &h);
    while (glGetError() != GL_NO_ERROR) {
    }
    return !memory && w == width && h == height;
}


bool HeadlessCreateContext(int width, int height)
{
    EGLDisplay display = OpenDisplay();
    if (display == EGL_NO_DISPLAY)
        return Fail("no EGL display could be opened (no EGL driver offers a device or surfaceless display)");
    if (!eglBindAPI(EGL_OPENGL_API))
        return Fail("EGL offers no desktop OpenGL");
    const EGLint attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                              EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display, attribs, &config, 1, &count) || count == 0)
        return Fail("no EGL config for desktop OpenGL");
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, NULL);
    if (context == EGL_NO_CONTEXT)
        return Fail("no OpenGL context could be created");
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
        return Fail("the OpenGL context could not be made current");
    if (epoxy_gl_version() < 20) {
        snprintf(headlessError, sizeof headlessError, "OpenGL 2.0 is needed, the driver offers %d.%d",
                 epoxy_gl_version() / 10, epoxy_gl_version() % 10);
        return false;
    }

    // A size beyond the driver's limits would give an incomplete or a
    // partly drawn framebuffer: say what it offers instead.
    GLint largest = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    GLint most[2] = {largest < viewport[0] ? largest : viewport[0], largest < viewport[1] ? largest : viewport[1]};
    if (width > most[0] || height > most[1]) {
        snprintf(headlessError, sizeof headlessError,
                 "the OpenGL driver draws at most %dx%d pixels, not %dx%d", most[0], most[1], width, height);
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
    }

    // Each allocation checked on its own: one error flag read after both
    // could be another's, and a driver short of memory may record nothing
    // and leave the storage empty, which then reads as "incomplete".
    GLuint colour, depth;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    bool stored = Stored(width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    stored = Stored(width, height) && stored;
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    if (!stored) {
        snprintf(headlessError, sizeof headlessError, "the OpenGL driver has no memory for %dx%d pixels", width,
                 height);
        return false;
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        snprintf(headlessError, sizeof headlessError, "the %dx%d framebuffer is incomplete", width, height);
        return false;
    }
    glViewport(0, 0, width, height);
    // Leave a clean error queue: the show's checks must see only their own.
    while (glGetError() != GL_NO_ERROR) {
    }
    return true;
}

GLuint HeadlessFramebuffer() { return framebuffer; }
const char* HeadlessError() { return headlessError; }

const char* HeadlessRenderer()
{
    const GLubyte* r = glGetString(GL_RENDERER);
    return r ? (const char*)r : "unknown renderer";
}
