// The picture in a window of another shape: bars, the scenes' framebuffer
// scaled onto the picture, the probe leaving the window as it found it, the
// glyphs remade at the picture's height. The headless framebuffer stands in
// for the window.
#include <epoxy/gl.h>
#include "render/present.h"
#include "render/render.h"
#include "state/shared.h"
#include "tests/support/gl_env.h"

namespace {
struct Rgb {
    int r, g, b;
};

Rgb At(const std::vector<unsigned char>& pixels, int x, int y)
{
    const unsigned char* p = &pixels[((size_t)y * 1024 + x) * 4];
    return {p[0], p[1], p[2]};
}

void ExpectRgb(Rgb got, int r, int g, int b, const char* where)
{
    EXPECT_EQ(got.r, r) << where;
    EXPECT_EQ(got.g, g) << where;
    EXPECT_EQ(got.b, b) << where;
}

// Columns [x0, x1) of what is bound cleared to the colour.
void Fill(int x0, int x1, int height, float r, float g, float b)
{
    glEnable(GL_SCISSOR_TEST);
    glScissor(x0, 0, x1 - x0, height);
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

// A window 1024 x 600: the 800 x 600 picture from x 112, white around it
// before the frame so that the bars show.
void FrameWideWindow()
{
    ClearGLErrors();
    windowFramebuffer = HeadlessFramebuffer();
    glBindFramebuffer(GL_FRAMEBUFFER, windowFramebuffer);
    glViewport(0, 0, 1024, 768);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    FrameWindow(1024, 600);
    ASSERT_EQ(pictureX, 112);
    ASSERT_EQ(pictureY, 0);
    ASSERT_EQ(pictureWidth, 800);
    ASSERT_EQ(pictureHeight, 600);
}
} // namespace

TEST(Present, SmallerSceneIsScaledOntoThePictureBetweenBlackBars)
{
    FrameWideWindow();
    SetSceneSize(400, 300);
    BeginPicture(true);
    ASSERT_FALSE(sceneDirect) << "the headless context renders into textures";
    EXPECT_EQ(surfaceWidth, 400);
    EXPECT_EQ(surfaceHeight, 300);
    // Blue where the texture lies beyond the scene: never to be seen. The
    // scene's quarters red, green (bottom) and yellow, magenta (top).
    Fill(0, 800, 600, 0, 0, 1);
    Fill(0, 200, 300, 1, 1, 0);
    Fill(200, 400, 300, 1, 0, 1);
    Fill(0, 200, 150, 1, 0, 0);
    Fill(200, 400, 150, 0, 1, 0);
    GLuint scene = SceneProgram(PART_WATER);
    glUseProgram(scene);
    EndPicture(true);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    // What the frame after draws with is the scene's, not the pass's.
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ((GLuint)current, scene);
    std::vector<unsigned char> pixels = ReadFramebuffer();
    ExpectRgb(At(pixels, 50, 300), 0, 0, 0, "left bar");
    ExpectRgb(At(pixels, 1000, 300), 0, 0, 0, "right bar");
    ExpectRgb(At(pixels, 412, 200), 255, 0, 0, "bottom left quarter");
    ExpectRgb(At(pixels, 612, 200), 0, 255, 0, "bottom right quarter");
    ExpectRgb(At(pixels, 412, 400), 255, 255, 0, "top left quarter");
    ExpectRgb(At(pixels, 612, 400), 255, 0, 255, "top right quarter");
    // Scaled up smoothly: the seam between red and green is a blend.
    Rgb seam = At(pixels, 512, 100);
    EXPECT_TRUE(seam.r > 0 && seam.r < 255 && seam.g > 0 && seam.g < 255) << seam.r << " " << seam.g;
    // The scene's last row and column, scaled up smoothly, read nothing of
    // the texture beyond them.
    ExpectRgb(At(pixels, 122, 599), 255, 255, 0, "top row");
    ExpectRgb(At(pixels, 911, 599), 255, 0, 255, "top right corner");
    ExpectRgb(At(pixels, 911, 0), 0, 255, 0, "bottom right corner");
}

TEST(Present, OddRowLeftOverGoesToTheBottomBar)
{
    // GL counts rows from the bottom: the picture's corner is one row up.
    FrameWindow(800, 701);
    EXPECT_EQ(pictureX, 0);
    EXPECT_EQ(pictureY, 51);
    EXPECT_EQ(pictureHeight, 600);
    FrameWindow(1025, 600);
    EXPECT_EQ(pictureX, 112);
    EXPECT_EQ(pictureY, 0);
}

TEST(Present, PictureSizedSceneIsCopiedPixelForPixel)
{
    FrameWideWindow();
    SetSceneSize(800, 600);
    BeginPicture(true);
    for (int x = 0; x < 800; x++)
        Fill(x, x + 1, 600, x % 2 ? 0.0f : 1.0f, x % 3 == 0 ? 1.0f : 0.0f, 0);
    EndPicture(true);
    std::vector<unsigned char> pixels = ReadFramebuffer();
    int wrong = 0;
    for (int x = 0; x < 800; x++) {
        Rgb p = At(pixels, 112 + x, 300);
        wrong += p.r != (x % 2 ? 0 : 255) || p.g != (x % 3 == 0 ? 255 : 0) || p.b != 0;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(Present, CardsAndTheProbeLeaveTheWindowBoundAtThePicture)
{
    FrameWideWindow();
    BuildShowGraphics(nullptr);
    SetSceneSize(400, 300);
    BeginPicture(false);
    GLint bound = -1, view[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glGetIntegerv(GL_VIEWPORT, view);
    EXPECT_EQ((GLuint)bound, windowFramebuffer);
    EXPECT_EQ(view[0], 112);
    EXPECT_EQ(view[2], 800);
    EXPECT_EQ(surfaceHeight, 600);

    std::vector<unsigned char> before = ReadFramebuffer();
    ProbeScenes(true);
    ProbeScenes(false);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glGetIntegerv(GL_VIEWPORT, view);
    EXPECT_EQ((GLuint)bound, windowFramebuffer);
    EXPECT_EQ(view[0], 112);
    EXPECT_EQ(view[3], 600);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    // Nothing of the probe is shown.
    EXPECT_TRUE(ReadFramebuffer() == before);
}

// Lit pixels after the text is drawn on the picture.
static int DrawnText()
{
    BeginPicture(false);
    // The cards draw with no program current, as the show's frame does.
    glUseProgram(0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    glRasterPos2f(-0.5f, 0.0f);
    PrintText("WWWW");
    std::vector<unsigned char> pixels = ReadFramebuffer();
    int lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
        lit += pixels[i] > 0;
    return lit;
}

TEST(Present, GlyphsFollowThePictureHeight)
{
    FrameWideWindow();
    BuildShowGraphics(nullptr);
    int tall = DrawnText();
    EXPECT_GT(tall, 0);
    FrameWindow(400, 300);
    int smaller = DrawnText();
    EXPECT_GT(smaller, 0);
    EXPECT_LT(smaller, tall);
    // Too small for any face: the lists draw nothing, and come back.
    FrameWindow(8, 6);
    EXPECT_EQ(DrawnText(), 0);
    FrameWindow(1024, 600);
    EXPECT_EQ(DrawnText(), tall);
}

namespace {
PFNGLGETSTRINGPROC realGetString;

// A GL 2.1 driver without framebuffer objects.
const GLubyte* OldGetString(GLenum name)
{
    if (name == GL_VERSION)
        return (const GLubyte*)"2.1 Mesa";
    if (name == GL_EXTENSIONS)
        return (const GLubyte*)"GL_ARB_texture_non_power_of_two GL_EXT_framebuffer_blit";
    return realGetString(name);
}
} // namespace

namespace {
PFNGLTEXIMAGE2DPROC realTexImage;

// A driver with no memory for a texture wider than 400: the call fails as
// one past its limits does.
void NarrowTexImage(GLenum target, GLint level, GLint inner, GLsizei width, GLsizei height, GLint border,
                    GLenum format, GLenum type, const void* pixels)
{
    realTexImage(target, level, inner, width > 400 ? -1 : width, height, border, format, type, pixels);
}
} // namespace

TEST(Present, ATextureTheDriverRefusesIsHalvedNotGivenUp)
{
    FrameWideWindow();
    ForgetPictureGraphics();
    SetSceneSize(800, 600);
    // Resolved before it is replaced (see InstallFaultyShaders).
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    realTexImage = epoxy_glTexImage2D;
    epoxy_glTexImage2D = NarrowTexImage;
    std::string out, err;
    CaptureOutput([](void*) { BeginPicture(true); }, nullptr, out, err);
    epoxy_glTexImage2D = realTexImage;
    EXPECT_FALSE(sceneDirect);
    EXPECT_NE(out.find("no memory for the scenes at 800 x 600; they are drawn at most 400 x 300"), std::string::npos)
        << out;
    // Smaller in the picture's shape, and kept so when asked for more.
    EXPECT_EQ(sceneWidth, 400);
    EXPECT_EQ(sceneHeight, 300);
    SetSceneSize(800, 600);
    EXPECT_EQ(sceneWidth, 400);
    EXPECT_EQ(sceneHeight, 300);
    // Drawn and scaled onto the picture as any smaller scene is.
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EndPicture(true);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    ExpectRgb(At(ReadFramebuffer(), 512, 300), 255, 0, 0, "the scene on the picture");
    ExpectRgb(At(ReadFramebuffer(), 50, 300), 0, 0, 0, "left bar");
    ForgetPictureGraphics();
}

namespace {
PFNGLSHADERSOURCEPROC realShaderSource;
// What the driver is given in place of the present pass's fragment source.
std::string (*presentFault)(std::string source);

void FaultyShaderSource(GLuint shader, GLsizei count, const GLchar* const* strings, const GLint* lengths)
{
    std::string text = strings[0];
    if (count != 1 || text.find("uniform sampler2D scene;") == std::string::npos)
        return realShaderSource(shader, count, strings, lengths);
    text = presentFault(text);
    const GLchar* faulty = text.c_str();
    realShaderSource(shader, 1, &faulty, nullptr);
}

// Compiles, but calls a function nothing defines: the link fails.
std::string Unlinkable(std::string source)
{
    size_t at = source.find("gl_FragColor");
    return "void Missing();\n" + source.substr(0, at) + "Missing();\n  " + source.substr(at);
}

std::string Uncompilable(std::string source) { return source + "not glsl at all\n"; }

// The first scene's BeginPicture with the driver's faults in place; what
// it printed.
std::string BeginWith(void (*install)(), void (*remove)())
{
    FrameWideWindow();
    ForgetPictureGraphics();
    SetSceneSize(400, 300);
    install();
    std::string out, err;
    CaptureOutput([](void*) { BeginPicture(true); }, nullptr, out, err);
    remove();
    return out;
}

void InstallOldDriver()
{
    realGetString = epoxy_glGetString;
    epoxy_glGetString = OldGetString;
}
void RemoveOldDriver() { epoxy_glGetString = realGetString; }
void InstallFaultyShaders()
{
    // libepoxy resolves an entry point at its first call, and only while
    // the pointer is still its own: call it once before replacing it.
    GLuint probe = glCreateShader(GL_FRAGMENT_SHADER);
    const GLchar* none = "";
    glShaderSource(probe, 1, &none, nullptr);
    glDeleteShader(probe);
    realShaderSource = epoxy_glShaderSource;
    epoxy_glShaderSource = FaultyShaderSource;
}
void RemoveFaultyShaders() { epoxy_glShaderSource = realShaderSource; }

// The scenes drawn straight onto the picture once BeginPicture said why.
void ExpectDrawnStraight(const std::string& out, const char* why)
{
    EXPECT_TRUE(sceneDirect) << why;
    EXPECT_NE(out.find(why), std::string::npos) << out;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << why;
    EXPECT_EQ(sceneWidth, 800);
    EXPECT_EQ(surfaceHeight, 600);
    GLint bound = -1, view[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    glGetIntegerv(GL_VIEWPORT, view);
    EXPECT_EQ((GLuint)bound, windowFramebuffer);
    EXPECT_EQ(view[0], 112);
    // What was drawn stays: no pass, no bars drawn over it.
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EndPicture(true);
    ExpectRgb(At(ReadFramebuffer(), 50, 300), 255, 0, 0, "drawn straight");
    // Asked for a smaller size again, the scenes stay at the picture's.
    SetSceneSize(400, 300);
    EXPECT_EQ(sceneWidth, 800);
    sceneDirect = false;
    ForgetPictureGraphics();
}
} // namespace

TEST(Present, WithoutFramebufferObjectsScenesDrawStraightAtThePicture)
{
    ExpectDrawnStraight(BeginWith(InstallOldDriver, RemoveOldDriver), "cannot draw the scenes into a texture");
}

// A driver that will not compile or link the pass that scales the scenes:
// they go straight onto the picture, as without framebuffer objects.
TEST(Present, APresentProgramTheDriverRefusesDrawsTheScenesStraight)
{
    for (std::string (*fault)(std::string) : {Uncompilable, Unlinkable}) {
        presentFault = fault;
        ExpectDrawnStraight(BeginWith(InstallFaultyShaders, RemoveFaultyShaders),
                            "the driver refused the program that scales the scenes onto the picture");
    }
}
