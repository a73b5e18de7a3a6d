// Water Scene's renderer: camera, march, shading helpers and whole frames
// drawn through the show's own scene pass.
#include <gtest/gtest.h>
#include <math.h>
#include <string>
#include "state/shared.h"
#include "render/render.h"
#include "tests/support/gl_env.h"
#include "tests/support/shader_probe.h"
#include "tests/shaders/water_support.h"

TEST(WaterCamera, CentreRayAndOrbitEye)
{
    // With a 1 x 1 resolution the only pixel sits exactly at the centre.
    ShaderProbe probe = RunShaderProbe(waterSource,
                                       "void main()\n{\n    vec3 vEye;\n    vec3 vDir;\n"
                                       "    OrbitCamera(vEye, vDir, vec3(0.0, 0.0, 0.0), vec2(0.5, 0.16), 2.8, 1.0);\n"
                                       "    gl_FragColor = vec4(vDir, 0.0);\n"
                                       "    if (gl_FragCoord.y > 1.0) gl_FragColor = vec4(vEye, 0.0);\n}\n",
                                       1, 2, 0.04f, 1.0f, 1.0f);
    ASSERT_TRUE(probe.ok) << probe.log;
    EXPECT_NEAR(probe.at(0, 0, 0), 0.139815f, 1e-6f);
    EXPECT_NEAR(probe.at(0, 0, 1), -0.479426f, 1e-6f);
    EXPECT_NEAR(probe.at(0, 0, 2), 0.866373f, 1e-6f);
    EXPECT_NEAR(probe.at(0, 1, 0), -0.391482f, 1e-5f);
    EXPECT_NEAR(probe.at(0, 1, 1), 1.342392f, 1e-5f);
    EXPECT_NEAR(probe.at(0, 1, 2), -2.425846f, 1e-5f);
}

TEST(WaterCamera, BandRaysPointBetween8And48DegreesDown)
{
    ShaderProbe probe = RunShaderProbe(waterSource,
                                       "void main()\n{\n    vec3 vEye;\n    vec3 vDir;\n"
                                       "    OrbitCamera(vEye, vDir, vec3(0.0, 0.0, 0.0), vec2(0.5, 0.16), 2.8, 1.0);\n"
                                       "    gl_FragColor = vec4(vDir, length(vDir));\n}\n",
                                       1024, 768, 0.04f);
    ASSERT_TRUE(probe.ok) << probe.log;
    auto below = [&](int x, int y) { return (float)(-asin(probe.at(x, y, 1)) * 180.0 / M_PI); };
    EXPECT_NEAR(below(0, 652), 7.9f, 0.05f);
    EXPECT_NEAR(below(1023, 652), 7.9f, 0.05f);
    EXPECT_NEAR(below(511, 115), 47.9f, 0.05f);
    EXPECT_NEAR(below(512, 115), 47.9f, 0.05f);
    for (int y = 115; y <= 652; y += 7) {
        for (int x = 0; x < 1024; x += 5) {
            ASSERT_NEAR(probe.at(x, y, 3), 1.0f, 1e-5f);
            ASSERT_GT(below(x, y), 7.8f);
            ASSERT_LT(below(x, y), 48.0f);
        }
    }
    // Positive turn: the right half of the screen looks further towards +x.
    EXPECT_GT(probe.at(1000, 400, 0), probe.at(20, 400, 0));
}

TEST(WaterTrace, HitsStopNearTheSurfaceAndMissesGiveZero)
{
    const std::string down = "vec3(0.139815, -0.479426, 0.866373)";
    std::vector<Vec4> v = EvalAtPoints(
        "vec4(TraceWater(p, " + down + "), WaterDistance(p + TraceWater(p, " + down + ") * " + down + "),"
        " TraceWater(p, vec3(0.0, 1.0, 0.0)), TraceWater(p, vec3(1.0, 0.0, 0.0)))",
        {{-0.391482f, 5.562102f, -2.425846f}, {0.0f, 0.6f, 0.0f}, {0.0f, 0.5625f, 0.0f}}, 0.04f);
    for (int i = 0; i < 3; i++) {
        EXPECT_GT(v[i][0], 0.0f) << "point " << i;
        // Straight up the gap only grows; level at 0.6 it never falls to 0.1,
        // whether the loop ends by its pass count or past 100 units.
        EXPECT_EQ(v[i][2], 0.0f) << "point " << i;
    }
    // Starting just above the surface the march settles within a hundredth
    // or two; from high up the last step may overshoot, by less than 0.1.
    EXPECT_LT(fabsf(v[1][1]), 0.02f);
    EXPECT_LT(fabsf(v[2][1]), 0.02f);
    EXPECT_LT(fabsf(v[0][1]), 0.15f);
    EXPECT_EQ(v[1][3], 0.0f);
    // From the top of the show's sinking eye the centre ray reaches the
    // surface roughly where the geometry says: about 5.6 / sin(28.65 deg).
    EXPECT_NEAR(v[0][0], 5.56f / 0.479426f, 1.2f);
}

