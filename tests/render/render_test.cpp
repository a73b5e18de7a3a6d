// Error reporting, shader programs, the noise texture and the scene pass on a
// headless context.
#include <epoxy/gl.h>
#include <string.h>
#include <zlib.h>
#include "state/shared.h"
#include "render/render.h"
#include "tests/support/gl_env.h"

namespace {
std::string out, err;

void Capture(void (*body)(void*), void* arg = nullptr) { CaptureOutput(body, arg, out, err); }

// Replaces epoxy's glGetError for codes no real driver raises.
std::vector<GLenum> fakeErrors;
GLenum FakeGetError()
{
    if (fakeErrors.empty())
        return GL_NO_ERROR;
    GLenum e = fakeErrors.front();
    fakeErrors.erase(fakeErrors.begin());
    return e;
}

void Reset()
{
    ClearGLErrors();
    quitRequested.store(0);
    glErrorReported = false;
}

// The show's own graphics start-up, once per process.
void BuildShowResources()
{
    static bool built;
    if (!built)
        BuildShowGraphics(nullptr);
    built = true;
}
} // namespace

TEST(CheckGLError, EmptyQueueWritesNothing)
{
    Reset();
    bool reported = true;
    Capture([](void* r) { *(bool*)r = CheckGLError("DrawScene:frame "); }, &reported);
    EXPECT_FALSE(reported);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(quitRequested.load(), 0);
}

TEST(CheckGLError, WritesExactLineOnBothChannels)
{
    Reset();
    GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    glUseProgram(shader);  // a shader where a program belongs: invalid operation
    Capture([](void*) { CheckGLError("DrawScene:glUseProgram "); });
    EXPECT_EQ(out, "DrawScene:glUseProgram  : INVALID_OPERATION 1282\n");
    EXPECT_EQ(err, "DrawScene:glUseProgram  : INVALID_OPERATION 1282\n");
    EXPECT_EQ(quitRequested.load(), 1);
    EXPECT_TRUE(glErrorReported);
}

TEST(CheckGLError, TwoQueuedErrorsGiveTwoLinesUnderOneLabel)
{
    Reset();
    fakeErrors = {1281, 1280};
    auto real = epoxy_glGetError;
    epoxy_glGetError = FakeGetError;
    bool reported = false;
    Capture([](void* r) { *(bool*)r = CheckGLError("glLinkProgram "); }, &reported);
    epoxy_glGetError = real;
    EXPECT_TRUE(reported);
    EXPECT_EQ(out, "glLinkProgram  : INVALID_VALUE 1281\nglLinkProgram  : INVALID_ENUM 1280\n");
}

TEST(CheckGLError, NamesEveryCodeAndUnknownOnes)
{
    Reset();
    fakeErrors = {1283, 1284, 1285, 1286, 1287, 0x7FFFFFFF};
    auto real = epoxy_glGetError;
    epoxy_glGetError = FakeGetError;
    Capture([](void*) { CheckGLError("x"); });
    epoxy_glGetError = real;
    EXPECT_EQ(out, "x : STACK OVERFLOW 1283\nx : STACK UNDERFLOW 1284\nx : OUT_OF_MEMORY 1285\n"
                   "x : INVALID_FRAMEBUFFER_OPERATION 1286\nx : unknown 1287\nx : unknown 2147483647\n");
}

TEST(CheckGLError, OverlongLabelIsCutNotOverrun)
{
    Reset();
    fakeErrors = {1280};
    auto real = epoxy_glGetError;
    epoxy_glGetError = FakeGetError;
    static std::string label(400, 'L');
    Capture([](void*) { CheckGLError(label.c_str()); });
    epoxy_glGetError = real;
    EXPECT_EQ(out.size(), 199u);
    EXPECT_EQ(out, std::string(198, 'L') + "\n");
}

