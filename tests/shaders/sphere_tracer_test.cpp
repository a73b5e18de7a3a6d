// The Sphere Scene's tracer: camera ray, march rules, shading terms, light,
// fog and glow, the overlay and the whole pipeline down one column.
#include <gtest/gtest.h>
#include <cmath>
#include "render/render.h"
#include "tests/support/gl_env.h"
#include "tests/support/shader_probe.h"
#include "tests/shaders/sphere_support.h"

namespace {

const float pi = 3.14159265f;
const float root3 = std::sqrt(3.0f);

// March helpers: one returns (fDistance, vObjectId), the other (vPos, fDistance).
const char* marchPrelude =
    "vec4 March(vec3 o, vec3 d, float maxDistance, int budget)\n"
    "{ C_HitInfo h; MarchRay(C_Ray(o, d), maxDistance, budget, h); return vec4(h.fDistance, h.vObjectId); }\n"
    "vec4 MarchPos(vec3 o, vec3 d, float maxDistance, int budget)\n"
    "{ C_HitInfo h; MarchRay(C_Ray(o, d), maxDistance, budget, h); return vec4(h.vPos, h.fDistance); }\n";

// A point at radius `radius` from the centre of the cell at (3, 0, 3), along
// the diagonal that lies between all three circles of studs.
std::string Diagonal(float radius)
{
    float k = radius / root3;
    return Glsl(3 + k, k, 3 + k);
}
const char* inward = "-normalize(vec3(1.0))";

} // namespace

TEST(SphereMarch, StopsAtTheFirstSampleWhenItIsWithinTheTolerance)
{
    std::vector<SphereValue> v = SphereCases(
        {
            "r = March(" + Diagonal(1.1f) + ", " + inward + ", 30.0, 256);",
            "r = MarchPos(" + Diagonal(1.1f) + ", " + inward + ", 30.0, 256);",
            "r = March(" + Diagonal(1.109f) + ", " + inward + ", 30.0, 256);",
            // 0.015 away is outside the tolerance: one step is taken.
            "r = March(" + Diagonal(1.115f) + ", " + inward + ", 30.0, 256);",
        },
        0.0f, marchPrelude);
    EXPECT_EQ(v[0][0], 0.1f);
    EXPECT_FLOAT_EQ(v[0][1], 2.0f);
    EXPECT_NEAR(v[0][2], pi / 4.0f, 1e-5f);
    const float k = 1.0f / root3;
    EXPECT_NEAR(v[1][0], 3 + k, 1e-5f);
    EXPECT_NEAR(v[1][1], k, 1e-5f);
    EXPECT_NEAR(v[1][2], 3 + k, 1e-5f);
    EXPECT_EQ(v[1][3], 0.1f);
    EXPECT_EQ(v[2][0], 0.1f);
    EXPECT_FLOAT_EQ(v[2][1], 2.0f);
    EXPECT_NEAR(v[3][0], 0.115f, 1e-5f);
    EXPECT_FLOAT_EQ(v[3][1], 2.0f);
}

