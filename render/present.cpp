#include "render/present.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "render/render.h"
#include "state/shared.h"

int32_t presentWidth = SHOW_WIDTH, presentHeight = SHOW_HEIGHT;
int32_t pictureX, pictureY, pictureWidth = SHOW_WIDTH, pictureHeight = SHOW_HEIGHT;
int32_t sceneWidth = SHOW_WIDTH, sceneHeight = SHOW_HEIGHT;
bool sceneDirect;
GLuint windowFramebuffer;

// The picture height the card glyphs were made for.
static int32_t glyphsHeight = -1;

static GLuint sceneTexture, sceneFramebuffer, presentProgram, presentBuffer;
static GLint presentSceneAt, presentScaleAt, presentLimitAt;
static int32_t textureWidth, textureHeight;
// The largest scene texture to ask for: the context's limits, halved for
// each size the driver refused for want of memory. 0 until known.
static int32_t capWidth, capHeight;

#if defined(BRINELUX_GLES)
#define PRESENT_PRECISION "precision highp float;\n"
#else
#define PRESENT_PRECISION ""
#endif

static const char presentVertex[] =
    "attribute vec2 a_corner;\n"
    "uniform vec2 scale;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  uv = (a_corner * 0.5 + 0.5) * scale;\n"
    "  gl_Position = vec4(a_corner, 0.0, 1.0);\n"
    "}\n";
// Clamped half a texel inside the scene's part of the texture, so that
// scaling up never reads beyond it.
static const char presentFragment[] =
    PRESENT_PRECISION
    "uniform sampler2D scene;\n"
    "uniform vec4 limit;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_FragColor = vec4(texture2D(scene, clamp(uv, limit.xy, limit.zw)).rgb, 1.0);\n"
    "}\n";

void FrameWindow(int32_t width, int32_t height)
{
    presentWidth = width < 1 ? 1 : width;
    presentHeight = height < 1 ? 1 : height;
    int32_t y;
    FramePicture(presentWidth, presentHeight, &pictureX, &y, &pictureWidth, &pictureHeight);
    pictureY = presentHeight - y - pictureHeight;
    if (pictureHeight != glyphsHeight) {
        // The cards' text at the picture's height, as a capture of that
        // size draws it.
        SetSurfaceSize(pictureWidth, pictureHeight);
        glyphsHeight = pictureHeight;
        RemakeFontLists();
    }
    SetSceneSize(sceneWidth, sceneHeight);
}

void SetSceneSize(int32_t width, int32_t height)
{
    bool whole = sceneDirect || width > pictureWidth || height > pictureHeight;
    sceneWidth = whole ? pictureWidth : width < 1 ? 1 : width;
    sceneHeight = whole ? pictureHeight : height < 1 ? 1 : height;
    // Past what the scenes' texture can hold: smaller in the same shape.
    if (!sceneDirect && capWidth > 0 && (sceneWidth > capWidth || sceneHeight > capHeight)) {
        double across = (double)capWidth / sceneWidth, down = (double)capHeight / sceneHeight;
        double fit = across < down ? across : down;
        sceneWidth = (int32_t)(sceneWidth * fit) < 1 ? 1 : (int32_t)(sceneWidth * fit);
        sceneHeight = (int32_t)(sceneHeight * fit) < 1 ? 1 : (int32_t)(sceneHeight * fit);
    }
}

static int32_t Least(int32_t a, int32_t b) { return a < b ? a : b; }

// The context's own limits on a texture drawn into and on a viewport.
static void FindTextureCap()
{
    GLint texture = 0, renderbuffer = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    int32_t side = texture > 0 ? texture : 1024;
    if (renderbuffer > 0)
        side = Least(side, renderbuffer);
    capWidth = viewport[0] > 0 ? Least(side, viewport[0]) : side;
    capHeight = viewport[1] > 0 ? Least(side, viewport[1]) : side;
}

