// The Sphere Scene's world: camera path, cell fold and sway, the elements'
// placement and parameters, the nearer-sample rule and the material.
#include <gtest/gtest.h>
#include <cmath>
#include "render/render.h"
#include "tests/support/gl_env.h"
#include "tests/support/shader_probe.h"
#include "tests/shaders/sphere_support.h"

namespace {

const float pi = 3.14159265f;


} // namespace

TEST(SphereCamera, FollowsThePathAtTheListedTimes)
{
    struct Row {
        float t, eye[3], target[3];
    };
    const Row rows[] = {
        {0.04f, {-1.265f, 5.625f, 3.970f}, {0, -1, 0.020f}}, {2, {4.661f, 4.233f, 3.059f}, {0, -1, 0.841f}},
        {4, {-0.393f, -3.493f, 6.053f}, {0, -1, 0.909f}},    {6, {-3.238f, -5.784f, 2.251f}, {0, -1, 0.141f}},
        {8, {3.103f, -0.549f, 6.251f}, {0, -1, -0.757f}},    {10, {2.949f, 5.586f, 3.018f}, {0, -1, -0.959f}},
        {12, {-3.916f, 4.233f, 3.968f}, {0, -1, -0.279f}},   {14.04f, {-2.453f, -3.622f, 5.465f}, {0, -1, 0.672f}},
    };
    std::vector<std::string> cases;
    for (const Row& row : rows) {
        std::string setup = "fTime = " + Glsl(row.t) + "; vec3 eye; vec3 target; CameraPath(eye, target);";
        cases.push_back(setup + " r = vec4(eye, length(eye));");
        cases.push_back(setup + " r = vec4(target, 0.0);");
    }
    std::vector<SphereValue> v = SphereCases(cases);
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const Row& row = rows[i];
        for (int c = 0; c < 3; c++) {
            EXPECT_NEAR(v[2 * i][c], row.eye[c], 0.0015f) << "eye at t = " << row.t << ", component " << c;
            EXPECT_NEAR(v[2 * i + 1][c], row.target[c], 0.0015f) << "target at t = " << row.t << ", component " << c;
        }
        // The eye never leaves the sphere of radius 7 about the world origin.
        EXPECT_NEAR(v[2 * i][3], 7.0f, 1e-5f) << "t = " << row.t;
    }
}

TEST(SphereWorld, FoldsNegativeCoordinatesIntoTheCellAndSwaysAfterTheFold)
{
    const float halfPi = pi / 2.0f;
    std::vector<SphereValue> v = SceneSamples({
        // With sin t = 0 every object sits at its cell's centre.
        {0.0f, 3, 0, 3},
        {0.0f, -3, 0, -3},
        {0.0f, 9, 0, -9},
        // x = -1 folds to cell-local 2 (a remainder toward zero would give -4):
        // 0.8 beyond the cap of the stud on +x, not 2.8 beyond the one on -x.
        {0.0f, -1, 0, 3},
        {0.0f, 5, 0, 3},
        // z is folded the same way; y is not folded at all.
        {0.0f, 3, 0, -1},
        {0.0f, 3, 6, 3},
        // sin t = 1: every centre moves to world x = 3 + 6i - 1.
        {halfPi, 2, 0, 3},
        {halfPi, -4, 0, 9},
        {halfPi, 3, 0, 3},
    });
    EXPECT_NEAR(v[0][0], -1.0f, 1e-6f);
    EXPECT_NEAR(v[1][0], -1.0f, 1e-6f);
    EXPECT_NEAR(v[2][0], -1.0f, 1e-6f);
    EXPECT_NEAR(v[3][0], 0.8f, 1e-5f);
    EXPECT_FLOAT_EQ(v[3][1], 2.0f);
    EXPECT_NEAR(v[4][0], 0.8f, 1e-5f);
    EXPECT_NEAR(v[5][0], 0.8f, 1e-5f);
    // Six above the centre nothing is near (the studs' bound gives about 4).
    EXPECT_GT(v[6][0], 3.9f);
    EXPECT_NEAR(v[7][0], -1.0f, 1e-5f);
    EXPECT_NEAR(v[8][0], -1.0f, 1e-5f);
    // The old centre is now the centre of the stud on +x, 0.2 inside it.
    EXPECT_NEAR(v[9][0], -0.2f, 1e-5f);
}

