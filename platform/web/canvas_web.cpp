// The page's picture: the canvas's drawing buffer at its displayed size in
// device pixels, the show's 4:3 picture centred in it between black bars,
// the cards drawn there at the picture's size, and the scenes drawn into a
// framebuffer of their own, at the picture's size or, where the GPU cannot
// keep the show's 25 frames a second, smaller, and scaled up onto it.
#include "platform/gl.h"
#include "state/shared.h"
#include "platform/web/web.h"
#include "render/render.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>
#include <math.h>
#include <stdio.h>

// The picture at most 2880 x 2160 (a 4K screen's height): the glyph table
// holds the cards' text up to that size. The scenes at least 256 x 192,
// a quarter of the show's own 1024 x 768 each way, however slow the GPU.
enum { PICTURE_MAX_HEIGHT = 2160, SCENE_MIN_HEIGHT = 192 };

static int32_t canvasWidth = SHOW_WIDTH, canvasHeight = SHOW_HEIGHT;
// The picture in the canvas, from its lower-left corner (GL's way).
static int32_t pictureX, pictureY, pictureWidth = SHOW_WIDTH, pictureHeight = SHOW_HEIGHT;
// The picture height the card glyphs were made for.
static int32_t glyphsHeight = -1;

static GLuint sceneTexture, sceneFramebuffer, presentProgram, presentBuffer;
static GLint presentScaleAt, presentLimitAt;
static int32_t textureWidth, textureHeight;
// A GPU that cannot render into a texture: scenes drawn straight onto the
// canvas at the picture's size.
static bool sceneDirect;

// Scene size: level 0 is the picture's; each level has 1/sqrt(2) of the
// pixels of the one before. Pinned by ?scale, else moved by the frame
// times the page measures.
static int32_t sceneLevel = -1;
static double pinnedScale = -1.0;
static int32_t sceneWidth, sceneHeight;
// The controller: its frame time (a moving average) over the samples since
// the size last moved, samples still to leave out, and when it may raise
// the size again.
static double costMs;
static int32_t costSamples;
static int32_t ignoreSamples;
static double raiseAfterMs;
static double raiseWaitMs = 2000.0;

EM_JS(void, ReportSceneSize, (int width, int height, int pictureW, int pictureH), {
    Module['sceneSize'] = [width, height, pictureW, pictureH];
    if (Module['onSceneSize']) Module['onSceneSize'](width, height, pictureW, pictureH);
});

static int32_t Smaller(int32_t a, int32_t b) { return a < b ? a : b; }

// The scenes' size at a fraction of the picture's side: the picture's
// shape, not below the floor, never above the picture.
static void SizeForScale(double scale, int32_t* width, int32_t* height)
{
    int32_t floor = Smaller(SCENE_MIN_HEIGHT, pictureHeight);
    int32_t h = (int32_t)lround(pictureHeight * scale);
    h = h < floor ? floor : Smaller(h, pictureHeight);
    int32_t w = (int32_t)lround((double)pictureWidth * h / pictureHeight);
    *width = w < 1 ? 1 : Smaller(w, pictureWidth);
    *height = h < 1 ? 1 : h;
}

static double LevelScale(int32_t level) { return pow(2.0, -0.25 * level); }

// The scenes' size at a level, or at the pinned scale.
static void SceneSizeAt(int32_t level, int32_t* width, int32_t* height)
{
    SizeForScale(pinnedScale > 0.0 ? pinnedScale : LevelScale(level), width, height);
}

static int32_t FloorLevel();

static void UpdateSceneSize()
{
    // The scenes start at their floor: the frame times raise them to what
    // the GPU can draw in time (a slow GPU's first frame is then not one of
    // seconds at the picture's full size).
    if (sceneLevel < 0)
        sceneLevel = FloorLevel();
    int32_t w, h;
    SceneSizeAt(sceneDirect ? 0 : sceneLevel, &w, &h);
    if (sceneDirect)
        w = pictureWidth, h = pictureHeight;
    if (w == sceneWidth && h == sceneHeight)
        return;
    sceneWidth = w;
    sceneHeight = h;
    ReportSceneSize(w, h, pictureWidth, pictureHeight);
}

