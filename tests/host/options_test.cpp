// The desktop show's command line: what each option sets, and a one-line
// refusal, never a guess, for anything else.
#include <gtest/gtest.h>

#include <string.h>
#include <vector>

#include "host/options.h"

namespace {

const char* Parse(std::vector<const char*> args, ShowOptions* options)
{
    *options = ShowOptions{PLATFORM_SCREEN_DESKTOP, 1024, 768, false, false, 0.0, 0, 0.0, false, 0, false, false,
                           0,    false, false, true, false};
    args.insert(args.begin(), "brinelux");
    return ParseShowOptions((int)args.size(), (char**)args.data(), options);
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

TEST(ShowOptions, ScreensaverArgumentsAsWindowsPassesThem)
{
    ShowOptions o;
    EXPECT_EQ(Parse({"/S"}, &o), nullptr);
    EXPECT_TRUE(o.saver && o.loop && !o.sound && !o.foreign);
    EXPECT_EQ(Parse({"/p", "1311372"}, &o), nullptr);
    EXPECT_TRUE(o.foreign && o.loop && !o.sound && !o.saver);
    EXPECT_EQ(o.windowId, 1311372u);
    EXPECT_EQ(Parse({"-P:18446744073709551615"}, &o), nullptr);
    EXPECT_EQ(o.windowId, UINT64_MAX);
    EXPECT_EQ(Parse({"/c:65802"}, &o), nullptr);
    EXPECT_TRUE(o.configure && o.sound);
    // A handle Windows would not pass, or anything after the saver's word.
    for (std::vector<const char*> bad :
         std::vector<std::vector<const char*>>{{"/p"}, {"/p", "0"}, {"/p", "-5"}, {"/p:0x10"},
                                               {"/p", "18446744073709551616"}, {"/p", "12", "/s"},
                                               {"/s", "--window"}, {"/sx"}, {"/p12"}})
        EXPECT_NE(Parse(bad, &o), nullptr) << bad[0];
    // Only first: a later /s is no option of the show's.
    EXPECT_NE(Parse({"--loop", "/s"}, &o), nullptr);
}

} // namespace