TEST(SphereWorld, StudsStandOutOfTheSurfaceAlongThreeGreatCircles)
{
    // Every distinct stud direction: three great circles at 30-degree steps.
    std::vector<std::array<float, 3>> dirs;
    for (int k = 0; k < 12; k++) {
        float a = (float)k * pi / 6.0f, s = std::sin(a), c = std::cos(a);
        std::array<float, 3> candidates[3] = {{0, c, s}, {s, 0, c}, {c, s, 0}};
        for (auto& d : candidates) {
            bool seen = false;
            for (auto& e : dirs)
                seen |= std::fabs(e[0] - d[0]) + std::fabs(e[1] - d[1]) + std::fabs(e[2] - d[2]) < 1e-4f;
            if (!seen)
                dirs.push_back(d);
        }
    }
    ASSERT_EQ(dirs.size(), 30u);
    // A point 0.3 out along the stud's axis and 0.15 along each tangent is
    // 0.1 above its cap only if the stud stands straight out of the sphere.
    std::vector<ScenePoint> points;
    std::vector<size_t> used;
    for (size_t i = 0; i < dirs.size(); i++) {
        const auto& d = dirs[i];
        if (d[1] < -0.99f)
            continue;  // the bottom stud carries the chain's first link
        std::array<float, 3> a = std::fabs(d[1]) < 0.9f ? std::array<float, 3>{0, 1, 0} : std::array<float, 3>{1, 0, 0};
        std::array<float, 3> t1 = {d[1] * a[2] - d[2] * a[1], d[2] * a[0] - d[0] * a[2], d[0] * a[1] - d[1] * a[0]};
        float len = std::sqrt(t1[0] * t1[0] + t1[1] * t1[1] + t1[2] * t1[2]);
        for (float& x : t1)
            x /= len;
        std::array<float, 3> t2 = {d[1] * t1[2] - d[2] * t1[1], d[2] * t1[0] - d[0] * t1[2],
                                   d[0] * t1[1] - d[1] * t1[0]};
        float p[3];
        for (int c = 0; c < 3; c++)
            p[c] = 1.3f * d[c] + 0.15f * t1[c] + 0.15f * t2[c];
        points.push_back({0.0f, 3 + p[0], p[1], 3 + p[2]});
        used.push_back(i);
    }
    // Between the circles the sphere itself is nearest.
    float k = 1.05f / std::sqrt(3.0f);
    points.push_back({0.0f, 3 + k, k, 3 + k});
    std::vector<SphereValue> v = SceneSamples(points);
    for (size_t i = 0; i < used.size(); i++) {
        const auto& d = dirs[used[i]];
        EXPECT_NEAR(v[i][0], 0.1f, 1e-5f) << "stud toward (" << d[0] << ", " << d[1] << ", " << d[2] << ")";
        EXPECT_FLOAT_EQ(v[i][1], 2.0f);
    }
    const SphereValue& s = v.back();
    EXPECT_NEAR(s[0], 0.05f, 1e-6f);
    EXPECT_FLOAT_EQ(s[1], 2.0f);
    EXPECT_NEAR(s[2], pi / 4.0f, 1e-5f);  // angle of (x, z) about the centre
    EXPECT_NEAR(s[3], k, 1e-6f);          // height above the centre
}

TEST(SphereWorld, LinksHangInTwoInterleavedColumnsTurnedApart)
{
    const float h = 0.3f / std::sqrt(2.0f);
    std::vector<SphereValue> v = SceneSamples({
        // Column 1, link at 5 below the centre, ring in the x-y plane.
        {0.0f, 3 + h, -5 + h, 3},
        // Column 2, link at 4.5 below, ring turned 45 degrees about y: its
        // plane holds y and (1, 0, -1).
        {0.0f, 3 + h, -4.5f, 3 - h},
        // Tops of a column-1 and a column-2 ring.
        {0.0f, 3, -4.7f, 3},
        {0.0f, 3, -4.2f, 3},
        // The lowest link reaches 9.9 below the centre.
        {0.0f, 3, -9.9f, 3},
        {0.0f, 3, -10.2f, 3},
    });
    EXPECT_NEAR(v[0][0], -0.1f, 1e-5f);
    EXPECT_FLOAT_EQ(v[0][1], 1.0f);
    EXPECT_NEAR(v[0][2], 0.0f, 1e-5f);
    EXPECT_NEAR(v[0][3], h, 1e-5f);
    EXPECT_NEAR(v[1][0], -0.1f, 1e-5f);
    EXPECT_FLOAT_EQ(v[1][1], 1.0f);
    EXPECT_NEAR(v[1][2], -pi / 2.0f, 1e-4f);
    EXPECT_NEAR(v[1][3], 0.0f, 1e-5f);
    for (int i = 2; i < 4; i++) {
        EXPECT_NEAR(v[i][0], -0.1f, 1e-5f) << i;
        EXPECT_FLOAT_EQ(v[i][1], 1.0f) << i;
        EXPECT_NEAR(v[i][3], 0.3f, 1e-5f) << i;
    }
    EXPECT_NEAR(v[4][0], 0.0f, 1e-5f);
    EXPECT_NEAR(v[5][0], 0.3f, 1e-5f);
}

