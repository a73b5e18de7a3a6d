#include "render/render.h"

#include "state/shared.h"

#if defined(BRINELUX_GLES)
// WebGL has neither quads nor client-side arrays: there the corners live in
// a buffer made on the first scene frame and are drawn as a fan of two
// triangles covering the same pixels.
static GLuint QuadBuffer(const float* corners)
{
    static GLuint buffer;
    if (buffer == 0) {
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, 12 * sizeof(float), corners, GL_STATIC_DRAW);
    }
    return buffer;
}
#endif

void DrawScene(GLuint program)
{
    frameCount += 1;
    // The sum in double, rounded back to the stored float: the clock values
    // the timeline compares against depend on it.
    sceneTime = (float)((double)sceneTime + 0.04);
    float vertexarray[12] = {-1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
    if (glIsProgram(program) != GL_TRUE)
        return;
    CheckGLError("DrawScene:glIsProgram ");
    glUseProgram(program);
    CheckGLError("DrawScene:glUseProgram ");
    glBindAttribLocation(program, 0, "a_position");
    CheckGLError("DrawScene:glBindAttribLocation iresolutionhandle");
    GLint resolution = glGetUniformLocation(program, "iResolution");
    GLint globaltime = glGetUniformLocation(program, "iGlobalTime");
    GLint mouse = glGetUniformLocation(program, "iMouse");
    (void)mouse;
    glUniform2f(resolution, 1024.0f, 768.0f);
    CheckGLError("DrawScene:glUniform2f iresolutionhandle");
    glUniform1f(globaltime, sceneTime);
    CheckGLError("DrawScene:glUniform1f iglobaltimehandle");
#if defined(BRINELUX_GLES)
    glBindBuffer(GL_ARRAY_BUFFER, QuadBuffer(vertexarray));
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
#else
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, vertexarray);
#endif
    CheckGLError("DrawScene:glVertexAttribPointer");
    glEnableVertexAttribArray(0);
    GLint channel = glGetUniformLocation(program, "iChannel0");
    (void)channel;
    CheckGLError("DrawScene:glGetUniformLocation Channel0");
    CheckGLError("DrawScene:glEnableVertexAttribArray");
#if defined(BRINELUX_GLES)
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
#else
    glDrawArrays(GL_QUADS, 0, 4);
#endif
    CheckGLError("DrawScene:glDrawArrays");
}
