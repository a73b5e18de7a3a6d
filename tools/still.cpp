// Renders one frame of a scene at a chosen clock value with no window and
// writes it as a PNG, timing the frame. Uses the show's own program building,
// noise texture and scene pass, so a still is exactly what the show draws.
//
//   still --scene sphere|water --time 7.0 --out file.png [--repeat N]
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>
#include "host/shared.h"
#include "platform/headless/headless_gl.h"
#include "render/render.h"

static const int width = 1024;
static const int height = 768;

static int Usage(const char* why)
{
    fprintf(stderr, "still: %s (usage: still --scene sphere|water --time SECONDS --out FILE.png [--repeat N])\n",
            why);
    return 2;
}

// GL rows come bottom first; PNG rows top first.
static bool WritePng(const char* path, const std::vector<unsigned char>& rgba)
{
    FILE* file = fopen(path, "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png ? png_create_info_struct(png) : NULL;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<unsigned char> row((size_t)width * 3);
    for (int y = height - 1; y >= 0; y--) {
        const unsigned char* src = &rgba[(size_t)y * width * 4];
        for (int x = 0; x < width; x++) {
            row[x * 3 + 0] = src[x * 4 + 0];
            row[x * 3 + 1] = src[x * 4 + 1];
            row[x * 3 + 2] = src[x * 4 + 2];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0;
}

int main(int argc, char** argv)
{
    const char* scene = nullptr;
    const char* out = nullptr;
    double time = NAN;
    long repeat = 1;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (strcmp(arg, "--scene") != 0 && strcmp(arg, "--out") != 0 && strcmp(arg, "--time") != 0 &&
            strcmp(arg, "--repeat") != 0)
            return Usage((std::string("unknown argument ") + arg).c_str());
        if (i + 1 >= argc)
            return Usage((std::string(arg) + " needs a value").c_str());
        const char* value = argv[++i];
        char* end = nullptr;
        if (strcmp(arg, "--scene") == 0) {
            scene = value;
        } else if (strcmp(arg, "--out") == 0) {
            out = value;
        } else if (strcmp(arg, "--time") == 0) {
            time = strtod(value, &end);
            if (end == value || *end != 0 || !std::isfinite(time) || time < 0.0 || time > 1.0e6)
                return Usage("--time takes seconds from 0 to 1e6");
        } else {
            repeat = strtol(value, &end, 10);
            if (end == value || *end != 0 || repeat < 1 || repeat > 1000)
                return Usage("--repeat takes a count from 1 to 1000");
        }
    }
    if (!scene || (strcmp(scene, "sphere") != 0 && strcmp(scene, "water") != 0))
        return Usage("--scene must be sphere or water");
    if (std::isnan(time))
        return Usage("--time is required");
    if (!out)
        return Usage("--out is required");

    if (!HeadlessCreateContext(width, height)) {
        fprintf(stderr, "still: no headless OpenGL context: %s\n", HeadlessError());
        return 1;
    }
    // Built in the show's order, so the slots are the show's: 1 water, 2 sphere.
    BuildVertexShader();
    LoadShader(waterSource);
    LoadShader(sphereSource);
    unsigned char* textura = nullptr;
    int32_t size = 0;
    noiseTexture = CrearTextura(textura, size, 256, 256);
    GLuint program = shaderSlots[strcmp(scene, "water") == 0 ? 1 : 2];
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[2048] = {0};
        glGetProgramInfoLog(program, sizeof log, NULL, log);
        fprintf(stderr, "still: the %s program did not link: %s\n", scene, log);
        return 1;
    }

    double firstMs = 0.0, restMs = 0.0;
    float shown = 0.0f;
    for (long i = 0; i < repeat; i++) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
        glFinish();
        // The scene pass adds its own 0.04 step before drawing.
        sceneTime = (float)(time - 0.04);
        auto start = std::chrono::steady_clock::now();
        DrawScene(program);
        glFinish();
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        shown = sceneTime;
        if (i == 0)
            firstMs = ms;
        else
            restMs += ms;
    }
    if (QuitRequested()) {
        fprintf(stderr, "still: OpenGL reported an error while drawing\n");
        return 1;
    }
    std::vector<unsigned char> pixels((size_t)width * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    if (!WritePng(out, pixels)) {
        fprintf(stderr, "still: cannot write %s\n", out);
        return 1;
    }
    // The first frame may carry the driver's deferred compile; later ones do not.
    if (repeat > 1)
        printf("%s iGlobalTime %.7g on %s: %.1f ms per frame over %ld frames after the first (first %.1f ms)\n",
               scene, shown, HeadlessRenderer(), restMs / (double)(repeat - 1), repeat - 1, firstMs);
    else
        printf("%s iGlobalTime %.7g on %s: %.1f ms per frame (one frame)\n", scene, shown, HeadlessRenderer(),
               firstMs);
    return 0;
}
