// Checks single GLSL functions of a scene program from C++: the scene's own
// main is renamed, a test main is appended that writes the values under test
// into a float render target, and the target is read back.
#pragma once

#include <string>
#include <vector>

struct ShaderProbe {
    bool ok;              // compiled, linked and drawn without a GL error
    std::string log;      // compile and link logs when not ok
    std::vector<float> rgba;  // width * height * 4 floats, rows from the bottom
    // Value of channel c (0..3) of pixel (x, y), y counted from the bottom.
    float at(int x, int y, int c) const { return rgba[((size_t)y * width + x) * 4 + c]; }
    int width;
};

// Renders width x height pixels with sceneSource's functions and testMain
// (GLSL text defining a new `void main()`), iGlobalTime = time and
// iResolution = (resX, resY). The noise texture is bound on unit 0 as in the
// show. Needs a current GL context (tests/gl_env.h).
ShaderProbe RunShaderProbe(const char* sceneSource, const std::string& testMain, int width, int height,
                           float time, float resX = 1024.0f, float resY = 768.0f);

// GLSL float literal for v, exact to single precision (always with a point or
// an exponent: GLSL 1.10 has no implicit int-to-float conversion).
std::string GlslFloat(float v);

// Creates the show's noise texture once per process and binds it to unit 0.
void EnsureNoiseTexture();