// Framebuffer objects: WebGL and GL 3.0 have them; an older desktop context
// only through the extension.
static bool FramebuffersOffered()
{
#if defined(BRINELUX_GLES)
    return true;
#else
    const char* version = (const char*)glGetString(GL_VERSION);
    if (version != nullptr && atoi(version) >= 3)
        return true;
    // Asked only below 3.0: a core context refuses the whole list.
    const char* extensions = (const char*)glGetString(GL_EXTENSIONS);
    return extensions != nullptr && strstr(extensions, "GL_ARB_framebuffer_object") != nullptr;
#endif
}

// False where the driver will not compile or link it.
static bool MakePresentProgram()
{
    presentProgram = glCreateProgram();
    const char* sources[2] = {presentVertex, presentFragment};
    const GLenum stages[2] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};
    GLint built = 1;
    for (int i = 0; i < 2; i++) {
        GLuint shader = glCreateShader(stages[i]);
        glShaderSource(shader, 1, &sources[i], nullptr);
        glCompileShader(shader);
        GLint compiled = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
        built = built && compiled;
        glAttachShader(presentProgram, shader);
    }
    glBindAttribLocation(presentProgram, 0, "a_corner");
    if (built) {
        glLinkProgram(presentProgram);
        glGetProgramiv(presentProgram, GL_LINK_STATUS, &built);
    }
    if (!built)
        return false;
    // The uniforms are set as the pass draws, so no program is made
    // current here behind the caller's back.
    presentSceneAt = glGetUniformLocation(presentProgram, "scene");
    presentScaleAt = glGetUniformLocation(presentProgram, "scale");
    presentLimitAt = glGetUniformLocation(presentProgram, "limit");
    static const float corners[8] = {-1, -1, 1, -1, 1, 1, -1, 1};
    GLint buffer = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
    glGenBuffers(1, &presentBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, presentBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, (GLuint)buffer);
    return true;
}

// From now on the scenes go straight onto the picture, for the reason given.
static void DrawStraight(const char* why)
{
    sceneDirect = true;
    SetSceneSize(pictureWidth, pictureHeight);
    printf("brinelux: %s; they are drawn at the picture's size\n", why);
    fflush(stdout);
}

static const char NO_TEXTURE_TARGET[] = "this GPU cannot draw the scenes into a texture";

// The framebuffer the scenes draw into, a texture of the picture's size,
// and what draws it onto the window. False where the GPU cannot.
static bool ReadySceneTarget()
{
    if (sceneDirect)
        return false;
    if (presentProgram == 0) {
        if (!FramebuffersOffered()) {
            DrawStraight(NO_TEXTURE_TARGET);
            return false;
        }
        if (!MakePresentProgram()) {
            DrawStraight("the driver refused the program that scales the scenes onto the picture");
            return false;
        }
        FindTextureCap();
    }
    for (;;) {
        int32_t w = Least(pictureWidth, capWidth), h = Least(pictureHeight, capHeight);
        if (sceneTexture != 0 && textureWidth == w && textureHeight == h)
            break;
        // Unit 2: unit 0 holds the noise texture, unit 1 the glyphs.
        glActiveTexture(GL_TEXTURE2);
        if (sceneTexture == 0)
            glGenTextures(1, &sceneTexture);
        glBindTexture(GL_TEXTURE_2D, sceneTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        SetTextureSampling(GL_NEAREST, GL_CLAMP_TO_EDGE);
        glBindTexture(GL_TEXTURE_2D, 0);
        glActiveTexture(GL_TEXTURE0);
        if (sceneFramebuffer == 0)
            glGenFramebuffers(1, &sceneFramebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, sceneFramebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, sceneTexture, 0);
        bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, windowFramebuffer);
        bool refused = false;
        for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError())
            refused = true;
        if (complete && !refused) {
            textureWidth = w;
            textureHeight = h;
            break;
        }
        textureWidth = textureHeight = 0;
        // A size the driver has no memory for: half of it, down to a
        // small one. A GPU that cannot draw into a texture at all says so
        // once; the scenes then go straight to the window.
        if (!refused || (w <= 64 && h <= 64)) {
            DrawStraight(NO_TEXTURE_TARGET);
            return false;
        }
        capWidth = w / 2 < 1 ? 1 : w / 2;
        capHeight = h / 2 < 1 ? 1 : h / 2;
        printf("brinelux: the GPU has no memory for the scenes at %d x %d; they are drawn at most %d x %d\n", w, h,
               capWidth, capHeight);
        fflush(stdout);
    }
    SetSceneSize(sceneWidth, sceneHeight);
    return true;
}

