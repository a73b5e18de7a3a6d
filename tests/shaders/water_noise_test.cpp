// Water Scene's noise: the value noise read from the texture, the per-pixel
// texel, the octave mix, the ridged heights and the foam mask.
#include <gtest/gtest.h>
#include <math.h>
#include "render/render.h"
#include "tests/support/shader_probe.h"
#include "tests/shaders/water_support.h"

namespace {

// Column (or row) of the texel that lattice coordinate a reads with the
// divisor 255, as nearest filtering with repeat wrap picks it.
int LatticeTexel(int a)
{
    float s = ((float)a + 0.5f) / 255.0f;
    return (int)floorf(512.0f * (s - floorf(s)));
}

float Smooth(float f) { return f * f * (3.0f - 2.0f * f); }

} // namespace

TEST(WaterValueNoise, ReadsTheGreenAndRedChannelsAtTheListedPoints)
{
    std::vector<Vec4> v = EvalAtPoints("vec4(ValueNoise3(p))",
                                       {{10, 20, 0}, {10, 20, 1}, {10, 20, 0.5f}, {10.5f, 20, 0}}, 0.04f);
    EXPECT_NEAR(v[0][0], 121.0f / 255.0f, 1e-6f);
    EXPECT_NEAR(v[1][0], 118.0f / 255.0f, 1e-6f);
    EXPECT_NEAR(v[2][0], 133.0f / 510.0f, 1e-6f);
    EXPECT_NEAR(v[3][0], 181.0f / 510.0f, 1e-6f);
    // The same values are the texels the lattice maps to: (10, 20) reads
    // texel (21, 41), one step in z moves the lattice to (47, 37), texel (95, 75).
    EXPECT_EQ(LatticeTexel(10), 21);
    EXPECT_EQ(LatticeTexel(20), 41);
    EXPECT_NEAR(v[0][0], NoiseTexel(21, 41)[1], 1e-6f);
    EXPECT_NEAR(v[1][0], NoiseTexel(95, 75)[1], 1e-6f);
    EXPECT_NEAR(v[3][0], 0.5f * (NoiseTexel(21, 41)[1] + NoiseTexel(23, 41)[1]), 1e-6f);
}

TEST(WaterValueNoise, JumpsWhereZCrossesAnIntegerButNotWhereXOrYDo)
{
    // Just below z = 1 the red channel of texel (21, 41); at z = 1 the green
    // channel of an unrelated lattice point.
    std::vector<Vec4> v = EvalAtPoints("vec4(ValueNoise3(p))",
                                       {{10, 20, 0.9999f}, {10, 20, 1}, {10.9999f, 20, 0}, {11, 20, 0},
                                        {10, 20.9999f, 0}, {10, 21, 0}},
                                       0.04f);
    EXPECT_NEAR(v[0][0], NoiseTexel(21, 41)[0], 1e-5f);
    EXPECT_NEAR(v[0][0], 12.0f / 255.0f, 1e-5f);
    EXPECT_NEAR(v[1][0], 118.0f / 255.0f, 1e-6f);
    // Neighbouring cells in x and y share their corner texels.
    EXPECT_NEAR(v[2][0], v[3][0], 1e-5f);
    EXPECT_NEAR(v[4][0], v[5][0], 1e-5f);
}

TEST(WaterValueNoise, NegativeCoordinatesFloorDownAndWrapTheTexture)
{
    // -0.25: cell -1, fraction 0.75, weight 0.84375.
    const float w = 0.84375f;
    ASSERT_FLOAT_EQ(Smooth(0.75f), w);
    std::vector<Vec4> v = EvalAtPoints("vec4(ValueNoise3(p))", {{-0.25f, 20, 0}, {10, 20, -0.25f}}, 0.04f);
    // In x: between lattice -1 (wrapped to the last column) and lattice 0.
    ASSERT_EQ(LatticeTexel(-1), 510);
    ASSERT_EQ(LatticeTexel(0), 1);
    float g510 = NoiseTexel(510, 41)[1], g1 = NoiseTexel(1, 41)[1];
    EXPECT_NEAR(v[0][0], g510 + (g1 - g510) * w, 1e-5f);
    // In z: the cell -1 shifts the lattice to (10 - 37, 20 - 17); green and
    // red of that texel blended by the weight.
    Vec3 t = NoiseTexel(LatticeTexel(-27), LatticeTexel(3));
    EXPECT_EQ(LatticeTexel(-27), 458);
    EXPECT_NEAR(v[1][0], t[1] + (t[0] - t[1]) * w, 1e-5f);
}