void WebSetCanvasSize(int32_t width, int32_t height)
{
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    // What the GPU takes: the canvas within its viewport, the picture within
    // a texture. A larger canvas is drawn smaller and stretched by the page.
    GLint dims[2] = {0, 0}, texture = 0, renderbuffer = 0;
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    int32_t x, y, w, h;
    FramePicture(width, height, &x, &y, &w, &h);
    double k = 1.0;
    if (h > PICTURE_MAX_HEIGHT)
        k = (double)PICTURE_MAX_HEIGHT / h;
    if (dims[0] > 0 && dims[1] > 0)
        k = fmin(k, fmin((double)dims[0] / width, (double)dims[1] / height));
    if (renderbuffer > 0)
        k = fmin(k, fmin((double)renderbuffer / width, (double)renderbuffer / height));
    if (texture > 0)
        k = fmin(k, fmin((double)texture / w, (double)texture / h));
    if (k < 1.0) {
        width = (int32_t)(width * k);
        height = (int32_t)(height * k);
        width = width < 1 ? 1 : width;
        height = height < 1 ? 1 : height;
    }
    emscripten_set_canvas_element_size("#canvas", width, height);
    // The browser may give a smaller drawing buffer than asked for.
    int given[2] = {width, height};
    emscripten_webgl_get_drawing_buffer_size(emscripten_webgl_get_current_context(), &given[0], &given[1]);
    canvasWidth = given[0] > 0 ? given[0] : width;
    canvasHeight = given[1] > 0 ? given[1] : height;
    FramePicture(canvasWidth, canvasHeight, &x, &y, &pictureWidth, &pictureHeight);
    pictureX = x;
    pictureY = canvasHeight - y - pictureHeight;
    if (pictureHeight != glyphsHeight) {
        // The cards' text at the picture's height, as a capture of that
        // size draws it.
        SetSurfaceSize(pictureWidth, pictureHeight);
        glyphsHeight = pictureHeight;
        if (!PlatformUseFontBitmapsAt(32, 96, fontListBase, FontPixelHeight())) {
            // Too small for any text: lists that draw nothing.
            for (GLuint i = 0; i < 96; i++) {
                glNewList(fontListBase + i, GL_COMPILE);
                glEndList();
            }
        }
    }
    UpdateSceneSize();
}