TEST(SphereMarch, MissesWhenTheDistanceLimitIsReachedEvenAtASurface)
{
    std::vector<SphereValue> v = SphereCases(
        {
            // A limit at or below the first sample's distance: a miss at once,
            // though that sample lies on the sphere.
            "r = March(" + Diagonal(1.1f) + ", " + inward + ", 0.1, 256);",
            "r = MarchPos(" + Diagonal(1.1f) + ", " + inward + ", 0.1, 256);",
            "r = March(" + Diagonal(1.1f) + ", " + inward + ", 0.05, 256);",
            // The surface lies 0.5 along the ray: found beyond a limit of 0.45.
            "r = March(" + Diagonal(1.5f) + ", " + inward + ", 0.45, 256);",
            "r = March(" + Diagonal(1.5f) + ", " + inward + ", 0.55, 256);",
        },
        0.0f, marchPrelude);
    EXPECT_EQ(v[0][0], 1000.0f);
    EXPECT_EQ(v[0][1], 0.0f);
    // The last sample's parameters stay: the sphere's angle about its centre.
    EXPECT_NEAR(v[0][2], pi / 4.0f, 1e-5f);
    const float k = 1.0f / root3;
    EXPECT_NEAR(v[1][0], 3 + k, 1e-5f);
    EXPECT_NEAR(v[1][1], k, 1e-5f);
    EXPECT_NEAR(v[1][2], 3 + k, 1e-5f);
    EXPECT_EQ(v[1][3], 1000.0f);
    EXPECT_EQ(v[2][0], 1000.0f);
    EXPECT_EQ(v[2][1], 0.0f);
    EXPECT_EQ(v[3][0], 1000.0f);
    EXPECT_EQ(v[3][1], 0.0f);
    EXPECT_NEAR(v[4][0], 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(v[4][1], 2.0f);
}

TEST(SphereMarch, ABudgetRunOutShortOfTheLimitCountsAsAHit)
{
    // Straight up from near a cell corner: everything recedes, so a full
    // budget ends in a miss, and a short one stops in open space.
    const std::string o = Glsl(0.5f, 5.0f, 0.5f), up = "vec3(0.0, 1.0, 0.0)";
    std::vector<SphereValue> v = SphereCases(
        {
            "r = March(" + o + ", " + up + ", 30.0, 0);",
            "r = vec4(SceneDistance(" + o + " + 0.1 * " + up + ").x);",
            "r = MarchPos(" + o + ", " + up + ", 30.0, 0);",
            "r = March(" + o + ", " + up + ", 30.0, 32);",
            "r = MarchPos(" + o + ", " + up + ", 30.0, 32);",
        },
        0.0f, marchPrelude);
    const float first = v[1][0];
    ASSERT_GT(first, 1.0f);
    // One step of the full estimate, then the budget stops it: a hit.
    EXPECT_NEAR(v[0][0], 0.1f + first, 1e-5f);
    EXPECT_FLOAT_EQ(v[0][1], 2.0f);
    // The hit's position lies at its distance along the ray.
    EXPECT_FLOAT_EQ(v[2][1], 5.0f + v[2][3]);
    EXPECT_FLOAT_EQ(v[2][0], 0.5f);
    // With room to go on, the same ray passes its limit and misses there.
    EXPECT_EQ(v[3][0], 1000.0f);
    EXPECT_EQ(v[3][1], 0.0f);
    EXPECT_GE(v[4][1] - 5.0f, 30.0f);
    EXPECT_FLOAT_EQ(v[4][0], 0.5f);
    EXPECT_FLOAT_EQ(v[4][2], 0.5f);
}

TEST(SphereLight, VisibilityIsAHardShadowAlongTheMarch)
{
    const std::string toward = "vec3(0.0, 0.0, -1.0)";
    const std::string start = Glsl(3.0f, 0.0f, 5.5f);
    std::vector<SphereValue> v = SphereCases({
        // The sphere and its +z stud lie between 1.3 and 4.2 along this ray.
        "r = vec4(LightVisibility(" + start + ", " + toward + ", 5.0));",
        "r = vec4(LightVisibility(" + start + ", " + toward + ", 1.0));",
        // Within 0.2 of the light, even from inside a solid: always lit.
        "r = vec4(LightVisibility(" + Glsl(3.0f, 0.0f, 3.0f) + ", " + toward + ", 0.1));",
        "r = vec4(LightVisibility(" + Glsl(3.0f, 0.0f, 3.0f) + ", " + toward + ", 0.05));",
    });
    EXPECT_EQ(v[0][0], 0.0f);
    EXPECT_EQ(v[1][0], 1.0f);
    EXPECT_EQ(v[2][0], 1.0f);
    EXPECT_EQ(v[3][0], 1.0f);
}

TEST(SphereLight, CirclesAtTheLeftAndPulsesRed)
{
    auto at = [](float t) {
        return std::vector<std::string>{"fTime = " + Glsl(t) + "; r = vec4(LightPosition(), 0.0);",
                                        "fTime = " + Glsl(t) + "; r = vec4(LightColor(), 0.0);"};
    };
    std::vector<std::string> cases;
    for (float t : {0.0f, pi / 2.0f, 3.0f * pi / 2.0f, 7.0f})
        for (const std::string& c : at(t))
            cases.push_back(c);
    std::vector<SphereValue> v = SphereCases(cases);
    const float expect[4][6] = {{-3, 0, -5, 0, 2, 1},
                                {-2, 0, -6, 32, 2, 1},
                                {-4, 0, -6, 32, 2, 1},
                                {-3 + std::sin(7.0f), 0, -6 + std::cos(7.0f), 32 * std::fabs(std::sin(7.0f)), 2, 1}};
    for (int i = 0; i < 4; i++)
        for (int c = 0; c < 3; c++) {
            EXPECT_NEAR(v[2 * i][c], expect[i][c], 2e-5f) << "position, case " << i << ", component " << c;
            EXPECT_NEAR(v[2 * i + 1][c], expect[i][3 + c], 1e-4f) << "colour, case " << i << ", channel " << c;
        }
    // sin t = 0: no red at all.
    EXPECT_EQ(v[1][0], 0.0f);
}

TEST(SphereLight, FogTurnsTowardTheBackgroundAndTheGlowFollowsTheVisibleRay)
{
    auto fog = [](float t, float ox, float oz, float distance, const char* colour) {
        return "fTime = " + Glsl(t) + "; C_Ray ray = C_Ray(" + Glsl(ox, 1.0f, oz) +
               ", vec3(0.0, 0.0, -1.0)); C_HitInfo hit; hit.fDistance = " + Glsl(distance) +
               "; vec3 c = " + colour + "; ApplyFogAndGlow(c, ray, hit); r = vec4(c, 0.0);";
    };
    std::vector<SphereValue> v = SphereCases({
        // Misses passing 1 below the light: horizon colour plus the glow.
        fog(0.0f, -3.0f, 0.0f, 1000.0f, "vec3(5.0)"),
        fog(pi / 2.0f, -2.0f, 0.0f, 1000.0f, "vec3(5.0)"),
        // A hit 2 along: fogged a little, and the glow measured only up to it.
        fog(0.0f, -3.0f, 0.0f, 2.0f, "vec3(1.0, 0.5, 0.25)"),
        // The light behind the origin: the nearest visible point is the origin.
        fog(0.0f, -3.0f, -10.0f, 1000.0f, "vec3(0.0)"),
    });
    const float horizon[3] = {0.2f, 0.45f, 0.5f};
    const float noRed[3] = {0.2f, 0.47f, 0.51f}, red[3] = {0.52f, 0.47f, 0.51f};
    float T = std::exp(-0.05f);
    const float colour[3] = {1.0f, 0.5f, 0.25f}, glow[3] = {0.0f, 0.02f, 0.01f};
    for (int c = 0; c < 3; c++) {
        EXPECT_NEAR(v[0][c], noRed[c], 1e-6f) << c;
        EXPECT_NEAR(v[1][c], red[c], 1e-5f) << c;
        EXPECT_NEAR(v[2][c], horizon[c] * (1 - T) + colour[c] * T + glow[c] / 10.0f, 1e-6f) << c;
        EXPECT_NEAR(v[3][c], horizon[c] + glow[c] / 26.0f, 1e-6f) << c;
    }
}

TEST(SphereShading, BackgroundAmbientAndToneMap)
{
    std::vector<SphereValue> v = SphereCases({
        "r = vec4(BackgroundColor(vec3(0.0, -1.0, 0.0)), 0.0);",
        "r = vec4(BackgroundColor(vec3(0.0, 0.0, 1.0)), 0.0);",
        "r = vec4(BackgroundColor(vec3(0.0, 1.0, 0.0)), 0.0);",
        "r = vec4(AmbientLight(normalize(vec3(1.0, 1.0, 0.0))), 0.0);",
        "r = vec4(ToneMap(vec3(0.0, 1.0, 3.0)), ToneMap(vec3(80.0)).x);",
    });
    const float horizon[3] = {0.2f, 0.45f, 0.5f}, top[3] = {0.4f, 0.9f, 1.0f};
    const float half = 0.5f * std::sqrt(0.5f) + 0.5f;
    for (int c = 0; c < 3; c++) {
        EXPECT_EQ(v[0][c], 0.0f);
        EXPECT_NEAR(v[1][c], horizon[c], 1e-7f);
        EXPECT_NEAR(v[2][c], top[c], 1e-7f);
        EXPECT_NEAR(v[3][c], top[c] * half, 1e-6f);
    }
    EXPECT_EQ(v[4][0], 0.0f);
    EXPECT_NEAR(v[4][1], 0.5f, 1e-6f);
    EXPECT_NEAR(v[4][2], 0.875f, 1e-6f);
    EXPECT_LE(v[4][3], 1.0f);
    EXPECT_GT(v[4][3], 0.999f);
}

TEST(SphereShading, FresnelWeightRunsFromFaceOnToGrazing)
{
    // The material's scale: 0.9 x smoothness 0.9 + 0.1.
    const std::string k = "0.9 * 0.9 + 0.1";
    const std::string n = "vec3(0.0, 0.0, 1.0)";
    std::vector<SphereValue> v = SphereCases({
        "r = vec4(FresnelWeight(" + n + ", vec3(0.0, 0.0, -1.0), 0.05, " + k + "));",
        "r = vec4(FresnelWeight(" + n + ", vec3(1.0, 0.0, 0.0), 0.05, " + k + "));",
        // Seen from behind the weight stays at its grazing value.
        "r = vec4(FresnelWeight(" + n + ", vec3(0.0, 0.0, 1.0), 0.05, " + k + "));",
        "r = vec4(FresnelWeight(" + n + ", vec3(0.0, sqrt(0.75), -0.5), 0.05, " + k + "));",
    });
    EXPECT_NEAR(v[0][0], 0.05f, 1e-7f);
    EXPECT_NEAR(v[1][0], 0.9145f, 1e-6f);
    EXPECT_NEAR(v[2][0], 0.9145f, 1e-6f);
    EXPECT_NEAR(v[3][0], 0.05f + 0.95f * 0.03125f * 0.91f, 1e-6f);
}

TEST(SphereShading, SpecularIsANormalisedHighlightOfPower2To9Point4)
{
    const float power = std::exp2(4.0f + 6.0f * 0.9f);
    const float factor = (power + 2.0f) / 8.0f;
    // Half vector at the angle whose cosine to that power is one half.
    const float halfAngle = std::acos(std::exp(std::log(0.5f) / power));
    auto term = [](const std::string& light, const std::string& n) {
        return "C_Material m; m.fR0 = 0.05; m.fSmoothness = 0.9; C_Ray ray = C_Ray(vec3(0.0), vec3(0.0, 0.0, -1.0));"
               " r = vec4(SpecularTerm(ray, m, " +
               light + ", " + n + "));";
    };
    const std::string n = "vec3(0.0, 0.0, 1.0)";
    std::vector<SphereValue> v = SphereCases({
        term("vec3(0.0, 0.0, 1.0)", n),
        term("vec3(0.0, " + Glsl(std::sin(2 * halfAngle)) + ", " + Glsl(std::cos(2 * halfAngle)) + ")", n),
        term("vec3(0.0, 0.0, 1.0)", "vec3(0.0, 0.0, -1.0)"),
    });
    EXPECT_NEAR(factor, 84.7f, 0.01f);
    EXPECT_NEAR(v[0][0], factor, 0.01f);
    EXPECT_NEAR(v[1][0], factor / 2.0f, factor * 0.01f);
    EXPECT_EQ(v[2][0], 0.0f);
}

TEST(SphereShading, NormalsPointOutOfSphereAndStudAndOcclusionDarkensCreases)
{
    const float a = 0.22f;  // just beside the stud on +z
    const std::string crease = Glsl(3.0f, std::sin(a), 3.0f + std::cos(a));
    const std::string creaseNormal = Glsl(0.0f, std::sin(a), std::cos(a));
    std::vector<SphereValue> v = SphereCases({
        "r = vec4(SceneNormal(" + Diagonal(1.0f) + "), 0.0);",
        "r = vec4(SceneNormal(" + Glsl(3.05f, 0.02f, 4.2f) + "), 0.0);",
        "r = vec4(AmbientOcclusion(" + Diagonal(1.0f) + ", normalize(vec3(1.0))));",
        "r = vec4(AmbientOcclusion(" + crease + ", " + creaseNormal + "));",
    });
    const float k = 1.0f / root3;
    for (int c = 0; c < 3; c++)
        EXPECT_NEAR(v[0][c], k, 1e-3f) << c;
    EXPECT_NEAR(v[1][0], 0.0f, 1e-4f);
    EXPECT_NEAR(v[1][1], 0.0f, 1e-4f);
    EXPECT_NEAR(v[1][2], 1.0f, 1e-4f);
    EXPECT_NEAR(v[2][0], 1.0f, 1e-5f);
    EXPECT_LT(v[3][0], 0.8f);
    EXPECT_GT(v[3][0], 0.3f);
}

TEST(SphereCameraRay, SpansTheFieldOfViewAroundTheForwardVector)
{
    // A resolution of 4 x 3 keeps the show's aspect: p.x runs -0.5625 to
    // 0.5625 over the first four pixel centres, p.y -0.375 to 0.375.
    const char* testMain =
        "void main()\n{\n    fTime = 0.0;\n    C_Ray ray;\n"
        "    if (gl_FragCoord.x < 4.0) LookAtCameraRay(vec3(0.0, 0.0, 5.0), vec3(0.0, 0.0, 0.0), ray);\n"
        "    else LookAtCameraRay(vec3(0.0, 5.0, 5.0), vec3(0.0, 0.0, 0.0), ray);\n"
        "    gl_FragColor = vec4(ray.vDir, ray.vOrigin.y);\n}\n";
    ShaderProbe probe = RunShaderProbe(sphereSource, testMain, 8, 3, 0.0f, 4.0f, 3.0f);
    ASSERT_TRUE(probe.ok) << probe.log;
    const float s = std::sqrt(0.5f);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 8; x++) {
            float px = ((x + 0.5f) / 4.0f * 2 - 1) * 0.75f;
            float py = ((y + 0.5f) / 3.0f * 2 - 1) * 0.75f / (4.0f / 3.0f);
            // Looking down -z from the front, then from 45 degrees above.
            float d[3] = {px, py, -1};
            if (x >= 4) {
                d[0] = px;
                d[1] = py * s - s;
                d[2] = -py * s - s;
            }
            float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int c = 0; c < 3; c++)
                EXPECT_NEAR(probe.at(x, y, c), d[c] / len, 1e-6f) << "pixel " << x << ", " << y << ", " << c;
            EXPECT_EQ(probe.at(x, y, 3), x < 4 ? 0.0f : 5.0f);
        }
}