TEST(WaterTrace, EyeBelowTheSurfaceStepsBackwards)
{
    // The first gap is negative, so the march stops after one step and
    // returns that gap: a point behind the eye.
    std::vector<Vec4> v = EvalAtPoints("vec4(TraceWater(p, vec3(0.0, 0.0, 1.0)), WaterDistance(p), 0.0, 0.0)",
                                       {{0.0f, -1.0f, 0.0f}, {2.0f, -0.6f, 3.0f}}, 5.5f);
    for (const Vec4& r : v) {
        EXPECT_LT(r[0], 0.0f);
        EXPECT_EQ(r[0], r[1]);
    }
}

TEST(WaterShading, NormalPointsUpAndColourStaysInRange)
{
    // The normal is a unit vector, upwards on most of the surface (where the
    // height climbs faster than y its gap's gradient can point down), and
    // shading stays a colour in [0, 1] with blue and green over red.
    std::vector<Vec3> points;
    for (int i = 0; i < 256; i++)
        points.push_back({(float)(i % 16) * 0.9f - 7.0f, 0.0f, (float)(i / 16) * 1.1f + 1.0f});
    std::vector<Vec4> n = EvalAtPoints("vec4(WaterNormal(p), length(WaterNormal(p)))", points, 0.04f);
    std::vector<Vec4> c = EvalAtPoints("vec4(ShadeWater(p, normalize(vec3(0.1, -0.5, 0.85))), 0.0)", points, 0.04f);
    // Looking straight down the normal: the dot of two unit vectors can
    // round past 1, which must not turn the Fresnel weight or the encoded
    // colour negative or undefined.
    // (On llvmpipe about a quarter of these normals round past 1.)
    std::vector<Vec4> head = EvalAtPoints("vec4(GammaEncode(ShadeWater(p, -WaterNormal(p))), 0.0)", points, 0.04f);
    int up = 0;
    for (size_t i = 0; i < points.size(); i++) {
        EXPECT_NEAR(n[i][3], 1.0f, 1e-5f) << "point " << i;
        up += n[i][1] > 0.0f;
        EXPECT_GE(c[i][0], 0.0f);
        EXPECT_LE(c[i][0], c[i][1]);
        EXPECT_LE(c[i][1], c[i][2]);
        EXPECT_LE(c[i][2], 1.0f);
        EXPECT_GE(c[i][1], 0.04f);
        for (int k = 0; k < 3; k++)
            EXPECT_TRUE(head[i][k] >= 0.0f && head[i][k] <= 1.0f) << "point " << i << " channel " << k;
    }
    EXPECT_GT(up, (int)points.size() * 9 / 10);
}

namespace {

struct Frame {
    std::vector<unsigned char> rgba;
    const unsigned char* at(int x, int y) const { return &rgba[((size_t)y * 1024 + x) * 4]; }
};

class WaterFrame : public ::testing::Test {
protected:
    static GLuint program;
    static std::string loadOut, loadErr;

    static void SetUpTestSuite()
    {
        EnsureNoiseTexture();
        ClearGLErrors();
        CaptureOutput(
            [](void*) {
                BuildVertexShader();
                program = LoadShader(waterSource);
            },
            nullptr, loadOut, loadErr);
    }

    // One scene pass into the 1024 x 768 stand-in for the window, starting
    // from a clock value so that the pass advances it to the one wanted.
    static Frame Draw(float clockBefore, std::string* out = nullptr, std::string* err = nullptr)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, HeadlessFramebuffer());
        glViewport(0, 0, 1024, 768);
        glClearColor(1.0f, 0.0f, 1.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        showClocks.sceneTime = clockBefore;
        std::string o, e;
        CaptureOutput([](void* p) { DrawScene(*(GLuint*)p); }, &program, o, e);
        if (out)
            *out = o;
        if (err)
            *err = e;
        glFinish();
        return Frame{ReadFramebuffer()};
    }
};
GLuint WaterFrame::program;
std::string WaterFrame::loadOut, WaterFrame::loadErr;

} // namespace