TEST(SphereWorld, DistanceAloneAgreesWithTheFullSampleDownTheChainsAndPastTheirEnds)
{
    // The marches step on WorldDistance, which measures only the two links
    // of a column that bracket the sample and takes one square root per kind
    // of element. Down the chain axis and beside it, above the sphere, past
    // the lowest link, in cells on both sides of zero, with the normal's
    // offset passed apart, it must give SceneDistance's distance.
    const char* main =
        "void main()\n{\n    fTime = iGlobalTime;\n"
        "    float u = gl_FragCoord.x - 0.5;\n    float w = gl_FragCoord.y - 0.5;\n"
        "    float cell = 6.0 * floor(mod(u, 4.0)) - 12.0;\n"
        "    vec3 p = vec3(3.0 + cell + 0.9 * sin(1.7 * u), 2.0 - 0.047 * w, 3.0 - cell + 0.9 * cos(1.3 * u));\n"
        "    vec3 k = vec3(0.025, -0.025, 0.025);\n"
        "    gl_FragColor = vec4(WorldDistance(p, vec3(0.0, 0.0, 0.0)), SceneDistance(p).x,\n"
        "                        WorldDistance(p, k), SceneDistance(p + k).x);\n}\n";
    for (float time : {0.04f, 9.3f}) {
        ShaderProbe probe = RunShaderProbe(sphereSource, main, 64, 300, time);
        ASSERT_TRUE(probe.ok) << probe.log;
        int links = 0;
        for (int y = 0; y < 300; y++) {
            for (int x = 0; x < 64; x++) {
                for (int c = 0; c < 4; c += 2) {
                    float alone = probe.at(x, y, c), full = probe.at(x, y, c + 1);
                    ASSERT_NEAR(alone, full, 2e-6f * std::max(1.0f, std::fabs(full)))
                        << "time " << time << " pixel " << x << ", " << y << " offset " << c / 2;
                }
                links += y > 100 && probe.at(x, y, 1) < 0.05f;
            }
        }
        // The samples do reach the links along the chain.
        EXPECT_GT(links, 20) << "time " << time;
    }
}

TEST(SphereWorld, SelectNearerTakesTheCandidateOnATieAndWholeSamples)
{
    std::vector<SphereValue> v = SphereCases({
        "r = SelectNearer(vec4(0.5, 2.0, 3.0, 4.0), vec4(0.5, 1.0, -3.0, 0.25));",
        "r = SelectNearer(vec4(0.5, 2.0, 3.0, 4.0), vec4(0.75, 1.0, -3.0, 0.25));",
        "r = SelectNearer(vec4(0.5, 2.0, 3.0, 4.0), vec4(0.25, 1.0, -3.0, 0.25));",
        "r = SelectNearer(vec4(-1.0, 2.0, 3.0, 4.0), vec4(-1.0, 1.0, 1.0e8, -7.0));",
        // Parameters far apart in size come back unchanged, not blended.
        "r = SelectNearer(vec4(2.0, 2.0, 1.0e8, 3.0e-7), vec4(1.0, 1.0, 0.1, -2.5e-8));",
        "r = SelectNearer(vec4(1.0, 2.0, 1.0e8, 3.0e-7), vec4(2.0, 1.0, 0.1, -2.5e-8));",
    });
    const SphereValue expect[] = {{0.5f, 1, -3, 0.25f}, {0.5f, 2, 3, 4},     {0.25f, 1, -3, 0.25f},
                                  {-1, 1, 1e8f, -7},     {1, 1, 0.1f, -2.5e-8f}, {1, 2, 1e8f, 3e-7f}};
    for (size_t i = 0; i < v.size(); i++)
        for (int c = 0; c < 4; c++)
            EXPECT_EQ(v[i][c], expect[i][c]) << "case " << i << ", component " << c;
}

TEST(SphereMaterial, BlueSpeckledByTheFirstSixthOfTheNoiseTexture)
{
    EnsureNoiseTexture();
    std::vector<unsigned char> bytes(512 * 512 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
    auto albedo = [&](int x, int y, int c) {
        float t = bytes[(size_t)(512 * y + x) * 3 + c] / 255.0f / 4.0f;
        const float base[3] = {0.05f, 0.35f, 0.75f};
        return base[c] * 0.75f + t * t * 0.25f;
    };
    auto material = [](float y, float z) {
        return "C_HitInfo hit; hit.vObjectId = vec3(2.0, " + Glsl(y) + ", " + Glsl(z) +
               "); C_Material m = GetMaterial(hit); r = vec4(m.cAlbedo, 0.0);";
    };
    struct Case {
        float y, z;
        int tx, ty;
    };
    const Case cases[] = {
        {1.0f, 1.0f, 85, 0},     // angles above 0 all read column 85
        {2.5f, 1.0f, 85, 0},
        {0.5f, -1.0f, 85, 0},    // v = 1 wraps to the first row
        {0.5f, -3.0f, 85, 0},
        {-pi / 2, 0.1f, 42, 230},
        {-pi, 0.2f, 0, 204},
        {-2.0f, 0.6f, 31, 102},  // u = (1 - 2/pi) / 6, v = 0.2
    };
    std::vector<std::string> glsl;
    for (const Case& c : cases)
        glsl.push_back(material(c.y, c.z));
    glsl.push_back("C_HitInfo hit; hit.vObjectId = vec3(1.0, 0.3, 0.1); C_Material m = GetMaterial(hit);"
                   " r = vec4(m.fR0, m.fSmoothness, 0.0, 0.0);");
    std::vector<SphereValue> v = SphereCases(glsl);
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(v[i][c], albedo(cases[i].tx, cases[i].ty, c), 1e-6f) << "case " << i << ", channel " << c;
    EXPECT_FLOAT_EQ(v.back()[0], 0.05f);
    EXPECT_FLOAT_EQ(v.back()[1], 0.9f);
}
