#include "render/render.h"

#include "state/shared.h"

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
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, vertexarray);
    CheckGLError("DrawScene:glVertexAttribPointer");
    glEnableVertexAttribArray(0);
    GLint channel = glGetUniformLocation(program, "iChannel0");
    (void)channel;
    CheckGLError("DrawScene:glGetUniformLocation Channel0");
    CheckGLError("DrawScene:glEnableVertexAttribArray");
    glDrawArrays(GL_QUADS, 0, 4);
    CheckGLError("DrawScene:glDrawArrays");
}