TEST_F(WaterFrame, ProgramBuildsCleanlyIntoTheFirstSceneSlot)
{
    EXPECT_EQ(loadOut, "");
    EXPECT_EQ(loadErr, "");
    EXPECT_EQ(shaderSlots[1], program);
    EXPECT_TRUE(glIsProgram(program));
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    EXPECT_TRUE(linked);
}

TEST_F(WaterFrame, FirstFrameMatchesTheKnownPixelAndBand)
{
    std::string out, err;
    Frame f = Draw(0.0f, &out, &err);
    EXPECT_EQ(showClocks.sceneTime, 0.04f);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    // Column 800, row 200 from the bottom: about (0.09, 0.25, 0.25).
    const unsigned char* px = f.at(800, 200);
    EXPECT_NEAR(px[0], 0.09 * 255, 6) << "red";
    EXPECT_NEAR(px[1], 0.25 * 255, 6) << "green";
    EXPECT_NEAR(px[2], 0.25 * 255, 6) << "blue";

    for (int x = 0; x < 1024; x++) {
        for (int y : {0, 114, 653, 767}) {
            const unsigned char* p = f.at(x, y);
            ASSERT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 255) << "row " << y << " column " << x;
        }
    }
}

TEST_F(WaterFrame, BandIsDarkTealWaterWithFoamAtStartAndEnd)
{
    for (float before : {0.0f, 4.9999967f}) {
        Frame f = Draw(before);
        long long sumG = 0, sumR = 0, pale = 0, count = 0;
        for (int y = 115; y <= 652; y++) {
            for (int x = 0; x < 1024; x++) {
                const unsigned char* p = f.at(x, y);
                // The dark base alone encodes to 0.04^(1/2.2), green 59.
                ASSERT_GE(p[1], 58) << "time " << showClocks.sceneTime << " pixel " << x << ", " << y;
                ASSERT_LE(p[0], p[1]);
                ASSERT_LE(p[1], p[2]);
                ASSERT_EQ(p[3], 255);
                sumG += p[1];
                sumR += p[0];
                pale += p[2] > 150;
                count++;
            }
        }
        double meanG = (double)sumG / count, meanR = (double)sumR / count;
        EXPECT_GT(meanG, 60.0) << "time " << showClocks.sceneTime;
        EXPECT_LT(meanG, 140.0) << "time " << showClocks.sceneTime;
        EXPECT_LT(meanR, meanG - 20.0) << "time " << showClocks.sceneTime;
        // Streaks, not a sheet.
        EXPECT_GT(pale, count / 500) << "time " << showClocks.sceneTime;
        EXPECT_LT(pale, count / 5) << "time " << showClocks.sceneTime;
    }
}

TEST(WaterMain, SinksTheEyeOneUnitPerSecondKeepingTheView)
{
    // The scene's own main (renamed by the probe) against the same camera
    // with the eye height 5.602102 - fTime put in by hand. Two times pin
    // both the start height and the rate.
    const std::string testMain =
        "void main()\n{\n    sceneMain();\n    vec4 cMain = gl_FragColor;\n"
        "    vec3 vEye;\n    vec3 vDir;\n"
        "    OrbitCamera(vEye, vDir, vec3(0.0, 0.0, 0.0), vec2(0.5, 0.16), 2.8, 1.0);\n"
        "    vEye.y = 5.602102 - fTime;\n"
        "    vec3 cSunk = GammaEncode(ShadeWater(vEye + TraceWater(vEye, vDir) * vDir, vDir));\n"
        "    gl_FragColor = vec4(distance(cMain.rgb, cSunk), cMain.a, 0.0, 0.0);\n}\n";
    for (float time : {0.04f, 5.04f}) {
        // Row 1 of a 3-row screen lies in its band, rows 0 and 2 outside.
        ShaderProbe probe = RunShaderProbe(waterSource, testMain, 5, 3, time, 5.0f, 3.0f);
        ASSERT_TRUE(probe.ok) << probe.log;
        for (int x = 0; x < 5; x++) {
            EXPECT_LT(probe.at(x, 1, 0), 1e-3f) << "time " << time << " column " << x;
            EXPECT_EQ(probe.at(x, 1, 1), 1.0f);
            EXPECT_EQ(probe.at(x, 0, 1), 1.0f);
            EXPECT_EQ(probe.at(x, 2, 1), 1.0f);
        }
    }
}
