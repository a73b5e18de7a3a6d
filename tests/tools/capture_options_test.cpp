// The capture tool's command line: rates, frame ranges, modes and the
// combinations it refuses.
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>
#include "tools/capture/capture_options.h"

namespace {

// Parses the arguments after the program name; returns the reason or "".
std::string Parse(std::initializer_list<const char*> args, CaptureOptions* o)
{
    std::vector<char*> argv = {(char*)"brinelux-capture"};
    for (const char* a : args)
        argv.push_back((char*)a);
    const char* why = ParseCaptureOptions((int)argv.size(), argv.data(), o);
    return why ? why : "";
}

TEST(CaptureRate, WholeFractionalAndDecimalRatesReduce)
{
    struct Rate {
        const char* text;
        int64_t num, den;
    };
    for (Rate r : {Rate{"25", 25, 1}, Rate{"30000/1001", 30000, 1001}, Rate{"50/2", 25, 1},
                   Rate{"29.97", 2997, 100}, Rate{"1.5", 3, 2}, Rate{"1", 1, 1}, Rate{"1000", 1000, 1}}) {
        int64_t n = 0, d = 0;
        ASSERT_TRUE(ParseFrameRate(r.text, &n, &d)) << r.text;
        EXPECT_EQ(n, r.num) << r.text;
        EXPECT_EQ(d, r.den) << r.text;
    }
}

TEST(CaptureRate, RefusesWhatIsNotAPositiveBoundedRate)
{
    int64_t n = 7, d = 7;
    for (const char* bad : {"", "0", "0/5", "5/0", "-25", "+25", "25 ", "25fps", "1/2/3", "1.2.3", ".5", "5.",
                            "1001", "2000/1", "99999999", "1/9999999", "0.0000001", "nan", "inf",
                            "0.5", "999999/1000000", "1/1000000"})
        EXPECT_FALSE(ParseFrameRate(bad, &n, &d)) << "'" << bad << "'";
    EXPECT_EQ(n, 7);
    EXPECT_EQ(d, 7);
    // Which of the two limits a refused rate passed.
    for (const char* text : {"24.999999", "1.000001", "1.0000001", "1000001/1000000"}) {
        bool terms = false;
        EXPECT_FALSE(ParseFrameRate(text, &n, &d, &terms)) << text;
        EXPECT_TRUE(terms) << text;
    }
    for (const char* text : {"0.5", "1000.001", "1/1000000", "abc"}) {
        bool terms = true;
        EXPECT_FALSE(ParseFrameRate(text, &n, &d, &terms)) << text;
        EXPECT_FALSE(terms) << text;
    }
}

TEST(CaptureOptions, ModesAndDefaults)
{
    CaptureOptions o;
    EXPECT_EQ(Parse({"--out", "show.mp4"}, &o), "");
    EXPECT_EQ(o.mode, MODE_FRAMES);
    EXPECT_FALSE(o.outIsMkv);
    EXPECT_EQ(o.fpsNum, 25);
    EXPECT_EQ(o.fpsDen, 1);
    EXPECT_EQ(o.firstFrame, 1);
    EXPECT_EQ(o.lastFrame, 0);
    EXPECT_EQ(o.cacheMb, 1024);
    EXPECT_EQ(Parse({"--png-dir", "frames", "--cache-mb", "0"}, &o), "");
    EXPECT_EQ(o.cacheMb, 0);

    EXPECT_EQ(Parse({"--out", "a.mkv", "--png-dir", "frames", "--fps", "60", "--frames", "10-20"}, &o), "");
    EXPECT_EQ(o.mode, MODE_FRAMES);
    EXPECT_TRUE(o.outIsMkv);
    EXPECT_EQ(o.fpsNum, 60);
    EXPECT_EQ(o.firstFrame, 10);
    EXPECT_EQ(o.lastFrame, 20);
    EXPECT_FALSE(o.smooth);
    EXPECT_EQ(Parse({"--out", "a.mp4", "--smooth", "--fps", "60"}, &o), "");
    EXPECT_TRUE(o.smooth);

    EXPECT_EQ(Parse({"--png-dir", "frames", "--frames", "700-"}, &o), "");
    EXPECT_EQ(o.firstFrame, 700);
    EXPECT_EQ(o.lastFrame, 0);

    EXPECT_EQ(Parse({"--wav", "song.wav", "--audio-block", "1102"}, &o), "");
    EXPECT_EQ(o.mode, MODE_WAV);
    EXPECT_EQ(o.audioBlock, 1102);
    EXPECT_EQ(Parse({"--wav", "song.wav"}, &o), "");
    EXPECT_EQ(o.audioBlock, 0);

    EXPECT_EQ(Parse({"--still", "spheres", "--png", "s.png", "--time", "7"}, &o), "");
    EXPECT_EQ(o.mode, MODE_STILL);
    EXPECT_EQ(o.still, PART_SPHERES);
    EXPECT_EQ(o.time, 7.0f);
    EXPECT_EQ(Parse({"--png", "t.png", "--still", "title"}, &o), "");
    EXPECT_EQ(o.still, PART_TITLE);
    EXPECT_EQ(Parse({"--still", "water", "--png", "w.png"}, &o), "");
    EXPECT_EQ(o.time, 0.04f);

    EXPECT_EQ(Parse({"--bench"}, &o), "");
    EXPECT_EQ(o.mode, MODE_BENCH);
    EXPECT_EQ(Parse({"--help"}, &o), "");
    EXPECT_EQ(o.mode, MODE_HELP);
}

TEST(CaptureOptions, EachBadValueIsNamedInOneLine)
{
    CaptureOptions o;
    struct Case {
        std::initializer_list<const char*> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"-o", "x.mp4"}, "unknown option '-o'"},
        {{"--out"}, "--out needs a value"},
        {{"--out", ""}, "--out needs a value"},
        {{"--out", "show.avi"}, ".mp4 or .mkv"},
        {{"--out", ".mp4"}, ".mp4 or .mkv"},
        {{"--out", "a.mp4", "--fps", "0"}, "--fps"},
        {{"--out", "a.mp4", "--frames", "5-2"}, "--frames"},
        {{"--out", "a.mp4", "--frames", "0-2"}, "--frames"},
        {{"--out", "a.mp4", "--frames", "7"}, "--frames"},
        {{"--out", "a.mp4", "--frames", "-7"}, "--frames"},
        {{"--wav", "s.wav", "--audio-block", "0"}, "--audio-block"},
        {{"--wav", "s.wav", "--audio-block", "4097"}, "--audio-block"},
        {{"--wav", "s.wav", "--audio-block", "12x"}, "--audio-block"},
        {{"--still", "moon", "--png", "m.png"}, "title, thanks, water or spheres"},
        {{"--still", "water", "--png", "w.png", "--time", "soon"}, "--time"},
        {{"--still", "water", "--png", "w.png", "--time", "1e7"}, "--time"},
        {{"--still", "water", "--png", "w.png", "--time", "nan"}, "--time"},
        {{}, "nothing to do"},
        {{"--fps", "25"}, "nothing to do"},
        {{"--out", "a.mp4", "--wav", "s.wav"}, "separate runs"},
        {{"--bench", "--still", "title", "--png", "t.png"}, "separate runs"},
        {{"--wav", "s.wav", "--fps", "30"}, "--fps and --frames apply"},
        {{"--bench", "--frames", "1-2"}, "--fps and --frames apply"},
        {{"--out", "a.mp4", "--audio-block", "100"}, "apply to --wav"},
        {{"--still", "title", "--png", "t.png", "--audio-schedule", "calls"}, "apply to --wav"},
        {{"--wav", "s.wav", "--audio-block", "100", "--audio-schedule", "calls"}, "give one of them"},
        {{"--wav", "s.wav", "--png", "x.png"}, "--png names the file of a --still"},
        {{"--still", "title"}, "--still needs --png"},
        {{"--still", "title", "--png", "t.png", "--time", "1"}, "--time applies"},
        {{"--out", "a.mp4", "--cache-mb", "-1"}, "--cache-mb"},
        {{"--out", "a.mp4", "--cache-mb", "10000000"}, "--cache-mb"},
        {{"--out", "a.mp4", "--cache-mb", "1G"}, "--cache-mb"},
        {{"--bench", "--cache-mb", "64"}, "--cache-mb applies"},
        {{"--wav", "s.wav", "--smooth"}, "--smooth applies to --out and --png-dir"},
        {{"--still", "water", "--png", "w.png", "--smooth"}, "--smooth applies"},
    };
    for (const Case& c : cases) {
        std::string why = Parse(c.args, &o);
        EXPECT_NE(why.find(c.mentions), std::string::npos) << "got: " << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    }
}

} // namespace
