// The Win32 window, the first-call GL loader and the bitmap font, on a real
// WGL context (Wine over Mesa under Xvfb).
#include <gtest/gtest.h>

#include <windows.h>
#include "platform/win32/gl_loader.h"

#include <string>
#include "platform/platform.h"

namespace {

std::string missingName;
int missingCalls;

void RecordMissing(const char* name)
{
    missingName = name;
    missingCalls++;
}

// One window and context for the whole program, made by the first test
// that needs it.
PlatformWindow* Window()
{
    static PlatformWindow* window = PlatformCreateWindow(0, 0, 1024, 768);
    return window;
}

// Draws the list of one character at the left edge, returns how far it moved
// the raster position; lit receives whether the drawing set any pixel.
float DrawGlyph(GLuint base, char c, bool* lit)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    glRasterPos2f(-0.9f, 0.0f);
    GLfloat before[4], after[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, before);
    glCallList(base + (GLuint)(c - 32));
    glGetFloatv(GL_CURRENT_RASTER_POSITION, after);
    glFinish();
    // The glyph sits on the baseline at window x = 51, y = 384.
    static GLubyte pixels[40 * 60 * 4];
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(45, 370, 40, 60, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    *lit = false;
    for (size_t i = 0; i < sizeof pixels; i += 4)
        if (pixels[i] > 128)
            *lit = true;
    return after[0] - before[0];
}

// Must run first: with no context yet, nothing can be resolved.
TEST(GLLoader, AnEntryPointWithoutDriverFunctionCallsTheHandlerInsteadOfCrashing)
{
    BrineluxSetMissingGLHandler(RecordMissing);
    GLuint program = glCreateProgram();
    EXPECT_EQ(program, 0u);
    EXPECT_EQ(missingCalls, 1);
    EXPECT_EQ(missingName, "glCreateProgram");
    EXPECT_FALSE(BrineluxGLEntryResolved("glCreateProgram"));
    BrineluxSetMissingGLHandler(nullptr);
}

TEST(Win32Window, CreatesTheWindowWithACurrentGL20Context)
{
    PlatformWindow* window = Window();
    ASSERT_NE(window, nullptr) << PlatformLastError();
    const char* version = (const char*)glGetString(GL_VERSION);
    ASSERT_NE(version, nullptr);
    EXPECT_GE(version[0], '2') << version;
    GLint depth = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    EXPECT_GE(depth, 16);
    // An empty queue, and no key is down: neither call may wait or report.
    for (int i = 0; i < 100; i++)
        PlatformRemoveOneMessage();
    EXPECT_FALSE(PlatformKeyPressed(PLATFORM_KEY_ESCAPE));
    EXPECT_FALSE(PlatformKeyPressed(PLATFORM_KEY_SPACE));
}

TEST(GLLoader, ResolvesOnFirstCallAndCompilesThroughTheDriver)
{
    ASSERT_NE(Window(), nullptr) << PlatformLastError();
    EXPECT_FALSE(BrineluxGLEntryResolved("glCreateShader"));
    GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    ASSERT_NE(shader, 0u);
    EXPECT_TRUE(BrineluxGLEntryResolved("glCreateShader"));

    const char* source = "uniform float iGlobalTime;\nvoid main() { gl_FragColor = vec4(iGlobalTime); }\n";
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    EXPECT_EQ(compiled, GL_TRUE);
    GLuint program = glCreateProgram();
    glAttachShader(program, shader);
    glLinkProgram(program);
    EXPECT_EQ(glIsProgram(program), GL_TRUE);
    glUseProgram(program);
    EXPECT_GE(glGetUniformLocation(program, "iGlobalTime"), 0);
    glUseProgram(0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    // The remaining entry points resolve the same way.
    glActiveTexture(GL_TEXTURE0);
    EXPECT_TRUE(BrineluxGLEntryResolved("glActiveTexture"));
    EXPECT_FALSE(BrineluxGLEntryResolved("glNoSuchEntry"));
}

TEST(Win32Font, MakesAllListsWithoutAGLErrorAndAMonospacedAdvance)
{
    ASSERT_NE(Window(), nullptr) << PlatformLastError();
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint base = glGenLists(96);
    ASSERT_NE(base, 0u);
    ASSERT_TRUE(PlatformUseFontBitmaps(32, 96, base));
    // The space has no pixels; recording it must not leave an error.
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    for (GLuint i = 0; i < 96; i++)
        EXPECT_TRUE(glIsList(base + i)) << "code " << 32 + i;

    bool lit = false;
    float space = DrawGlyph(base, ' ', &lit);
    EXPECT_FALSE(lit);
    float a = DrawGlyph(base, 'A', &lit);
    EXPECT_TRUE(lit);
    float m = DrawGlyph(base, 'm', &lit);
    float i = DrawGlyph(base, 'i', &lit);
    // Bold 24-pixel Courier New (or Liberation Mono in its place): one
    // advance for every character, the space included.
    EXPECT_GT(a, 10.0f);
    EXPECT_LT(a, 20.0f);
    EXPECT_EQ(space, a);
    EXPECT_EQ(m, a);
    EXPECT_EQ(i, a);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

} // namespace
