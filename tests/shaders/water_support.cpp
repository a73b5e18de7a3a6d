#include "tests/shaders/water_support.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include "render/render.h"
#include "tests/support/shader_probe.h"

std::vector<Vec4> EvalAtPoints(const std::string& expression, const std::vector<Vec3>& points, float time,
                               const std::string& prelude)
{
    // Plain assignments, not a chain of returns: Mesa mislowers long chains
    // of early returns (beyond about 80 points the wrong point comes back).
    std::string pick = "vec3 ProbePoint(int i)\n{\n    vec3 p = vec3(0.0, 0.0, 0.0);\n";
    for (size_t i = 0; i < points.size(); i++) {
        pick += "    if (i == " + std::to_string(i) + ") p = vec3(" + GlslFloat(points[i][0]) + ", " +
                GlslFloat(points[i][1]) + ", " + GlslFloat(points[i][2]) + ");\n";
    }
    pick += "    return p;\n}\n";
    std::string testMain = prelude + "\n" + pick +
                           "void main()\n{\n    fTime = iGlobalTime;\n"
                           "    vec3 p = ProbePoint(int(gl_FragCoord.x));\n"
                           "    gl_FragColor = " +
                           expression + ";\n}\n";
    std::vector<Vec4> values;
    ShaderProbe probe = RunShaderProbe(waterSource, testMain, (int)points.size(), 1, time);
    EXPECT_TRUE(probe.ok) << probe.log;
    if (!probe.ok)
        return std::vector<Vec4>(points.size(), Vec4{-1e9f, -1e9f, -1e9f, -1e9f});
    for (size_t i = 0; i < points.size(); i++)
        values.push_back({probe.at((int)i, 0, 0), probe.at((int)i, 0, 1), probe.at((int)i, 0, 2),
                          probe.at((int)i, 0, 3)});
    return values;
}

Vec3 NoiseTexel(int x, int y)
{
    static std::vector<unsigned char> bytes;
    if (bytes.empty()) {
        EnsureNoiseTexture();
        bytes.resize(512 * 512 * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
    }
    const unsigned char* t = &bytes[(size_t)(512 * y + x) * 3];
    return {t[0] / 255.0f, t[1] / 255.0f, t[2] / 255.0f};
}
