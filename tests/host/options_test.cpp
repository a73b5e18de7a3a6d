// The desktop show's command line: what each option sets, and a one-line
// refusal, never a guess, for anything else.
#include <gtest/gtest.h>

#include <string.h>
#include <vector>

#include "host/options.h"

namespace {

const char* Parse(std::vector<const char*> args, ShowOptions* options, const char* saverWindow = nullptr)
{
    *options = ShowOptions{PLATFORM_SCREEN_DESKTOP, 1024, 768, false, false, 0.0, 0, 0.0, false, 0, false, false,
                           0, false, false, false, false, PART_COUNT, false};
    args.insert(args.begin(), "brinelux");
    return ParseShowOptions((int)args.size(), (char**)args.data(), options, saverWindow);
}

// A screensaver's window, from the X daemon (an option or its variable) or
// from Windows (its /s, /p and /c): each loops, and nothing else is guessed.
TEST(ShowOptions, ScreensaverWindowsFromEitherSystem)
{
    ShowOptions o;
    EXPECT_EQ(Parse({"--window-id", "0x2a00007"}, &o), nullptr);
    EXPECT_TRUE(o.foreign && o.loop && !o.sound);
    EXPECT_EQ(o.windowId, 0x2a00007u);
    EXPECT_EQ(Parse({"--window-id", "44040199", "--sound"}, &o), nullptr);
    EXPECT_EQ(o.windowId, 44040199u);
    EXPECT_TRUE(o.sound);
    EXPECT_EQ(Parse({"--root"}, &o), nullptr);
    EXPECT_EQ(o.windowId, PLATFORM_ROOT_WINDOW);
    EXPECT_EQ(Parse({}, &o, "0x400001"), nullptr);
    EXPECT_TRUE(o.foreign);
    EXPECT_EQ(o.windowId, 0x400001u);
    EXPECT_EQ(Parse({"-root"}, &o, "0x400001"), nullptr);
    EXPECT_EQ(o.windowId, 0x400001u);
    EXPECT_EQ(Parse({"-window-id", "0x99"}, &o, "0x400001"), nullptr);
    EXPECT_EQ(o.windowId, 0x99u);
    // An asked window wins over the daemon's variable; a bad one is refused.
    EXPECT_EQ(Parse({"--window"}, &o, "0x400001"), nullptr);
    EXPECT_FALSE(o.foreign);
    EXPECT_NE(Parse({}, &o, "0x"), nullptr);
    for (const char* bad : {"0", "-5", "0x", "12ab", "0x1g", "99999999999999999999", " 7"})
        EXPECT_NE(Parse({"--window-id", bad}, &o), nullptr) << bad;
    EXPECT_NE(Parse({"--window-id", "7", "--window"}, &o), nullptr);
    EXPECT_NE(Parse({"--root", "--benchmark"}, &o), nullptr);

    EXPECT_EQ(Parse({"/s"}, &o), nullptr);
    EXPECT_TRUE(o.saver && o.loop && !o.foreign);
    EXPECT_EQ(Parse({"/P", "1234"}, &o), nullptr);
    EXPECT_TRUE(o.foreign);
    EXPECT_EQ(o.windowId, 1234u);
    EXPECT_EQ(Parse({"-p:0x10"}, &o), nullptr);
    EXPECT_EQ(o.windowId, 16u);
    EXPECT_EQ(Parse({"/c:5678"}, &o), nullptr);
    EXPECT_TRUE(o.configure);
    EXPECT_EQ(Parse({"/c"}, &o), nullptr);
    EXPECT_TRUE(o.configure);
    EXPECT_NE(Parse({"/p"}, &o), nullptr);
    EXPECT_NE(Parse({"/s", "--window"}, &o), nullptr);
    EXPECT_NE(Parse({"/x"}, &o), nullptr);
}

TEST(ShowOptions, BenchmarkRunsEveryFrameOrOnePart)
{
    ShowOptions o;
    EXPECT_EQ(Parse({"--benchmark", "--window", "320x240"}, &o), nullptr);
    EXPECT_TRUE(o.benchmark);
    EXPECT_EQ(o.benchPart, PART_COUNT);
    EXPECT_EQ(Parse({"--benchmark", "--part", "spheres"}, &o), nullptr);
    EXPECT_EQ(o.benchPart, PART_SPHERES);
    EXPECT_NE(Parse({"--benchmark", "--part", "cube"}, &o), nullptr);
    EXPECT_NE(Parse({"--part", "title"}, &o), nullptr);
    EXPECT_NE(Parse({"--benchmark", "--start", "30"}, &o), nullptr);
    EXPECT_NE(Parse({"--benchmark", "--loop"}, &o), nullptr);
    // The daemon's variable does not turn a benchmark into a screensaver.
    EXPECT_EQ(Parse({"--benchmark"}, &o, "0x400001"), nullptr);
    EXPECT_FALSE(o.foreign);
}

TEST(ShowOptions, NoneIsTheDesktopFullScreenPacedBySong)
{
    ShowOptions o;
    EXPECT_EQ(Parse({}, &o), nullptr);
    EXPECT_EQ(o.screen, PLATFORM_SCREEN_DESKTOP);
    EXPECT_FALSE(o.paceDisplay);
    EXPECT_FALSE(o.smooth);
    EXPECT_EQ(o.scale, 0.0);
    EXPECT_FALSE(o.help);
}

TEST(ShowOptions, SmoothFollowsTheSongAndRefusesTheDisplaysPace)
{
    ShowOptions o;
    EXPECT_EQ(Parse({"--smooth", "--window", "--scale", "0.5"}, &o), nullptr);
    EXPECT_TRUE(o.smooth);
    EXPECT_EQ(o.screen, PLATFORM_SCREEN_WINDOW);
    EXPECT_EQ(Parse({"--pace", "song", "--smooth"}, &o), nullptr);
    EXPECT_TRUE(o.smooth);
    const char* error = Parse({"--smooth", "--pace", "display"}, &o);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(strstr(error, "--smooth"), nullptr) << error;
}

TEST(ShowOptions, AudioOffsetIsWholeMillisecondsWithinASecondEitherWay)
{
    ShowOptions o;
    EXPECT_EQ(Parse({"--audio-offset", "-1000", "--smooth"}, &o), nullptr);
    EXPECT_EQ(o.audioOffsetMs, -1000);
    EXPECT_TRUE(o.smooth);
    EXPECT_EQ(Parse({"--audio-offset", "+250"}, &o), nullptr);
    EXPECT_EQ(o.audioOffsetMs, 250);
    EXPECT_EQ(Parse({"--audio-offset", "0"}, &o), nullptr);
    EXPECT_EQ(o.audioOffsetMs, 0);
    for (const char* bad : {"1001", "-1001", "12.5", "", "-", "1e2", " 10", "ms", "99999999"}) {
        const char* error = Parse({"--audio-offset", bad}, &o);
        ASSERT_NE(error, nullptr) << bad;
        EXPECT_NE(strstr(error, "-1000 to 1000"), nullptr) << error;
    }
    EXPECT_NE(Parse({"--audio-offset"}, &o), nullptr);
}

TEST(ShowOptions, WindowWithAndWithoutItsSize)
{
    ShowOptions o;
    EXPECT_EQ(Parse({"--window"}, &o), nullptr);
    EXPECT_EQ(o.screen, PLATFORM_SCREEN_WINDOW);
    EXPECT_EQ(o.windowWidth, 1024);
    EXPECT_EQ(o.windowHeight, 768);
    EXPECT_EQ(Parse({"--window", "800x600", "--pace", "display"}, &o), nullptr);
    EXPECT_EQ(o.windowWidth, 800);
    EXPECT_EQ(o.windowHeight, 600);
    EXPECT_TRUE(o.paceDisplay);
    // A following option is not taken for the size.
    EXPECT_EQ(Parse({"--window", "--scale", "1"}, &o), nullptr);
    EXPECT_EQ(o.windowWidth, 1024);
    EXPECT_EQ(o.scale, 1.0);
    for (const char* bad : {"800", "800x", "x600", "63x600", "800x16385", "-800x600", "800 x600", "8e2x600",
                            "99999999x600", "tall"}) {
        const char* error = Parse({"--window", bad}, &o);
        ASSERT_NE(error, nullptr) << bad;
        EXPECT_NE(strstr(error, "--window"), nullptr) << error;
    }
}

TEST(ShowOptions, PaceScaleAndModeRefuseWhatTheyCannotMean)
{
    ShowOptions o;
    EXPECT_EQ(Parse({"--display-mode", "--pace", "display"}, &o), nullptr);
    EXPECT_EQ(o.screen, PLATFORM_SCREEN_MODE);
    EXPECT_TRUE(o.paceDisplay);
    EXPECT_EQ(Parse({"--scale", "0.5"}, &o), nullptr);
    EXPECT_EQ(o.scale, 0.5);
    for (const char* bad : {"0", "1.5", "-0.5", "nan", "inf", " 0.5", "0x1p-1", "0.5x", ""})
        EXPECT_NE(Parse({"--scale", bad}, &o), nullptr) << bad;
    EXPECT_NE(Parse({"--scale"}, &o), nullptr);
    EXPECT_NE(Parse({"--pace"}, &o), nullptr);
    EXPECT_NE(Parse({"--pace", "fast"}, &o), nullptr);
    EXPECT_NE(Parse({"--window", "--display-mode"}, &o), nullptr);
    const char* error = Parse({"--fullscreen"}, &o);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(strstr(error, "--fullscreen"), nullptr);
    // One line: the caller adds the only line end.
    EXPECT_EQ(strchr(error, '\n'), nullptr);
}

TEST(ShowOptions, HelpNamesEveryOption)
{
    ShowOptions o;
    EXPECT_EQ(Parse({"--help"}, &o), nullptr);
    EXPECT_TRUE(o.help);
    for (const char* name : {"--window", "--display-mode", "--pace", "--scale", "--help", "F11"})
        EXPECT_NE(strstr(ShowUsage(), name), nullptr) << name;
}

} // namespace
