// Times the show's start-up work on a headless context: the vertex shader,
// each scene program (compile and link, then the first draw, where a driver
// may finish its code generation), and the noise texture.
//
//   startup_timing
#include <stdio.h>
#include <chrono>
#include "host/shared.h"
#include "platform/headless/headless_gl.h"
#include "render/render.h"

static double Now()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Runs step, waits for the GPU, returns milliseconds.
template <typename F> static double Timed(F step)
{
    double start = Now();
    step();
    glFinish();
    return Now() - start;
}

int main()
{
    if (!HeadlessCreateContext(1024, 768)) {
        fprintf(stderr, "startup_timing: no headless OpenGL context: %s\n", HeadlessError());
        return 1;
    }
    printf("renderer: %s\n", HeadlessRenderer());
    printf("vertex shader:        %8.1f ms\n", Timed([] { BuildVertexShader(); }));
    printf("water program build:  %8.1f ms\n", Timed([] { LoadShader(waterSource); }));
    printf("sphere program build: %8.1f ms\n", Timed([] { LoadShader(sphereSource); }));
    unsigned char* textura = nullptr;
    int32_t size = 0;
    printf("noise texture:        %8.1f ms\n",
           Timed([&] { noiseTexture = CrearTextura(textura, size, 256, 256); }));
    printf("water first draw:     %8.1f ms\n", Timed([] { DrawScene(shaderSlots[1]); }));
    printf("water second draw:    %8.1f ms\n", Timed([] { DrawScene(shaderSlots[1]); }));
    printf("sphere first draw:    %8.1f ms\n", Timed([] { DrawScene(shaderSlots[2]); }));
    printf("sphere second draw:   %8.1f ms\n", Timed([] { DrawScene(shaderSlots[2]); }));
    if (glErrorReported) {
        fprintf(stderr, "startup_timing: an OpenGL error was reported\n");
        return 1;
    }
    return 0;
}
