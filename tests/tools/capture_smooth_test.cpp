// brinelux-capture's smooth motion (--smooth): video frame j is the picture
// at song time (j - 1) / fps. On the show's own grid it must be the show's
// frame byte for byte; between, the still of the same part at the clock
// moved on by the time since the frame began, across the switch to the
// spheres and the restart of their cycle.
#include "tests/tools/work_dir.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string workDir;

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Small frames keep the scenes quick on a software renderer.
const char kSize[] = " --size 256x192";

// Runs the tool with no display in the work directory; its status, and what
// it printed kept in *out.
int Capture(const std::string& args, std::string* out = nullptr, const std::string& env = "")
{
    std::string cmd = "cd '" + workDir + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + env + " '" CAPTURE_BIN "' " +
                      args + kSize + " > stdout.txt 2> stderr.txt";
    int status = system(cmd.c_str());
    if (out)
        *out = Slurp(workDir + "/stdout.txt");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << args << ": " << Slurp(workDir + "/stderr.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Frame(const std::string& dir, int frame)
{
    char name[40];
    snprintf(name, sizeof name, "/frame-%06d.png", frame);
    std::string bytes = Slurp(workDir + "/" + dir + name);
    EXPECT_FALSE(bytes.empty()) << dir << name << " missing";
    return bytes;
}

// The still of part at clock `time`, which it must show exactly (not the
// nearest value the show's own step reaches).
std::string Still(const std::string& part, float time)
{
    char args[128];
    snprintf(args, sizeof args, "--still %s --time %.9g --png still.png", part.c_str(), (double)time);
    std::string said;
    Capture(args, &said);
    EXPECT_EQ(said.find("nearest"), std::string::npos) << said;
    return Slurp(workDir + "/still.png");
}

// A frame's clock moved on by the time since the frame began, as the rule
// has it: summed in double, rounded once.
float Moved(float clock, double since) { return (float)((double)clock + since); }

// The water's last clock (frame 727) and the spheres' cycle's (frame 1078).
const float kWaterLast = 5.0399966f;
const float kSphereLast = 14.0399885f;

class CaptureSmooth : public ::testing::Test {
protected:
    static void SetUpTestSuite() { workDir = MakeWorkDir("brinelux-smooth"); }
    static void TearDownTestSuite() { RemoveWorkDir(workDir); }
};

TEST_F(CaptureSmooth, AtTheShowsOwnRateTheFramesAreTheShowsByteForByte)
{
    // The thanks card held, then the water's first frames.
    ASSERT_EQ(Capture("--png-dir plain --frames 599-604"), 0);
    ASSERT_EQ(Capture("--png-dir smooth --smooth --fps 25 --frames 599-604"), 0);
    // Every picture drawn, none written from a kept copy: the same again.
    ASSERT_EQ(Capture("--png-dir drawn --smooth --fps 25 --frames 599-604", nullptr, "BRINELUX_CAPTURE_DRAW_ALL=1"), 0);
    for (int k = 599; k <= 604; k++) {
        EXPECT_TRUE(Frame("smooth", k) == Frame("plain", k)) << "frame " << k;
        EXPECT_TRUE(Frame("drawn", k) == Frame("plain", k)) << "frame " << k;
    }
    EXPECT_FALSE(Frame("plain", 603) == Frame("plain", 604));
}

TEST_F(CaptureSmooth, AtFiftyTheOddFramesAreTheShowsAndTheEvenOnesHalfwayBetween)
{
    ASSERT_EQ(Capture("--png-dir grid --frames 601-603"), 0);
    ASSERT_EQ(Capture("--png-dir fifty --smooth --fps 50 --frames 1201-1206"), 0);
    // Video frame 2k - 1 is the show's frame k.
    for (int k = 601; k <= 603; k++)
        EXPECT_TRUE(Frame("fifty", 2 * k - 1) == Frame("grid", k)) << "show frame " << k;
    // Halfway through the thanks card: the card.
    EXPECT_TRUE(Frame("fifty", 1202) == Frame("grid", 601));
    // Halfway through the water's first two frames (0.04 and 0.08).
    std::string half = Frame("fifty", 1204);
    EXPECT_TRUE(half == Still("water", Moved(0.04f, 0.02)));
    EXPECT_FALSE(half == Frame("grid", 602));
    EXPECT_FALSE(half == Frame("grid", 603));
    EXPECT_TRUE(Frame("fifty", 1206) == Still("water", Moved(0.08f, 0.02)));
}

TEST_F(CaptureSmooth, TheSwitchToTheSpheresAndTheirCycleComeAtTheShowsFrames)
{
    // The water's last frame (727) runs on past 5 s until the spheres' first.
    ASSERT_EQ(Capture("--png-dir switch --smooth --fps 50 --frames 1453-1456"), 0);
    EXPECT_TRUE(Frame("switch", 1453) == Still("water", kWaterLast));
    EXPECT_TRUE(Frame("switch", 1454) == Still("water", Moved(kWaterLast, 0.02)));
    EXPECT_TRUE(Frame("switch", 1455) == Still("spheres", 0.04f));
    std::string early = Frame("switch", 1456);
    EXPECT_TRUE(early == Still("spheres", Moved(0.04f, 0.02)));
    // The cycle's last frame (1078, at 14.04) runs on to 14.06, then the
    // cycle starts again at 0.04, its pictures the first cycle's.
    ASSERT_EQ(Capture("--png-dir cycle --smooth --fps 50 --frames 2155-2158"), 0);
    EXPECT_TRUE(Frame("cycle", 2156) == Still("spheres", Moved(kSphereLast, 0.02)));
    EXPECT_TRUE(Frame("cycle", 2157) == Frame("switch", 1455));
    EXPECT_TRUE(Frame("cycle", 2158) == early);
}

} // namespace
