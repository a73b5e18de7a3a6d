// Helpers for the Water Scene tests: evaluating scene functions at chosen
// points through the shader probe, and the noise texture's bytes as uploaded.
#pragma once

#include <array>
#include <string>
#include <vector>

using Vec3 = std::array<float, 3>;
using Vec4 = std::array<float, 4>;

// Evaluates `expression` (GLSL of type vec4, reading the vec3 `p`) once per
// point, with iGlobalTime = time; one probe pixel per point. `prelude` is
// extra GLSL placed before main. Fails the calling test when the probe does.
std::vector<Vec4> EvalAtPoints(const std::string& expression, const std::vector<Vec3>& points, float time,
                               const std::string& prelude = "");

// Texel (x, y) of the noise texture as floats (byte / 255), read back from GL.
Vec3 NoiseTexel(int x, int y);