static GLuint Compile(GLenum stage, const char* source)
{
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

// The framebuffer the scenes draw into, a texture of the picture's size,
// and what draws it onto the canvas. False where the GPU cannot.
static bool ReadySceneTarget()
{
    if (sceneDirect)
        return false;
    if (presentProgram == 0) {
        presentProgram = glCreateProgram();
        glAttachShader(presentProgram, Compile(GL_VERTEX_SHADER,
            "attribute vec2 a_corner;\n"
            "uniform vec2 scale;\n"
            "varying vec2 uv;\n"
            "void main() {\n"
            "  uv = (a_corner * 0.5 + 0.5) * scale;\n"
            "  gl_Position = vec4(a_corner, 0.0, 1.0);\n"
            "}\n"));
        // Clamped half a texel inside the scene's part of the texture, so
        // that scaling up never reads beyond it.
        glAttachShader(presentProgram, Compile(GL_FRAGMENT_SHADER,
            "precision highp float;\n"
            "uniform sampler2D scene;\n"
            "uniform vec4 limit;\n"
            "varying vec2 uv;\n"
            "void main() {\n"
            "  gl_FragColor = vec4(texture2D(scene, clamp(uv, limit.xy, limit.zw)).rgb, 1.0);\n"
            "}\n"));
        glBindAttribLocation(presentProgram, 0, "a_corner");
        glLinkProgram(presentProgram);
        GLint program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        glUseProgram(presentProgram);
        glUniform1i(glGetUniformLocation(presentProgram, "scene"), 2);
        presentScaleAt = glGetUniformLocation(presentProgram, "scale");
        presentLimitAt = glGetUniformLocation(presentProgram, "limit");
        glUseProgram((GLuint)program);
        static const float corners[8] = {-1, -1, 1, -1, 1, 1, -1, 1};
        GLint buffer = 0;
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
        glGenBuffers(1, &presentBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, presentBuffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, (GLuint)buffer);
    }
    if (sceneTexture != 0 && textureWidth == pictureWidth && textureHeight == pictureHeight)
        return true;
    // Unit 2: unit 0 holds the noise texture, unit 1 the glyphs.
    glActiveTexture(GL_TEXTURE2);
    if (sceneTexture == 0)
        glGenTextures(1, &sceneTexture);
    glBindTexture(GL_TEXTURE_2D, sceneTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, pictureWidth, pictureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    if (sceneFramebuffer == 0)
        glGenFramebuffers(1, &sceneFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, sceneFramebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, sceneTexture, 0);
    bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    // A texture the GPU has no memory for says so once; the scenes then go
    // straight to the canvas.
    while (glGetError() != GL_NO_ERROR)
        complete = false;
    if (!complete) {
        sceneDirect = true;
        UpdateSceneSize();
        printf("brinelux: this GPU cannot draw the scenes into a texture; they are drawn at the picture's "
               "size\n");
        fflush(stdout);
        return false;
    }
    textureWidth = pictureWidth;
    textureHeight = pictureHeight;
    return true;
}

void WebBeginPicture(bool scene)
{
    if (scene && ReadySceneTarget()) {
        glBindFramebuffer(GL_FRAMEBUFFER, sceneFramebuffer);
        glViewport(0, 0, sceneWidth, sceneHeight);
        SetSurfaceSize(sceneWidth, sceneHeight);
        return;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(pictureX, pictureY, pictureWidth, pictureHeight);
    SetSurfaceSize(pictureWidth, pictureHeight);
}

void WebEndPicture(bool scene)
{
    if (!scene || sceneDirect || sceneFramebuffer == 0)
        return;
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, canvasWidth, canvasHeight);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glViewport(pictureX, pictureY, pictureWidth, pictureHeight);
    glUseProgram(presentProgram);
    float sx = (float)sceneWidth / textureWidth, sy = (float)sceneHeight / textureHeight;
    glUniform2f(presentScaleAt, sx, sy);
    glUniform4f(presentLimitAt, 0.5f / textureWidth, 0.5f / textureHeight, sx - 0.5f / textureWidth,
                sy - 0.5f / textureHeight);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, sceneTexture);
    // The picture's own size is copied pixel for pixel; a smaller scene is
    // scaled up smoothly.
    GLint filter = sceneWidth == pictureWidth && sceneHeight == pictureHeight ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    GLint buffer = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, presentBuffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    glBindBuffer(GL_ARRAY_BUFFER, (GLuint)buffer);
    // Unbound again, so that the next scene never draws into a texture
    // that a unit still offers.
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
}

// Draws a scene's program once into the scenes' framebuffer, over its
// letterbox band at w x h (nothing is shown).
static void DrawProgram(int32_t part, int32_t w, int32_t h)
{
    GLuint scene = SceneProgram(part);
    if (glIsProgram(scene) != GL_TRUE)
        return;
    // The scene pass sets both again for every frame it draws.
    glUseProgram(scene);
    glUniform2f(glGetUniformLocation(scene, "iResolution"), (float)w, (float)h);
    glUniform1f(glGetUniformLocation(scene, "iGlobalTime"), 2.0f);
    glViewport(0, 0, w, h);
    glScissor(0, h * 15 / 100, w, h * 70 / 100);
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
}

void WebProbeScenes(bool first)
{
    if (!ReadySceneTarget())
        return;
    GLint program = 0, buffer = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
    glBindFramebuffer(GL_FRAMEBUFFER, sceneFramebuffer);
    glEnable(GL_SCISSOR_TEST);
    glBindBuffer(GL_ARRAY_BUFFER, presentBuffer);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    // A program's first draw carries the driver's compile of it (seconds
    // in software WebGL): both are drawn in one pixel first, and this
    // probe's time does not count.
    if (first) {
        DrawProgram(PART_SPHERES, 1, 1);
        DrawProgram(PART_WATER, 1, 1);
        ignoreSamples = 1;
    }
    DrawProgram(PART_WATER, sceneWidth, sceneHeight);
    glDisable(GL_SCISSOR_TEST);
    glBindBuffer(GL_ARRAY_BUFFER, (GLuint)buffer);
    glUseProgram((GLuint)program);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(pictureX, pictureY, pictureWidth, pictureHeight);
}

bool WebSceneSizeSettled(void) { return pinnedScale > 0.0 || sceneDirect || costSamples >= 6; }

void WebForgetCanvasGraphics(void)
{
    sceneTexture = sceneFramebuffer = presentProgram = presentBuffer = 0;
    textureWidth = textureHeight = 0;
    glyphsHeight = -1;
}

int32_t WebPictureHeight(void) { return pictureHeight; }

// ---- the scenes' size, kept to the show's 40 ms a frame ----

// Scene frames take `ms` from one animation frame to the next (the GPU's
// time, or the display's where the GPU is quicker): a frame over the
// show's 40 ms lowers the size as far as it needs at once, a frame with
// room raises it a level at a time. Between them a band where nothing
// moves, a few frames after each move before the next, and a longer wait
// before raising again to a size that proved too slow keep it still.

void WebPinSceneScale(double scale)
{
    pinnedScale = scale;
    UpdateSceneSize();
}

// The first level at which the scenes are at their floor.
static int32_t FloorLevel()
{
    int32_t floor = Smaller(SCENE_MIN_HEIGHT, pictureHeight), level = 0, w, h;
    for (;; level++) {
        SizeForScale(LevelScale(level), &w, &h);
        if (h <= floor || level >= 64)
            return level;
    }
}

void WebNoteSceneFrame(double ms, double displayMs, double nowMs)
{
    if (pinnedScale > 0.0 || sceneDirect)
        return;
    if (ignoreSamples > 0) {
        ignoreSamples--;
        return;
    }
    costMs = costSamples == 0 ? ms : costMs * 0.6 + ms * 0.4;
    costSamples++;
    int32_t floorLevel = FloorLevel();
    // A display slower than 25 Hz sets the frame's time whatever the size.
    double budget = fmax(40.0, displayMs * 1.1);
    int32_t level = sceneLevel;
    // Far over: at once; a little over: when a few frames agree.
    bool over = costMs > budget * 2.0 || (costSamples >= 3 && costMs > budget * 1.15);
    if (over && level < floorLevel) {
        level += (int32_t)ceil(log(costMs / 40.0) / log(sqrt(2.0)));
        level = level > floorLevel ? floorLevel : level;
        // A size just left for being too slow waits longer each time.
        raiseAfterMs = nowMs + raiseWaitMs;
        raiseWaitMs = fmin(raiseWaitMs * 2.0, 30000.0);
    } else if (costSamples >= 8 && level > 0 && nowMs >= raiseAfterMs &&
               (costMs * sqrt(2.0) < 32.0 || costMs <= displayMs * 1.1)) {
        // Room: a level up would still take under 32 ms, or the display,
        // not the GPU, sets the pace.
        level -= 1;
    }
    if (level == sceneLevel)
        return;
    sceneLevel = level;
    costSamples = 0;
    ignoreSamples = 1;
    UpdateSceneSize();
}