TEST(WaterPixelNoise, ReadsOddTexelsRepeatingEvery256Pixels)
{
    std::vector<Vec4> v =
        EvalAtPoints("PixelNoise(ivec2(int(p.x), int(p.y)))", {{0, 0, 0}, {256, 300, 0}, {255, 511, 0}}, 0.04f);
    Vec3 t11 = NoiseTexel(1, 1), t189 = NoiseTexel(1, 89);
    for (int c = 0; c < 3; c++) {
        EXPECT_FLOAT_EQ(v[0][c], t11[c]) << "channel " << c;
        EXPECT_FLOAT_EQ(v[1][c], t189[c]) << "channel " << c;
    }
    // Pixel (255, 511) lands on the last texel, (48, 220, 151).
    EXPECT_FLOAT_EQ(v[2][0], 48.0f / 255.0f);
    EXPECT_FLOAT_EQ(v[2][1], 220.0f / 255.0f);
    EXPECT_FLOAT_EQ(v[2][2], 151.0f / 255.0f);
    // The texture has no alpha channel.
    EXPECT_FLOAT_EQ(v[0][3], 1.0f);
}

TEST(WaterOctaveMix, DoublesTheSquareOfX)
{
    std::vector<Vec4> v = EvalAtPoints("vec4(OctaveMix(p), length(OctaveMix(p)))",
                                       {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 2, 3}}, 0.04f);
    const float r = sqrtf(0.5f);
    EXPECT_NEAR(v[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(v[0][1], 0.0f, 1e-6f);
    EXPECT_NEAR(v[0][2], sqrtf(2.0f), 1e-6f);
    EXPECT_NEAR(v[1][0], r, 1e-6f);
    EXPECT_NEAR(v[1][1], -r, 1e-6f);
    EXPECT_NEAR(v[1][2], 0.0f, 1e-6f);
    EXPECT_NEAR(v[1][3], 1.0f, 1e-6f);
    EXPECT_NEAR(v[2][0], r, 1e-6f);
    EXPECT_NEAR(v[2][1], r, 1e-6f);
    // 2 * 1 + 4 + 9: the length squared grows by x squared.
    EXPECT_NEAR(v[3][3] * v[3][3], 15.0f, 1e-4f);
}

TEST(WaterHeight, MatchesTheKnownValuesAtBothTimes)
{
    const std::string heights = "vec4(WaterHeightCoarse(p), WaterHeightFine(p), 0.0, 0.0)";
    std::vector<Vec4> early = EvalAtPoints(heights, {{0.3f, 0.1f, 0.7f}}, 0.04f);
    EXPECT_NEAR(early[0][0], 0.1665f, 5e-4f);
    EXPECT_NEAR(early[0][1], 0.1648f, 5e-4f);
    std::vector<Vec4> late = EvalAtPoints(heights, {{0.3f, 0.1f, 0.7f}}, 2.0f);
    EXPECT_NEAR(late[0][0], 0.0361f, 5e-4f);
    EXPECT_NEAR(late[0][1], 0.0328f, 5e-4f);
}

namespace {

// Recovers the sum s from a foam value strictly between 0 and the value at
// t = 1, inverting h^6 and the falling smoothstep.
float FoamSum(float mask)
{
    float h = powf(mask, 1.0f / 6.0f);
    float lo = 0.0f, hi = 1.0f;
    for (int i = 0; i < 60; i++) {
        float t = 0.5f * (lo + hi);
        if (Smooth(t) < h)
            lo = t;
        else
            hi = t;
    }
    return 0.4f - 0.5f * (0.5f * (lo + hi));
}

} // namespace

TEST(WaterFoam, StaysWithinItsRangeAndWhitensOnlyStreaks)
{
    std::vector<Vec3> points;
    for (int i = 0; i < 400; i++)
        points.push_back({(float)(i % 20) * 0.37f - 4.0f, 0.05f * (float)(i % 5), (float)(i / 20) * 0.43f});
    float highest = 0.0f;
    for (float time : {0.04f, 2.5f, 5.04f}) {
        std::vector<Vec4> v = EvalAtPoints("vec4(FoamMask(p))", points, time);
        int foamy = 0;
        for (const Vec4& m : v) {
            EXPECT_GE(m[0], 0.0f);
            EXPECT_LE(m[0], 0.5849f);
            foamy += m[0] > 0.01f;
            highest = fmaxf(highest, m[0]);
        }
        EXPECT_LT(foamy, (int)points.size() / 4) << "time " << time;
    }
    EXPECT_GT(highest, 0.02f);
}

TEST(WaterFoam, DitherSubtractsOneHundredthOfThePixelsRedTexel)
{
    // Find a point with partial foam, then shade it from many pixels: once
    // the dither is added back, every pixel must agree on the sum.
    std::vector<Vec3> points;
    for (int i = 0; i < 400; i++)
        points.push_back({(float)(i % 20) * 0.37f - 4.0f, 0.05f * (float)(i % 5), (float)(i / 20) * 0.43f});
    std::vector<Vec4> v = EvalAtPoints("vec4(FoamMask(p))", points, 2.5f);
    int pick = 0;
    for (size_t i = 0; i < v.size(); i++)
        if (v[i][0] > v[pick][0])
            pick = (int)i;
    ASSERT_GT(v[pick][0], 0.002f) << "no point with foam";
    const Vec3& p = points[pick];
    std::string testMain = "void main()\n{\n    fTime = iGlobalTime;\n    gl_FragColor = vec4(FoamMask(vec3(" +
                           GlslFloat(p[0]) + ", " + GlslFloat(p[1]) + ", " + GlslFloat(p[2]) + ")));\n}\n";
    // 260 columns reach past the 256-pixel repeat.
    ShaderProbe probe = RunShaderProbe(waterSource, testMain, 260, 3, 2.5f);
    ASSERT_TRUE(probe.ok) << probe.log;
    float undithered = FoamSum(probe.at(0, 0, 0)) + 0.01f * NoiseTexel(1, 1)[0];
    float lo = 1e9f, hi = -1e9f;
    for (int y = 0; y < 3; y++) {
        for (int x = 0; x < 260; x++) {
            float mask = probe.at(x, y, 0);
            ASSERT_GT(mask, 0.0f);
            float s = FoamSum(mask) + 0.01f * NoiseTexel(2 * (x % 256) + 1, 2 * y + 1)[0];
            EXPECT_NEAR(s, undithered, 2e-5f) << "pixel " << x << ", " << y;
            lo = fminf(lo, mask);
            hi = fmaxf(hi, mask);
        }
    }
    EXPECT_GT(hi - lo, 1e-3f);
    EXPECT_FLOAT_EQ(probe.at(256, 1, 0), probe.at(0, 1, 0));
}

TEST(WaterFoam, SumIsDividedOnlyWhenTheRestartedCoordinateGrows)
{
    // At time 0 on the line x = z = 0 the restarted coordinate is 0 and
    // stays 0, so the undivided sum (hundreds) leaves no foam anywhere; just
    // off the line, or at any show time, the division applies and foam shows.
    std::vector<Vec3> onLine, offLine;
    for (int i = 0; i < 32; i++) {
        onLine.push_back({0, -0.5f + (float)i * 0.031f, 0});
        offLine.push_back({3.0f + 0.2f * (float)i, -0.5f + (float)i * 0.031f, 1.5f});
    }
    std::vector<Vec4> zero = EvalAtPoints("vec4(FoamMask(p))", onLine, 0.0f);
    for (const Vec4& m : zero)
        EXPECT_EQ(m[0], 0.0f);
    int foamy = 0;
    for (const Vec4& m : EvalAtPoints("vec4(FoamMask(p))", offLine, 0.0f))
        foamy += m[0] > 0.0f;
    for (const Vec4& m : EvalAtPoints("vec4(FoamMask(p))", onLine, 0.04f))
        foamy += m[0] > 0.0f;
    EXPECT_GT(foamy, 0);
}
