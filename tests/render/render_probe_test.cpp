// The probe technique itself: a scene function's values come back exactly.
#include "render/render.h"
#include "tests/support/gl_env.h"
#include "tests/support/shader_probe.h"

TEST(ShaderProbe, ReturnsValuesOfSceneFunctionsAndUniforms)
{
    const char* scene =
        "uniform vec2 iResolution;\nuniform float iGlobalTime;\nuniform vec3 iMouse;\n"
        "uniform sampler2D iChannel0;\n"
        "float Twice(float x) { return 2.0 * x; }\n"
        "void main() { gl_FragColor = vec4(1.0); }\n";
    ShaderProbe p = RunShaderProbe(scene,
                                   "void main() { gl_FragColor = vec4(Twice(gl_FragCoord.x), iGlobalTime,"
                                   " iResolution.x, -7.25); }",
                                   3, 2, 0.04f, 640.0f, 480.0f);
    ASSERT_TRUE(p.ok) << p.log;
    EXPECT_FLOAT_EQ(p.at(2, 1, 0), 5.0f);
    EXPECT_FLOAT_EQ(p.at(0, 0, 1), 0.04f);
    EXPECT_FLOAT_EQ(p.at(1, 0, 2), 640.0f);
    // Values outside [0, 1] survive: the target is float, nothing clamps.
    EXPECT_FLOAT_EQ(p.at(1, 1, 3), -7.25f);
}

TEST(ShaderProbe, ReportsCompileErrors)
{
    ShaderProbe p = RunShaderProbe("void main() {}", "void main() { float x = 1; gl_FragColor = vec4(x); }", 1,
                                   1, 0.0f);
    EXPECT_FALSE(p.ok);
    EXPECT_FALSE(p.log.empty());
}
