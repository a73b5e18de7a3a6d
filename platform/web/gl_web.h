// OpenGL on the web: WebGL 1 through the GLES 2 entry points, plus the few
// OpenGL 1.1 calls the text cards make (colour, raster position, display
// lists of glyphs), which WebGL lacks and platform/web/gl_legacy.cpp
// stands in for with the same pixels.
#pragma once

#include <GLES2/gl2.h>

#define GL_COMPILE 0x1300
#define GL_LIST_BIT 0x00020000

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void glRasterPos2f(GLfloat x, GLfloat y);
GLuint glGenLists(GLsizei range);
void glNewList(GLuint list, GLenum mode);
void glEndList(void);
void glListBase(GLuint base);
void glCallLists(GLsizei n, GLenum type, const void* lists);
void glPushAttrib(GLbitfield mask);
void glPopAttrib(void);
