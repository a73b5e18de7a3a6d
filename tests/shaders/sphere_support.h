// Runs pieces of the Sphere Scene's program through the shader probe: each
// case is a GLSL block that assigns the vec4 `r` and becomes one probe pixel.
#pragma once

#include <array>
#include <string>
#include <vector>

using SphereValue = std::array<float, 4>;

// Evaluates each case (GLSL statements setting `vec4 r`, with fTime already
// set to iGlobalTime = time) and returns the four values of each. `prelude`
// is GLSL placed before the test main. Fails the calling test when the probe
// does not compile or draw.
std::vector<SphereValue> SphereCases(const std::vector<std::string>& cases, float time = 0.0f,
                                     const std::string& prelude = "");

// SceneDistance at each (x, y, z) with fTime = t, from one call site: Mesa
// takes minutes to fold dozens of inlined calls with constant arguments.
struct ScenePoint {
    float t, x, y, z;
};
std::vector<SphereValue> SceneSamples(const std::vector<ScenePoint>& points);

// GLSL literals, exact to single precision.
std::string Glsl(float v);
std::string Glsl(float x, float y, float z);