TEST(SphereOverlay, LightShaftsStayWithinTheirRangeOverTheBand)
{
    for (float time : {0.04f, 14.04f}) {
        ShaderProbe probe = RunShaderProbe(sphereSource, "void main() { gl_FragColor = vec4(LightShafts(), 1.0); }",
                                           1024, 768, time);
        ASSERT_TRUE(probe.ok) << probe.log;
        float lo = 1e9f, hi = -1e9f;
        for (int y = 115; y <= 652; y++)
            for (int x = 0; x < 1024; x++)
                for (int c = 0; c < 3; c++) {
                    lo = std::min(lo, probe.at(x, y, c));
                    hi = std::max(hi, probe.at(x, y, c));
                }
        EXPECT_GT(lo, 0.015f) << time;
        EXPECT_LT(hi, 0.64f) << time;
        // The beams come down from the top: brighter above than below.
        EXPECT_GT(probe.at(300, 640, 2), probe.at(300, 130, 2)) << time;
    }
}

TEST(SpherePipeline, OneColumnIsLetterboxedAndBoundedByTheOverlay)
{
    ShaderProbe probe = RunShaderProbe(sphereSource, "void main() { sceneMain(); }", 1, 768, 0.04f);
    ASSERT_TRUE(probe.ok) << probe.log;
    for (int y = 0; y < 768; y++) {
        bool band = y >= 115 && y <= 652;
        float sum = 0;
        for (int c = 0; c < 3; c++) {
            float value = probe.at(0, y, c);
            ASSERT_TRUE(std::isfinite(value)) << "row " << y;
            if (band) {
                EXPECT_GE(value, 0.0f) << "row " << y;
                EXPECT_LT(value, 0.64f) << "row " << y;
            } else {
                EXPECT_EQ(value, 0.0f) << "row " << y;
            }
            sum += value;
        }
        EXPECT_EQ(probe.at(0, y, 3), 1.0f) << "row " << y;
        if (band) {
            EXPECT_GT(sum, 0.01f) << "row " << y;
        }
    }
}
