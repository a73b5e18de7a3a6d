#include "render/render.h"

#include "state/shared.h"

#if defined(BRINELUX_GLES)
// WebGL has neither quads nor client-side arrays: there the corners live in
// a buffer made on the first scene frame and are drawn as a fan of two
// triangles covering the same pixels.
static GLuint quadBuffer;

static GLuint QuadBuffer(const float* corners)
{
    if (quadBuffer == 0) {
        glGenBuffers(1, &quadBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
        glBufferData(GL_ARRAY_BUFFER, 12 * sizeof(float), corners, GL_STATIC_DRAW);
    }
    return quadBuffer;
}

void ForgetSceneBuffers() { quadBuffer = 0; }
#else
// The desktop draws from a client-side array: nothing to forget.
void ForgetSceneBuffers() {}
#endif

int32_t surfaceWidth = SHOW_WIDTH;
int32_t surfaceHeight = SHOW_HEIGHT;

void SetSurfaceSize(int32_t width, int32_t height)
{
    surfaceWidth = width;
    surfaceHeight = height;
}

void FramePicture(int32_t width, int32_t height, int32_t* x, int32_t* y, int32_t* w, int32_t* h)
{
    // Whichever side is short sets the size; the other is rounded to the
    // nearest pixel of 4:3.
    int64_t pw = width, ph = height;
    if ((int64_t)width * 3 > (int64_t)height * 4)
        pw = ((int64_t)height * 8 + 3) / 6;
    else
        ph = ((int64_t)width * 6 + 4) / 8;
    *w = (int32_t)pw;
    *h = (int32_t)ph;
    *x = (int32_t)((width - pw) / 2);
    *y = (int32_t)((height - ph) / 2);
}

// Rows whose pixel centres pass the programs' letterbox test, r = y / rows
// strictly between 0.15 and 0.85, computed in the same float arithmetic.
// The programs are given the surface's rows, so the band follows it.
static void BandRows(int& first, int& end)
{
    first = -1;
    end = 0;
    for (int row = 0; row < surfaceHeight; row++) {
        float r = ((float)row + 0.5f) / (float)surfaceHeight;
        if (r > 0.15f && r < 0.85f) {
            if (first < 0)
                first = row;
            end = row + 1;
        }
    }
}

// Scissor box for rows [y0, y1) inside whatever box was already in force
// (a capture skips frames with an empty one).
static void ScissorRows(int y0, int y1, bool clipped, const GLint* outer)
{
    GLint x = 0, w = 1 << 15;
    if (clipped) {
        x = outer[0];
        w = outer[2];
        y0 = y0 > outer[1] ? y0 : outer[1];
        y1 = y1 < outer[1] + outer[3] ? y1 : outer[1] + outer[3];
    }
    glScissor(x, y0, w, y1 > y0 ? y1 - y0 : 0);
}

// The quad over the letterbox band only: the programs write black outside
// it, so those rows are cleared to opaque black instead of shaded at full
// cost. Scissor and clear state are left as they were.
static void DrawBandQuad()
{
    int first, end;
    BandRows(first, end);
    GLboolean clipped = glIsEnabled(GL_SCISSOR_TEST);
    GLint outer[4] = {0, 0, 0, 0};
    GLfloat clear[4];
    glGetIntegerv(GL_SCISSOR_BOX, outer);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glEnable(GL_SCISSOR_TEST);
    ScissorRows(first, end, clipped, outer);
#if defined(BRINELUX_GLES)
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
#else
    glDrawArrays(GL_QUADS, 0, 4);
#endif
    glClearColor(0, 0, 0, 1);
    ScissorRows(0, first, clipped, outer);
    glClear(GL_COLOR_BUFFER_BIT);
    ScissorRows(end, 1 << 15, clipped, outer);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glScissor(outer[0], outer[1], outer[2], outer[3]);
    if (!clipped)
        glDisable(GL_SCISSOR_TEST);
}

void StepSceneClock()
{
    showClocks.frameCount += 1;
    // The sum in double, rounded back to the stored float: the clock values
    // the timeline compares against depend on it.
    showClocks.sceneTime = (float)((double)showClocks.sceneTime + SCENE_STEP_SECONDS);
}

void AimSceneProgram(GLuint program, int32_t width, int32_t height, float time)
{
    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "iResolution"), (float)width, (float)height);
    glUniform1f(glGetUniformLocation(program, "iGlobalTime"), time);
}

void DrawScene(GLuint program)
{
    StepSceneClock();
    DrawSceneAt(program, showClocks.sceneTime);
}

void DrawSceneAt(GLuint program, float time)
{
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
    glUniform2f(resolution, (float)surfaceWidth, (float)surfaceHeight);
    CheckGLError("DrawScene:glUniform2f iresolutionhandle");
    glUniform1f(globaltime, time);
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
    DrawBandQuad();
    CheckGLError("DrawScene:glDrawArrays");
}
