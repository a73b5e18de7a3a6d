// brinelux-capture's video and frame sizes, run as users run it: the colours
// of an .mp4 as a player that honours its tags decodes them, the lossless
// archive against the PNG frames and the WAV, and frames drawn at other
// sizes against the show's own.
#include "tests/tools/png_image.h"
#include "tests/tools/work_dir.h"
#include <gtest/gtest.h>
#include <math.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string workDir;

std::string Path(const std::string& name) { return workDir + "/" + name; }

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the tool with no display; its status, and what it said on standard
// error and standard output.
int Capture(const std::string& args, std::string* err = nullptr, std::string* out = nullptr)
{
    std::string cmd = "cd '" + workDir + "' && env -u DISPLAY -u WAYLAND_DISPLAY '" CAPTURE_BIN "' " + args +
                      " > stdout.txt 2> stderr.txt";
    int status = system(cmd.c_str());
    if (err)
        *err = Slurp(Path("stderr.txt"));
    if (out)
        *out = Slurp(Path("stdout.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A run that succeeds and whose summary on standard output says said.
::testing::AssertionResult CapturedSaying(const std::string& args, const char* said)
{
    std::string err, out;
    int status = Capture(args, &err, &out);
    if (status != 0)
        return ::testing::AssertionFailure() << args << ": status " << status << ", " << err;
    if (out.find(said) == std::string::npos)
        return ::testing::AssertionFailure() << args << ": said " << out << ", not " << said;
    return ::testing::AssertionSuccess();
}

bool Exists(const std::string& name)
{
    struct stat st;
    return stat(Path(name).c_str(), &st) == 0;
}

bool TemporariesLeft()
{
    std::string cmd = "find '" + workDir + "' -name '.brinelux-*' | grep -q .";
    return system(cmd.c_str()) == 0;
}

bool HaveFfmpeg() { return system("command -v ffmpeg > /dev/null && command -v ffprobe > /dev/null") == 0; }

// What a command printed on standard output.
std::string Output(const std::string& cmd)
{
    FILE* pipe = popen(cmd.c_str(), "r");
    std::string text;
    char buffer[4096];
    size_t got;
    while (pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    if (pipe)
        pclose(pipe);
    return text;
}

Image ReadPng(const std::string& name) { return ReadPngFile(Path(name)); }

// The video's frames as ffmpeg decodes them to RGB: the conversion it picks
// follows the stream's colour tags; exact rounding and full chroma, as a
// careful player does.
std::vector<uint8_t> DecodeFrames(const std::string& name)
{
    std::string bytes = Output("ffmpeg -v error -i '" + Path(name) +
                            "' -map 0:v -vf scale=flags=accurate_rnd+full_chroma_int -f rawvideo -pix_fmt rgb24 -");
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::string Probe(const std::string& name, const std::string& entries)
{
    return Output("ffprobe -v error -select_streams v -show_entries stream=" + entries + " -of compact=p=0 '" +
               Path(name) + "'");
}

// Peak signal to noise over all channels, in dB.
double Psnr(const uint8_t* a, const uint8_t* b, size_t bytes)
{
    double sum = 0.0;
    for (size_t i = 0; i < bytes; i++)
        sum += ((double)a[i] - b[i]) * ((double)a[i] - b[i]);
    return sum == 0.0 ? 99.0 : 10.0 * log10(255.0 * 255.0 / (sum / (double)bytes));
}

// Every 2 x 2 block averaged, rounding half up: a box filter in the stored
// values, whatever the tool's own filter does.
Image HalveBox(const Image& big)
{
    Image small;
    small.width = big.width / 2;
    small.height = big.height / 2;
    small.rgb.resize((size_t)small.width * small.height * 3);
    for (int y = 0; y < small.height; y++)
        for (int x = 0; x < small.width; x++)
            for (int c = 0; c < 3; c++)
                small.rgb[((size_t)y * small.width + x) * 3 + c] =
                    (uint8_t)((big.At(2 * x, 2 * y)[c] + big.At(2 * x + 1, 2 * y)[c] + big.At(2 * x, 2 * y + 1)[c] +
                               big.At(2 * x + 1, 2 * y + 1)[c] + 2) / 4);
    return small;
}

int CountLit(const Image& image, int* grey)
{
    int lit = 0;
    *grey = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        bool white = image.rgb[i] == 255 && image.rgb[i + 1] == 255 && image.rgb[i + 2] == 255;
        bool black = image.rgb[i] == 0 && image.rgb[i + 1] == 0 && image.rgb[i + 2] == 0;
        lit += white;
        *grey += !white && !black;
    }
    return lit;
}

class CaptureVideo : public ::testing::Test {
protected:
    static void SetUpTestSuite() { workDir = MakeWorkDir("brinelux-video"); }
    static void TearDownTestSuite() { RemoveWorkDir(workDir); }
};

TEST_F(CaptureVideo, Mp4AndMkvAreTaggedBt709AndDecodeToTheDrawnColours)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    // Water frames, whose fine ridges and foam are where a wrong matrix or
    // careless rounding shows: frame 650 against its own PNG.
    ASSERT_TRUE(CapturedSaying("--out water.mp4 --png-dir water --frames 641-655",
                               "H.264 CRF 18 (BT.709, limited range) and AAC 192 kb/s"));
    EXPECT_EQ(Probe("water.mp4", "pix_fmt,color_range,color_space,color_transfer,color_primaries"),
              "pix_fmt=yuv420p|color_range=tv|color_space=bt709|color_transfer=bt709|color_primaries=bt709\n");
    // In the container too, not only in the H.264 stream: MP4's colour box,
    // nclx with primaries, transfer and matrix 1 (BT.709), limited range.
    std::string mp4 = Slurp(Path("water.mp4"));
    EXPECT_NE(mp4.find(std::string("colrnclx\0\1\0\1\0\1\0", 15)), std::string::npos);

    std::vector<uint8_t> decoded = DecodeFrames("water.mp4");
    Image png = ReadPng("water/frame-000650.png");
    size_t frameBytes = (size_t)1024 * 768 * 3;
    ASSERT_EQ(png.width, 1024);
    ASSERT_EQ(decoded.size(), 15 * frameBytes);
    const uint8_t* frame = decoded.data() + 9 * frameBytes;
    double sum[3] = {0, 0, 0};
    for (size_t i = 0; i < frameBytes; i++)
        sum[i % 3] += (double)frame[i] - png.rgb[i];
    for (int c = 0; c < 3; c++)
        EXPECT_LT(fabs(sum[c] / (1024.0 * 768.0)), 0.5) << "channel " << c;
    // CRF 18 measured 36.8 dB here; the default of before (CRF 23) 35.
    EXPECT_GT(Psnr(frame, png.rgb.data(), frameBytes), 36.0);

    ASSERT_EQ(Capture("--out cards.mkv --frames 1-3"), 0);
    EXPECT_EQ(Probe("cards.mkv", "color_range,color_space,color_transfer,color_primaries"),
              "color_range=tv|color_space=bt709|color_transfer=bt709|color_primaries=bt709\n");
    // Matroska's Colour element: matrix (55B1), transfer (55BA) and
    // primaries (55BB) 1, range (55B9) 1, broadcast.
    std::string mkv = Slurp(Path("cards.mkv"));
    for (const char* element : {"\x55\xB1\x81\x01", "\x55\xBA\x81\x01", "\x55\xBB\x81\x01", "\x55\xB9\x81\x01"})
        EXPECT_NE(mkv.find(element), std::string::npos) << "colour element missing";

    // Frames at another size go to the video and the PNGs alike, each the
    // still of that size.
    ASSERT_EQ(Capture("--out wide.mp4 --png-dir wide --frames 1-2 --size 1920x1080"), 0);
    EXPECT_EQ(Probe("wide.mp4", "width,height"), "width=1920|height=1080\n");
    ASSERT_EQ(Capture("--still title --png wide-title.png --size 1920x1080"), 0);
    Image wideFrame = ReadPng("wide/frame-000001.png");
    EXPECT_EQ(wideFrame.width, 1920);
    EXPECT_TRUE(wideFrame.rgb == ReadPng("wide-title.png").rgb);
    EXPECT_FALSE(TemporariesLeft());
}

TEST_F(CaptureVideo, LosslessMkvDecodesToThePngFramesAndTheWav)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    // The thanks card's last frames and the water's first.
    ASSERT_TRUE(CapturedSaying("--out master.mkv --lossless --png-dir master --frames 600-606",
                               "FFV1 (RGB, lossless) and FLAC"));
    EXPECT_EQ(Probe("master.mkv", "codec_name,pix_fmt,color_space"), "codec_name=ffv1|pix_fmt=bgr0|color_space=gbr\n");
    // Both tracks marked default, or a player may select neither.
    EXPECT_EQ(Output("ffprobe -v error -show_entries stream=codec_type:stream_disposition=default -of compact=p=0 '" +
                     Path("master.mkv") + "'"),
              "codec_type=video|disposition:default=1\ncodec_type=audio|disposition:default=1\n");
    std::string bytes = Output("ffmpeg -v error -i '" + Path("master.mkv") + "' -map 0:v -f rawvideo -pix_fmt rgb24 -");
    size_t frameBytes = (size_t)1024 * 768 * 3;
    ASSERT_EQ(bytes.size(), 7 * frameBytes);
    for (int k = 600; k <= 606; k++) {
        char name[40];
        snprintf(name, sizeof name, "master/frame-%06d.png", k);
        Image png = ReadPng(name);
        ASSERT_EQ(png.rgb.size(), frameBytes) << name;
        EXPECT_EQ(memcmp(bytes.data() + (k - 600) * frameBytes, png.rgb.data(), frameBytes), 0) << name;
    }

    // The sound: frames 600 to 606 span samples 599 x 1764 to 606 x 1764 of
    // the song as --wav writes it.
    ASSERT_EQ(Capture("--wav song.wav"), 0);
    std::string wav = Slurp(Path("song.wav"));
    std::string sound = Output("ffmpeg -v error -i '" + Path("master.mkv") + "' -map 0:a -f s16le -");
    ASSERT_EQ(sound.size(), 7u * 1764u * 2u);
    ASSERT_GE(wav.size(), 44 + 606u * 1764u * 2u);
    EXPECT_EQ(sound, wav.substr(44 + 599u * 1764u * 2u, sound.size()));

    // Neither of these can be an .mp4, nor lossless and a CRF at once.
    std::string err;
    for (const char* args : {"--out master.mp4 --lossless", "--out master2.mkv --lossless --crf 0",
                             "--png-dir lossless --lossless", "--out bad.mp4 --crf 52", "--out bad.mp4 --crf -1"}) {
        EXPECT_EQ(Capture(args, &err), 2) << args;
        EXPECT_EQ(err.rfind("brinelux-capture: ", 0), 0u) << err;
    }
    EXPECT_FALSE(Exists("master.mp4") || Exists("master2.mkv") || Exists("lossless") || Exists("bad.mp4"));
    EXPECT_FALSE(TemporariesLeft());
}

TEST_F(CaptureVideo, LosslessEncodesAtTheLargestSizes)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    // Slices of these sizes' 2 x 2 split hold too many samples for FFV1: the
    // title's two frames must still encode, whole.
    for (const char* size : {"8192x6144", "5152x3864"}) {
        std::string err;
        EXPECT_EQ(Capture(std::string("--out big.mkv --lossless --frames 1-2 --size ") + size, &err), 0) << err;
        EXPECT_EQ(Probe("big.mkv", "codec_name,width,height"),
                  std::string("codec_name=ffv1|width=") + std::string(size).replace(4, 1, "|height=") + "\n");
        EXPECT_EQ(Output("ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames "
                         "-of csv=p=0 '" + Path("big.mkv") + "'"),
                  "2\n");
    }
    EXPECT_FALSE(TemporariesLeft());
}

TEST_F(CaptureVideo, ScenesAtTwiceTheSizeAverageToTheShowsFrame)
{
    ASSERT_EQ(Capture("--still water --time 2 --png water-1x.png"), 0);
    ASSERT_EQ(Capture("--still water --time 2 --png water-same.png --size 1024x768"), 0);
    EXPECT_EQ(Slurp(Path("water-1x.png")), Slurp(Path("water-same.png")));
    ASSERT_TRUE(CapturedSaying("--still water --time 2 --png water-2x.png --size 2048x1536", "2048x1536"));
    ASSERT_EQ(Capture("--still spheres --time 7 --png spheres-1x.png"), 0);
    ASSERT_EQ(Capture("--still spheres --time 7 --png spheres-2x.png --size 2048x1536"), 0);

    // Drawn natively at twice the size (iResolution, the band), the picture
    // averaged back is the 1x frame up to the detail finer than its pixels:
    // 36.2 dB for the water's ridges, 52.1 for the spheres here. A picture
    // drawn at the wrong scale, shifted or with the band misplaced falls
    // far below.
    for (const char* part : {"water", "spheres"}) {
        Image big = ReadPng(std::string(part) + "-2x.png");
        Image one = ReadPng(std::string(part) + "-1x.png");
        ASSERT_EQ(big.width, 2048);
        ASSERT_EQ(big.height, 1536);
        Image half = HalveBox(big);
        double psnr = Psnr(half.rgb.data(), one.rgb.data(), one.rgb.size());
        EXPECT_GT(psnr, std::string(part) == "water" ? 33.0 : 45.0) << part;
        // The band: 230 black rows above and below, row 230 and 1305 drawn.
        for (int x = 0; x < 2048; x += 7) {
            EXPECT_EQ(big.At(x, 229)[0] | big.At(x, 229)[1] | big.At(x, 229)[2], 0) << part << " x " << x;
            EXPECT_EQ(big.At(x, 1306)[0] | big.At(x, 1306)[1] | big.At(x, 1306)[2], 0) << part << " x " << x;
        }
        int drawn = 0;
        for (int x = 0; x < 2048; x++)
            drawn += (big.At(x, 230)[0] | big.At(x, 230)[1] | big.At(x, 230)[2]) != 0;
        EXPECT_GT(drawn, 1000) << part;
    }
}

TEST_F(CaptureVideo, CardsTextIsSharpAndInPlaceAtAnySize)
{
    ASSERT_EQ(Capture("--still title --png title-1x.png"), 0);
    ASSERT_EQ(Capture("--still title --png title-2x.png --size 2048x1536"), 0);
    Image one = ReadPng("title-1x.png");
    Image two = ReadPng("title-2x.png");
    ASSERT_EQ(two.width, 2048);
    int grey1 = 0, grey2 = 0;
    int lit1 = CountLit(one, &grey1), lit2 = CountLit(two, &grey2);
    // Glyphs rasterised at 48 pixels: about four times the pixels, still
    // only white on black, never smoothed or resampled.
    EXPECT_EQ(grey1, 0);
    EXPECT_EQ(grey2, 0);
    EXPECT_GT(lit2, lit1 * 3.5);
    EXPECT_LT(lit2, lit1 * 5.0);
    // Each line where the 1x card has it, scaled: the white pixels of the
    // 2x card in each 8 x 8 block match those of its 4 x 4 block at 1x.
    int blocks = 0, matched = 0;
    for (int y = 0; y < 768; y += 4)
        for (int x = 0; x < 1024; x += 4) {
            bool lit = false, lit2x = false;
            for (int dy = 0; dy < 4; dy++)
                for (int dx = 0; dx < 4; dx++)
                    lit = lit || one.At(x + dx, y + dy)[0] == 255;
            for (int dy = 0; dy < 8; dy++)
                for (int dx = 0; dx < 8; dx++)
                    lit2x = lit2x || two.At(2 * x + dx, 2 * y + dy)[0] == 255;
            blocks += lit || lit2x;
            matched += lit && lit2x;
        }
    EXPECT_GT(matched, blocks * 0.85) << matched << " of " << blocks;

    // Another shape: the 4:3 picture, here 1440 x 1080, between black bars,
    // and the same picture as drawn at that size alone.
    ASSERT_TRUE(CapturedSaying("--still title --png wide.png --size 1920x1080", "1440x1080 between black bars"));
    ASSERT_EQ(Capture("--still title --png narrow.png --size 1440x1080"), 0);
    Image wide = ReadPng("wide.png");
    Image narrow = ReadPng("narrow.png");
    ASSERT_EQ(wide.width, 1920);
    ASSERT_EQ(narrow.width, 1440);
    bool same = true, barsBlack = true;
    for (int y = 0; y < 1080; y++) {
        same = same && memcmp(wide.At(240, y), narrow.At(0, y), 1440 * 3) == 0;
        for (int x = 0; x < 240; x++)
            barsBlack = barsBlack && !(wide.At(x, y)[0] | wide.At(1919 - x, y)[0]);
    }
    EXPECT_TRUE(same);
    EXPECT_TRUE(barsBlack);

    // Supersampled: each pixel the mean light of its 2 x 2 block at 2x, so
    // a glyph's edge pixel holds a quarter, a half or three quarters of the
    // white's light, sRGB 137, 188 or 225, never a plain average of values.
    ASSERT_EQ(Capture("--still title --png smooth.png --supersample 2"), 0);
    Image smooth = ReadPng("smooth.png");
    ASSERT_EQ(smooth.width, 1024);
    static const uint8_t byLit[5] = {0, 137, 188, 225, 255};
    int wrong = 0, edges = 0;
    for (int y = 0; y < 768; y++)
        for (int x = 0; x < 1024; x++) {
            int n = 0;
            for (int d = 0; d < 4; d++)
                n += two.At(2 * x + d % 2, 2 * y + d / 2)[0] == 255;
            wrong += smooth.At(x, y)[0] != byLit[n];
            edges += n > 0 && n < 4;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(edges, 1000);
}

TEST_F(CaptureVideo, SizesOutsideTheRangeAreRefusedAndTheDriversLimitFailsCleanly)
{
    std::string err;
    for (const char* size : {"63x48", "64x47", "8193x6144", "8192x6145", "0x0", "1024x", "x768", "1024*768",
                             "-64x48", "1024x768x2"}) {
        EXPECT_EQ(Capture(std::string("--still title --png refused.png --size ") + size, &err), 2) << size;
        EXPECT_NE(err.find("64x48 to 8192x6144"), std::string::npos) << err;
    }
    EXPECT_EQ(Capture("--wav song.wav --size 640x480", &err), 2);
    EXPECT_EQ(Capture("--still title --png refused.png --supersample 5", &err), 2);
    // 4:2:0 needs even sides; FFV1 does not.
    EXPECT_EQ(Capture("--out odd.mp4 --size 641x480", &err), 2);
    EXPECT_NE(err.find("even"), std::string::npos) << err;
    EXPECT_FALSE(Exists("refused.png") || Exists("song.wav") || Exists("odd.mp4"));

    // Both ends of the range are drawn.
    ASSERT_EQ(Capture("--still title --png least.png --size 64x48"), 0);
    EXPECT_EQ(ReadPng("least.png").width, 64);
    ASSERT_EQ(Capture("--still thanks --png most.png --size 8192x6144"), 0);
    Image most = ReadPng("most.png");
    EXPECT_EQ(most.height, 6144);
    int grey = 0;
    EXPECT_GT(CountLit(most, &grey), 100000);

    // Drawn at 3 x 8192 wide no driver here can: one line, status 1,
    // nothing written, nothing left behind.
    EXPECT_EQ(Capture("--still title --png huge.png --size 8192x6144 --supersample 3", &err), 1);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("24576x18432"), std::string::npos) << err;
    EXPECT_FALSE(Exists("huge.png"));
    EXPECT_FALSE(TemporariesLeft());
}

} // namespace
