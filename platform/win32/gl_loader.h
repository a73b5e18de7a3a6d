// OpenGL on Windows: 1.1 from opengl32.dll, and the 2.0 shading entry points
// the show calls, which opengl32 does not export, resolved from the driver.
//
// Each name below is a macro for a function pointer that starts at a stub:
// the stub's first call asks wglGetProcAddress for the driver's function
// (a context must be current by then), repoints the pointer at it and makes
// the call. Call sites read exactly as with any other GL loader.
#pragma once

// Enough of the Win32 calling conventions for <GL/gl.h>, so that code using
// GL does not pull in all of <windows.h>.
#ifndef APIENTRY
#define APIENTRY __stdcall
#endif
#ifndef WINGDIAPI
#define WINGDIAPI __declspec(dllimport)
#endif

#include <GL/gl.h>
#include <GL/glext.h>

// One line per entry point: return type, name, parameters, argument names.
#define BRINELUX_GL_ENTRY_POINTS(X)                                                              \
    X(GLuint, glCreateShader, (GLenum type), (type))                                             \
    X(void, glShaderSource,                                                                      \
      (GLuint shader, GLsizei count, const GLchar* const* string, const GLint* length),           \
      (shader, count, string, length))                                                           \
    X(void, glCompileShader, (GLuint shader), (shader))                                          \
    X(void, glGetShaderiv, (GLuint shader, GLenum pname, GLint* params), (shader, pname, params)) \
    X(void, glGetShaderInfoLog, (GLuint shader, GLsizei bufSize, GLsizei* length, GLchar* infoLog), \
      (shader, bufSize, length, infoLog))                                                        \
    X(GLuint, glCreateProgram, (void), ())                                                       \
    X(void, glAttachShader, (GLuint program, GLuint shader), (program, shader))                  \
    X(void, glLinkProgram, (GLuint program), (program))                                          \
    X(void, glGetProgramiv, (GLuint program, GLenum pname, GLint* params), (program, pname, params)) \
    X(GLboolean, glIsProgram, (GLuint program), (program))                                       \
    X(void, glUseProgram, (GLuint program), (program))                                           \
    X(void, glBindAttribLocation, (GLuint program, GLuint index, const GLchar* name),            \
      (program, index, name))                                                                    \
    X(GLint, glGetUniformLocation, (GLuint program, const GLchar* name), (program, name))        \
    X(void, glUniform2f, (GLint location, GLfloat v0, GLfloat v1), (location, v0, v1))           \
    X(void, glUniform1f, (GLint location, GLfloat v0), (location, v0))                           \
    X(void, glVertexAttribPointer,                                                               \
      (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,              \
       const void* pointer),                                                                     \
      (index, size, type, normalized, stride, pointer))                                          \
    X(void, glEnableVertexAttribArray, (GLuint index), (index))                                  \
    X(void, glActiveTexture, (GLenum texture), (texture))                                        \
    X(void, glUniform1i, (GLint location, GLint v0), (location, v0))                             \
    X(void, glUniform4f, (GLint location, GLfloat v0, GLfloat v1, GLfloat v2, GLfloat v3),       \
      (location, v0, v1, v2, v3))                                                                \
    X(void, glGenBuffers, (GLsizei n, GLuint* buffers), (n, buffers))                            \
    X(void, glBindBuffer, (GLenum target, GLuint buffer), (target, buffer))                      \
    X(void, glBufferData, (GLenum target, GLsizeiptr size, const void* data, GLenum usage),      \
      (target, size, data, usage))                                                               \
    X(void, glGenFramebuffers, (GLsizei n, GLuint* framebuffers), (n, framebuffers))             \
    X(void, glBindFramebuffer, (GLenum target, GLuint framebuffer), (target, framebuffer))       \
    X(void, glFramebufferTexture2D,                                                              \
      (GLenum target, GLenum attachment, GLenum textarget, GLuint texture, GLint level),         \
      (target, attachment, textarget, texture, level))                                           \
    X(GLenum, glCheckFramebufferStatus, (GLenum target), (target))

#define BRINELUX_GL_DECLARE(ret, name, params, args)  \
    typedef ret(APIENTRY* BrineluxProc_##name) params; \
    extern BrineluxProc_##name brinelux_##name;
BRINELUX_GL_ENTRY_POINTS(BRINELUX_GL_DECLARE)
#undef BRINELUX_GL_DECLARE

#define glCreateShader brinelux_glCreateShader
#define glShaderSource brinelux_glShaderSource
#define glCompileShader brinelux_glCompileShader
#define glGetShaderiv brinelux_glGetShaderiv
#define glGetShaderInfoLog brinelux_glGetShaderInfoLog
#define glCreateProgram brinelux_glCreateProgram
#define glAttachShader brinelux_glAttachShader
#define glLinkProgram brinelux_glLinkProgram
#define glGetProgramiv brinelux_glGetProgramiv
#define glIsProgram brinelux_glIsProgram
#define glUseProgram brinelux_glUseProgram
#define glBindAttribLocation brinelux_glBindAttribLocation
#define glGetUniformLocation brinelux_glGetUniformLocation
#define glUniform2f brinelux_glUniform2f
#define glUniform1f brinelux_glUniform1f
#define glVertexAttribPointer brinelux_glVertexAttribPointer
#define glEnableVertexAttribArray brinelux_glEnableVertexAttribArray
#define glActiveTexture brinelux_glActiveTexture
// The picture's own framebuffer and present pass: GL 3.0 or
// ARB_framebuffer_object, asked for only where the context offers them.
#define glUniform1i brinelux_glUniform1i
#define glUniform4f brinelux_glUniform4f
#define glGenBuffers brinelux_glGenBuffers
#define glBindBuffer brinelux_glBindBuffer
#define glBufferData brinelux_glBufferData
#define glGenFramebuffers brinelux_glGenFramebuffers
#define glBindFramebuffer brinelux_glBindFramebuffer
#define glFramebufferTexture2D brinelux_glFramebufferTexture2D
#define glCheckFramebufferStatus brinelux_glCheckFramebufferStatus

// Where a stub found no driver function to call: names the entry point and
// ends the process, since calling on would jump through a null pointer.
// Tests may replace it through BrineluxSetMissingGLHandler.
typedef void (*BrineluxMissingGLHandler)(const char* name);
void BrineluxSetMissingGLHandler(BrineluxMissingGLHandler handler);
// True once the named entry point has been resolved from the driver (its
// pointer no longer points at the stub).
bool BrineluxGLEntryResolved(const char* name);
