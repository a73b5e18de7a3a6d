// An OpenGL compatibility context with no window and no display: EGL on a
// GPU device where one exists, else Mesa's surfaceless platform, drawing into
// a framebuffer object that stands in for the window.
#pragma once

#include <epoxy/gl.h>

// Creates the context, makes it current and binds a width x height RGBA8
// framebuffer (with depth) as the draw target, viewport set to match.
// Returns false with a one-line reason in HeadlessError() on failure.
bool HeadlessCreateContext(int width, int height);
// Name of the framebuffer object standing in for the window.
GLuint HeadlessFramebuffer();
const char* HeadlessError();
// Description of the renderer, for reports ("llvmpipe ...", GPU name).
const char* HeadlessRenderer();
