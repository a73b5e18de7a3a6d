#include "tests/shaders/sphere_support.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include "render/render.h"
#include "tests/support/shader_probe.h"

std::string Glsl(float v) { return GlslFloat(v); }

std::string Glsl(float x, float y, float z)
{
    return "vec3(" + Glsl(x) + ", " + Glsl(y) + ", " + Glsl(z) + ")";
}

// One probe pixel per value; a failed probe fails the test and gives values
// that no expectation accepts.
static std::vector<SphereValue> ProbeValues(const std::string& testMain, size_t count, float time)
{
    ShaderProbe probe = RunShaderProbe(sphereSource, testMain, (int)count, 1, time);
    EXPECT_TRUE(probe.ok) << probe.log;
    std::vector<SphereValue> values(count, SphereValue{-1e9f, -1e9f, -1e9f, -1e9f});
    if (probe.ok)
        for (size_t i = 0; i < count; i++)
            for (int c = 0; c < 4; c++)
                values[i][c] = probe.at((int)i, 0, c);
    return values;
}

std::vector<SphereValue> SphereCases(const std::vector<std::string>& cases, float time, const std::string& prelude)
{
    std::string testMain = prelude + "\nvoid main()\n{\n    fTime = iGlobalTime;\n"
                                     "    int i = int(gl_FragCoord.x);\n    vec4 r = vec4(-12345.0);\n";
    for (size_t i = 0; i < cases.size(); i++)
        testMain += std::string(i ? "    else " : "    ") + "if (i == " + std::to_string(i) + ")\n    {\n" +
                    cases[i] + "\n    }\n";
    testMain += "    gl_FragColor = r;\n}\n";
    return ProbeValues(testMain, cases.size(), time);
}

std::vector<SphereValue> SceneSamples(const std::vector<ScenePoint>& points)
{
    // Picked by assignment: long chains of early returns are not safe on Mesa.
    std::string testMain = "vec4 ProbePoint(int i)\n{\n    vec4 v = vec4(0.0);\n";
    for (size_t i = 0; i < points.size(); i++)
        testMain += "    if (i == " + std::to_string(i) + ") v = vec4(" + Glsl(points[i].x) + ", " +
                    Glsl(points[i].y) + ", " + Glsl(points[i].z) + ", " + Glsl(points[i].t) + ");\n";
    testMain += "    return v;\n}\n"
                "void main()\n{\n    vec4 pt = ProbePoint(int(gl_FragCoord.x));\n    fTime = pt.w;\n"
                "    gl_FragColor = SceneDistance(pt.xyz);\n}\n";
    return ProbeValues(testMain, points.size(), 0.0f);
}