void BeginPicture(bool scene)
{
    if (scene && ReadySceneTarget()) {
        glBindFramebuffer(GL_FRAMEBUFFER, sceneFramebuffer);
        glViewport(0, 0, sceneWidth, sceneHeight);
        SetSurfaceSize(sceneWidth, sceneHeight);
        return;
    }
    if (sceneFramebuffer != 0)
        glBindFramebuffer(GL_FRAMEBUFFER, windowFramebuffer);
    glViewport(pictureX, pictureY, pictureWidth, pictureHeight);
    SetSurfaceSize(pictureWidth, pictureHeight);
}

// The quad over the whole viewport from the present buffer, on attribute 0.
static void BindCorners()
{
    glBindBuffer(GL_ARRAY_BUFFER, presentBuffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
}

void EndPicture(bool scene)
{
    if (!scene || sceneDirect || sceneFramebuffer == 0)
        return;
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glBindFramebuffer(GL_FRAMEBUFFER, windowFramebuffer);
    glViewport(0, 0, presentWidth, presentHeight);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glViewport(pictureX, pictureY, pictureWidth, pictureHeight);
    // The scene's program is current again after the pass, as it is where
    // the scenes draw straight onto the window.
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glUseProgram(presentProgram);
    // Unit 2: unit 0 holds the noise texture, unit 1 the glyphs.
    glUniform1i(presentSceneAt, 2);
    float sx = (float)sceneWidth / textureWidth, sy = (float)sceneHeight / textureHeight;
    glUniform2f(presentScaleAt, sx, sy);
    glUniform4f(presentLimitAt, 0.5f / textureWidth, 0.5f / textureHeight, sx - 0.5f / textureWidth,
                sy - 0.5f / textureHeight);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, sceneTexture);
    // The picture's own size is copied pixel for pixel; a smaller scene is
    // scaled up smoothly.
    bool whole = sceneWidth == pictureWidth && sceneHeight == pictureHeight;
    SetTextureSampling(whole ? GL_NEAREST : GL_LINEAR, GL_CLAMP_TO_EDGE);
    GLint buffer = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
    BindCorners();
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    glBindBuffer(GL_ARRAY_BUFFER, (GLuint)buffer);
    glUseProgram((GLuint)program);
    // Unbound again, so that the next scene never draws into a texture
    // that a unit still offers.
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
}

// Draws a scene's program once into the scenes' framebuffer, over its
// letterbox band at w x h.
static void DrawProgram(int32_t part, int32_t w, int32_t h)
{
    GLuint scene = SceneProgram(part);
    if (glIsProgram(scene) != GL_TRUE)
        return;
    // The scene pass sets both again for every frame it draws.
    AimSceneProgram(scene, w, h, 2.0f);
    glViewport(0, 0, w, h);
    glScissor(0, h * 15 / 100, w, h * 70 / 100);
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
}

void ProbeScenes(bool first)
{
    if (!ReadySceneTarget())
        return;
    GLint program = 0, buffer = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
    glBindFramebuffer(GL_FRAMEBUFFER, sceneFramebuffer);
    glEnable(GL_SCISSOR_TEST);
    BindCorners();
    if (first) {
        DrawProgram(PART_SPHERES, 1, 1);
        DrawProgram(PART_WATER, 1, 1);
    }
    DrawProgram(PART_WATER, sceneWidth, sceneHeight);
    glDisable(GL_SCISSOR_TEST);
    glBindBuffer(GL_ARRAY_BUFFER, (GLuint)buffer);
    glUseProgram((GLuint)program);
    glBindFramebuffer(GL_FRAMEBUFFER, windowFramebuffer);
    glViewport(pictureX, pictureY, pictureWidth, pictureHeight);
}

void ForgetPictureGraphics()
{
    sceneTexture = sceneFramebuffer = presentProgram = presentBuffer = 0;
    textureWidth = textureHeight = 0;
    capWidth = capHeight = 0;
    glyphsHeight = -1;
}