TEST(NoiseTexture, BytesTexelsAndChecksum)
{
    Reset();
    BuildShowResources();
    const unsigned char* textura = textureBytes;
    ASSERT_NE(textura, nullptr);
    EXPECT_EQ(textureSize, 1048576);
    const unsigned char first[16] = {35, 190, 132, 42, 108, 214, 174, 226, 144, 73, 241, 83, 187, 233, 235, 242};
    EXPECT_EQ(memcmp(textura, first, 16), 0);
    EXPECT_EQ(crc32(0, textura, 786432), 0x82488865u);

    std::vector<unsigned char> texels(512 * 512 * 3);
    glBindTexture(GL_TEXTURE_2D, noiseTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    auto texel = [&](int x, int y) {
        const unsigned char* t = &texels[(size_t)(y * 512 + x) * 3];
        return std::vector<int>{t[0], t[1], t[2]};
    };
    EXPECT_EQ(texel(0, 0), (std::vector<int>{35, 190, 132}));
    EXPECT_EQ(texel(3, 0), (std::vector<int>{73, 241, 83}));
    EXPECT_EQ(texel(0, 1), (std::vector<int>{206, 183, 177}));
    EXPECT_EQ(texel(511, 511), (std::vector<int>{48, 220, 151}));
    GLint w = 0, h = 0, filter = 0, wrap = 0, unit = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    EXPECT_EQ(w, 512);
    EXPECT_EQ(h, 512);
    EXPECT_EQ(filter, GL_NEAREST);
    EXPECT_EQ(wrap, GL_REPEAT);
    EXPECT_EQ(unit, GL_TEXTURE0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(ShaderPrograms, StartUpFillsThreeSlots)
{
    Reset();
    BuildShowResources();
    EXPECT_EQ(shaderCount, 3);
    EXPECT_TRUE(glIsShader(shaderSlots[0]));
    for (int slot = 1; slot <= 2; slot++) {
        GLint linked = 0;
        ASSERT_TRUE(glIsProgram(shaderSlots[slot]));
        glGetProgramiv(shaderSlots[slot], GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE) << "slot " << slot;
        // Bound before the link, so the draw does not depend on the driver.
        EXPECT_EQ(glGetAttribLocation(shaderSlots[slot], "a_position"), 0);
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(ShaderPrograms, CompileFailureLogsThreeMessagesAndStillStoresTheProgram)
{
    Reset();
    BuildShowResources();
    // A long log: one error per line, far beyond 499 characters.
    static std::string bad;
    for (int i = 0; i < 40; i++)
        bad += "float f" + std::to_string(i) + " = 1;\n";
    bad += "void main() { gl_FragColor = vec4(1.0); }\n";
    static GLuint program;
    std::vector<std::string> messages;
    Capture([](void*) { program = LoadShader(bad.c_str()); });
    EXPECT_EQ(out, "");
    ASSERT_EQ(err.rfind("\r\n\r\nEror compilando Fragment Shader:", 0), 0u);
    ASSERT_GE(err.size(), 2u);
    EXPECT_EQ(err.substr(err.size() - 2), "\r\n");
    size_t logLength = err.size() - strlen("\r\n\r\nEror compilando Fragment Shader:") - 2;
    EXPECT_GT(logLength, 0u);
    EXPECT_LE(logLength, 499u);
    EXPECT_EQ(quitRequested.load(), 0);
    EXPECT_EQ(shaderSlots[3], program);
    EXPECT_TRUE(glIsProgram(program));

    // Drawing with it: the failed link surfaces at the program selection.
    Capture([](void*) { DrawScene(program); });
    EXPECT_EQ(out.rfind("DrawScene:glUseProgram  : INVALID_OPERATION 1282", 0), 0u) << out;
    EXPECT_EQ(quitRequested.load(), 1);
    shaderCount = 3;
    glUseProgram(0);
    ClearGLErrors();
}

TEST(ScenePass, ClockAdvancesInDoubleAndStoresFloat)
{
    Reset();
    showClocks.sceneTime = 0.0f;
    int before = showClocks.frameCount;
    for (int i = 0; i < 125; i++)
        DrawScene(0);
    EXPECT_EQ(showClocks.sceneTime, 4.99999666f);
    EXPECT_LT((double)showClocks.sceneTime, 5.0);
    DrawScene(0);
    EXPECT_EQ(showClocks.sceneTime, 5.03999662f);
    showClocks.sceneTime = 0.0f;
    for (int i = 0; i < 351; i++)
        DrawScene(0);
    EXPECT_EQ(showClocks.sceneTime, 14.0399885f);
    EXPECT_EQ(showClocks.frameCount - before, 126 + 351);
}

TEST(ScenePass, NoProgramOrValidProgramWritesNothing)
{
    Reset();
    BuildShowResources();
    showClocks.sceneTime = 0.0f;
    Capture([](void*) {
        DrawScene(0);
        DrawScene(shaderSlots[1]);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_FLOAT_EQ(showClocks.sceneTime, 0.08f);
    EXPECT_EQ(quitRequested.load(), 0);
}

TEST(ScenePass, FrameFillsTheBandOnlyWithAlphaOne)
{
    Reset();
    BuildShowResources();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    showClocks.sceneTime = 0.0f;
    DrawScene(shaderSlots[1]);
    std::vector<unsigned char> px = ReadFramebuffer();
    auto rowLit = [&](int row) {
        for (int x = 0; x < 1024; x++) {
            const unsigned char* p = &px[((size_t)row * 1024 + x) * 4];
            if (p[0] | p[1] | p[2])
                return true;
        }
        return false;
    };
    EXPECT_FALSE(rowLit(114));
    EXPECT_TRUE(rowLit(115));
    EXPECT_TRUE(rowLit(652));
    EXPECT_FALSE(rowLit(653));
    for (size_t i = 3; i < px.size(); i += 4)
        ASSERT_EQ(px[i], 255) << "pixel " << i / 4;
    glUseProgram(0);
}

TEST(ScenePass, BandOnlyScissorKeepsTheCallersScissorAndClearColour)
{
    // The quad is cut to the band rows and the rest cleared to opaque black;
    // an outer scissor box (a capture's skipped frame has an empty one) still
    // bounds both, and the caller's scissor and clear state come back intact.
    Reset();
    BuildShowResources();
    glClearColor(0, 0, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 100, 1024, 30);
    showClocks.sceneTime = 0.0f;
    DrawScene(shaderSlots[1]);
    std::vector<unsigned char> px = ReadFramebuffer();
    auto at = [&](int x, int y) { return &px[((size_t)y * 1024 + x) * 4]; };
    for (int x = 0; x < 1024; x += 31) {
        EXPECT_EQ(at(x, 99)[2], 255) << "below the outer box";
        EXPECT_EQ(at(x, 100)[2], 0) << "black strip inside the box";
        EXPECT_EQ(at(x, 100)[3], 255);
        EXPECT_EQ(at(x, 129)[3], 255) << "band inside the box";
        EXPECT_EQ(at(x, 130)[2], 255) << "above the outer box";
        EXPECT_EQ(at(x, 130)[3], 0);
    }
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[1], 100);
    EXPECT_EQ(box[3], 30);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[2], 1.0f);
    EXPECT_EQ(clear[3], 0.0f);

    glScissor(0, 0, 0, 0);
    glClearColor(0, 0, 1, 0);
    glDisable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    DrawScene(shaderSlots[1]);
    glDisable(GL_SCISSOR_TEST);
    px = ReadFramebuffer();
    for (size_t i = 0; i < px.size(); i += 4)
        ASSERT_EQ(px[i + 2] * 256 + px[i + 3], 255 * 256) << "an empty box draws nothing, pixel " << i / 4;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glUseProgram(0);
}
