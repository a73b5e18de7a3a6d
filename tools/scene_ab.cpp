// brinelux-scene-ab: one scene program of the show timed against an earlier
// version of it, in one process, frame by frame in turn.
//
// Two runs of --bench on a shared machine scatter by more than the change
// being measured; drawing both programs alternately in the same context,
// at the same scene times, and taking the median of the per-frame ratios
// cancels most of that. The earlier program is drawn the earlier way (the
// whole screen quad, no band scissor), the show's through its scene pass,
// and a first pass, not timed, compares their bytes.
//
//   brinelux-scene-ab water|spheres EARLIER.glsl [--rounds N]
//
// Status 0: every compared frame identical; 1: some differ; 2: refused.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/headless/headless_gl.h"
#include "platform/posix/descriptors.h"
#include "render/render.h"
#include "state/shared.h"

static const int WIDTH = SHOW_WIDTH;
static const int HEIGHT = SHOW_HEIGHT;

static int Refuse(const char* what, const char* detail = "")
{
    fprintf(stderr, "brinelux-scene-ab: %s%s\n", what, detail);
    return 2;
}

static bool ReadSource(const char* path, std::string& text)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return false;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

// The earlier program, linked with the show's own vertex shader; 0 with the
// compiler's first line in log when it does not build.
static GLuint LinkEarlier(const std::string& source, std::string& log)
{
    const char* text = source.c_str();
    GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(shader, 1, &text, NULL);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    GLuint program = glCreateProgram();
    if (ok) {
        glAttachShader(program, shaderSlots[0]);
        glAttachShader(program, shader);
        glBindAttribLocation(program, 0, "a_position");
        glLinkProgram(program);
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
    }
    if (!ok) {
        char line[512] = "";
        glGetShaderInfoLog(shader, sizeof line, NULL, line);
        if (!line[0])
            glGetProgramInfoLog(program, sizeof line, NULL, line);
        log = line;
        log = log.substr(0, log.find('\n'));
        return 0;
    }
    return program;
}

static double Milliseconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// The earlier scene pass: every pixel of the viewport runs the program.
static double DrawEarlier(GLuint program, float time)
{
    static const float corners[12] = {-1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
    glBindFramebuffer(GL_FRAMEBUFFER, HeadlessFramebuffer());
    glViewport(0, 0, WIDTH, HEIGHT);
    auto start = std::chrono::steady_clock::now();
    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "iResolution"), (float)WIDTH, (float)HEIGHT);
    glUniform1f(glGetUniformLocation(program, "iGlobalTime"), time);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, corners);
    glEnableVertexAttribArray(0);
    glDrawArrays(GL_QUADS, 0, 4);
    glFinish();
    return Milliseconds(start);
}

// The show's scene pass from the clock value before the frame; time
// receives the iGlobalTime it drew with.
static double DrawCurrent(GLuint program, float clockBefore, float& time)
{
    glBindFramebuffer(GL_FRAMEBUFFER, HeadlessFramebuffer());
    glViewport(0, 0, WIDTH, HEIGHT);
    auto start = std::chrono::steady_clock::now();
    showClocks.sceneTime = clockBefore;
    DrawScene(program);
    glFinish();
    time = showClocks.sceneTime;
    return Milliseconds(start);
}

static std::vector<unsigned char> ReadFrame()
{
    std::vector<unsigned char> pixels((size_t)WIDTH * HEIGHT * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

static double Quantile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v[(size_t)(q * (double)(v.size() - 1) + 0.5)];
}

int main(int argc, char** argv)
{
    KeepStandardDescriptorsOpen();
    const char* usage = "usage: brinelux-scene-ab water|spheres EARLIER.glsl [--rounds N (1 to 1000, default 8)]";
    if (argc != 3 && argc != 5)
        return Refuse(usage);
    bool water = strcmp(argv[1], "water") == 0;
    if (!water && strcmp(argv[1], "spheres") != 0)
        return Refuse("the part is water or spheres, not ", argv[1]);
    int rounds = 8;
    if (argc == 5) {
        char* end = NULL;
        long n = strtol(argv[4], &end, 10);
        if (strcmp(argv[3], "--rounds") != 0 || end == argv[4] || *end || n < 1 || n > 1000)
            return Refuse(usage);
        rounds = (int)n;
    }
    std::string source;
    if (!ReadSource(argv[2], source))
        return Refuse("cannot read ", argv[2]);
    if (!HeadlessCreateContext(WIDTH, HEIGHT))
        return Refuse("no headless OpenGL context: ", HeadlessError());

    unsigned char* textura = NULL;
    int32_t size = 0;
    noiseTexture = CrearTextura(textura, size, 256, 256);
    BuildVertexShader();
    GLuint current = LoadShader(water ? waterSource : sphereSource);
    std::string log;
    GLuint earlier = LinkEarlier(source, log);
    if (!earlier)
        return Refuse("the earlier program does not build: ", log.c_str());
    if (glGetError() != GL_NO_ERROR)
        return Refuse("OpenGL reported an error while building the programs");

    // Clock values before a frame, inside each part's clock.
    const float waterClocks[4] = {0.0f, 1.48f, 2.96f, 4.48f};
    const float sphereClocks[4] = {0.0f, 3.48f, 6.96f, 10.48f};
    const float* clocks = water ? waterClocks : sphereClocks;

    printf("brinelux-scene-ab %s, %dx%d, renderer: %s\n", argv[1], WIDTH, HEIGHT, HeadlessRenderer());
    // The comparison pass also warms both programs up (the driver finishes
    // compiling at a program's first draws), so it is not timed.
    int status = 0;
    float times[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; i++) {
        DrawCurrent(current, clocks[i], times[i]);
        std::vector<unsigned char> now = ReadFrame();
        DrawEarlier(earlier, times[i]);
        std::vector<unsigned char> then = ReadFrame();
        size_t differing = 0;
        for (size_t k = 0; k < now.size(); k++)
            differing += now[k] != then[k];
        if (differing) {
            printf("time %.2f: %zu bytes differ\n", times[i], differing);
            status = 1;
        } else {
            printf("time %.2f: identical\n", times[i]);
        }
    }

    std::vector<double> before, after, ratios;
    for (int round = 0; round < rounds; round++) {
        for (int i = 0; i < 4; i++) {
            // Alternate which program goes first: the first draw after a
            // switch tends to pay for the other's leftovers.
            double a, b;
            if (round % 2 == 0) {
                b = DrawCurrent(current, clocks[i], times[i]);
                a = DrawEarlier(earlier, times[i]);
            } else {
                a = DrawEarlier(earlier, times[i]);
                b = DrawCurrent(current, clocks[i], times[i]);
            }
            before.push_back(a);
            after.push_back(b);
            ratios.push_back(b / a);
        }
        if (glGetError() != GL_NO_ERROR)
            return Refuse("OpenGL reported an error while drawing");
        fprintf(stderr, "\rround %d of %d", round + 1, rounds);
    }
    fprintf(stderr, "\n");
    printf("%zu frames each: earlier %.1f ms, current %.1f ms (medians); current/earlier per frame: median %.3f, "
           "quartiles %.3f-%.3f\n",
           ratios.size(), Quantile(before, 0.5), Quantile(after, 0.5), Quantile(ratios, 0.5), Quantile(ratios, 0.25),
           Quantile(ratios, 0.75));
    return status;
}
