// brinelux-capture run as users run it, with no display: stills, the song as
// WAV against direct calls of the song's renderer, a short video, frame
// ranges and the refusals of bad command lines.
#include "tests/tools/png_image.h"
#include "tests/tools/work_dir.h"
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "audio/audio.h"
#include "state/shared.h"

namespace {

std::string workDir;

// Runs the tool through the shell with DISPLAY unset; returns its status and
// keeps what it said on standard error.
std::string Slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int Capture(const std::string& args, std::string* err = nullptr, const std::string& env = "",
            std::string* out = nullptr)
{
    std::string errFile = workDir + "/stderr.txt";
    std::string outFile = workDir + "/stdout.txt";
    std::string cmd = "cd '" + workDir + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + env + " '" CAPTURE_BIN "' " +
                      args + " > '" + (out ? outFile : "/dev/null") + "' 2> '" + errFile + "'";
    int status = system(cmd.c_str());
    if (err)
        *err = Slurp(errFile);
    if (out)
        *out = Slurp(outFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Path(const std::string& name) { return workDir + "/" + name; }

// The tool's temporaries are hidden files beside their outputs.
bool TemporariesLeft()
{
    std::string cmd = "find '" + workDir + "' -name '.brinelux-*' | grep -q .";
    return system(cmd.c_str()) == 0;
}

bool Exists(const std::string& name)
{
    struct stat st;
    return stat(Path(name).c_str(), &st) == 0;
}

std::vector<uint8_t> ReadFile(const std::string& name)
{
    std::ifstream in(Path(name), std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Image ReadPng(const std::string& name) { return ReadPngFile(Path(name)); }

// The letterbox band: rows 0-114 and 653-767 (from the top) black.
void ExpectBand(const Image& image)
{
    for (int y : {0, 57, 114, 653, 700, 767})
        for (int x = 0; x < 1024; x += 11)
            ASSERT_EQ(image.At(x, y)[0] + image.At(x, y)[1] + image.At(x, y)[2], 0) << x << "," << y;
}

class CaptureRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() { workDir = MakeWorkDir("brinelux-capture"); }
    static void TearDownTestSuite() { RemoveWorkDir(workDir); }
};

TEST_F(CaptureRun, StillsAreTheShowsFramesAndRepeatByteForByte)
{
    ASSERT_EQ(Capture("--still water --time 2.5 --png water-a.png"), 0);
    ASSERT_EQ(Capture("--still water --time 2.5 --png water-b.png"), 0);
    EXPECT_EQ(ReadFile("water-a.png"), ReadFile("water-b.png"));
    Image water = ReadPng("water-a.png");
    ASSERT_EQ(water.width, 1024);
    ASSERT_EQ(water.height, 768);
    ExpectBand(water);
    // Inside the band the water is lit, nowhere near black.
    int lit = 0;
    for (int x = 0; x < 1024; x += 8)
        lit += water.At(x, 384)[2] > 20;
    EXPECT_GT(lit, 100);
    EXPECT_FALSE(TemporariesLeft());

    ASSERT_EQ(Capture("--still title --png title.png"), 0);
    Image title = ReadPng("title.png");
    ASSERT_EQ(title.width, 1024);
    ASSERT_EQ(title.height, 768);
    // White text on black: the first line sits above the middle, left of
    // centre (raster position -0.7, 0.2 is x 154, baseline y 307).
    int white = 0, other = 0;
    for (int y = 0; y < 768; y++)
        for (int x = 0; x < 1024; x++) {
            const uint8_t* p = title.At(x, y);
            if (p[0] == 255 && p[1] == 255 && p[2] == 255)
                white += y > 280 && y < 315 && x >= 150 && x < 430;
            else if (p[0] || p[1] || p[2])
                other++;
        }
    EXPECT_GT(white, 300);
    EXPECT_EQ(other, 0);

    ASSERT_EQ(Capture("--still thanks --png thanks.png"), 0);
    EXPECT_NE(ReadFile("thanks.png"), ReadFile("title.png"));
}

TEST_F(CaptureRun, SpheresStillAtSevenSeconds)
{
    ASSERT_EQ(Capture("--still spheres --time 7 --png spheres.png"), 0);
    Image spheres = ReadPng("spheres.png");
    ASSERT_EQ(spheres.width, 1024);
    ExpectBand(spheres);
    long sum = 0;
    for (int x = 0; x < 1024; x++)
        sum += spheres.At(x, 384)[0] + spheres.At(x, 384)[1] + spheres.At(x, 384)[2];
    EXPECT_GT(sum, 1024 * 30);
}

// The song rendered by direct calls of the renderer: the live feeder's
// schedule on a ring of SOUND_RING_SAMPLES samples (a full ring, then those played in each
// 25 ms, split where the ring wraps), or fixed blocks. Stops after the call
// that raises the end mark, checking that it is the one that carries the
// song clock past 117.24 s.
// The song in calls of `block` samples, or (0) in the live feeder's calls,
// whose sizes go to `calls` where given.
std::vector<int16_t> DirectSong(int32_t block, std::vector<int64_t>* calls = nullptr)
{
    std::vector<int16_t> song;
    static int16_t out[SOUND_RING_SAMPLES];
    ResetSong(); // as the show's start-up leaves it
    int64_t writeAt = 0;
    for (int64_t j = 0; !QuitRequested() && j < 100000; j++) {
        int64_t n = block;
        if (block == 0)
            n = SoundRefillSamples(j);
        int64_t parts[2] = {std::min<int64_t>(n, SOUND_RING_SAMPLES - writeAt), 0};
        if (block == 0) {
            parts[1] = n - parts[0];
            writeAt = (writeAt + n) % SOUND_RING_SAMPLES;
        } else {
            parts[0] = n;
        }
        for (int64_t part : parts) {
            if (part == 0)
                continue;
            float before = audioTime;
            if (calls)
                calls->push_back(part);
            RenderAudio(out, (int32_t)(part * 2));
            song.insert(song.end(), out, out + part);
            if (QuitRequested()) {
                EXPECT_LE(before, 117.24f);
                EXPECT_GT(audioTime, 117.24f);
            }
        }
    }
    return song;
}

std::vector<int16_t> WavSamples(const std::string& name)
{
    std::vector<uint8_t> bytes = ReadFile(name);
    std::vector<int16_t> samples;
    if (bytes.size() < 44)
        return samples;
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(bytes[22] | bytes[23] << 8, 1);                                          // mono
    EXPECT_EQ(bytes[24] | bytes[25] << 8 | bytes[26] << 16 | bytes[27] << 24, 44100); // rate
    EXPECT_EQ(bytes[34] | bytes[35] << 8, 16);                                         // bits
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    uint32_t data = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | (uint32_t)bytes[43] << 24;
    EXPECT_EQ(data, bytes.size() - 44);
    for (size_t i = 44; i + 1 < bytes.size(); i += 2)
        samples.push_back((int16_t)(bytes[i] | bytes[i + 1] << 8));
    return samples;
}

TEST_F(CaptureRun, SongAsWavEqualsDirectCallsWithTheSameSchedule)
{
    ASSERT_EQ(Capture("--wav live.wav"), 0);
    std::vector<int16_t> live = WavSamples("live.wav");
    std::vector<int16_t> direct = DirectSong(0);
    EXPECT_GT(live.size(), 117u * 44100u);
    EXPECT_LT(live.size(), 118u * 44100u);
    ASSERT_EQ(live.size(), direct.size());
    EXPECT_TRUE(live == direct);

    ASSERT_EQ(Capture("--wav block.wav --audio-block 1102"), 0);
    std::vector<int16_t> block = WavSamples("block.wav");
    std::vector<int16_t> directBlock = DirectSong(1102);
    EXPECT_EQ(block.size() % 1102, 0u);
    ASSERT_EQ(block.size(), directBlock.size());
    EXPECT_TRUE(block == directBlock);
    ASSERT_EQ(Capture("--wav live-again.wav"), 0);
    EXPECT_EQ(ReadFile("live.wav"), ReadFile("live-again.wav"));

    // A logged schedule is followed call for call (a row starts only at a
    // call's start, so a merged or split call would change the sound); one
    // that stops short gives the song so far.
    std::vector<int64_t> calls;
    DirectSong(0, &calls);
    calls.resize(300);
    std::string list;
    int64_t total = 0;
    for (int64_t n : calls) {
        list += std::to_string(n) + (n % 3 ? " " : "\n");
        total += n;
    }
    FILE* file = fopen(Path("calls.txt").c_str(), "w");
    ASSERT_NE(file, nullptr);
    fputs(list.c_str(), file);
    fclose(file);
    std::string summary;
    ASSERT_EQ(Capture("--wav logged.wav --audio-schedule calls.txt", nullptr, "", &summary), 0);
    EXPECT_NE(summary.find("before the song's end mark"), std::string::npos) << summary;
    std::vector<int16_t> logged = WavSamples("logged.wav");
    ASSERT_EQ((int64_t)logged.size(), total);
    EXPECT_TRUE(std::equal(logged.begin(), logged.end(), live.begin()));
}

std::string Probe(const std::string& args)
{
    std::string cmd = "ffprobe -v error " + args;
    FILE* pipe = popen(cmd.c_str(), "r");
    std::string text;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    if (pipe)
        pclose(pipe);
    return text;
}

TEST_F(CaptureRun, ShortVideoHoldsThePicturesAndThePlayedSound)
{
    if (system("command -v ffmpeg > /dev/null && command -v ffprobe > /dev/null") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    ASSERT_EQ(Capture("--out short.mkv --frames 1-50"), 0);
    std::string video = Probe("-select_streams v -count_frames -show_entries "
                              "stream=codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames -of compact=p=0 "
                              "'" + Path("short.mkv") + "'");
    EXPECT_EQ(video, "codec_name=h264|width=1024|height=768|pix_fmt=yuv420p|r_frame_rate=25/1|nb_read_frames=50\n");
    std::string audio = Probe("-select_streams a -show_entries stream=codec_name,sample_rate,channels "
                              "-of compact=p=0 '" + Path("short.mkv") + "'");
    EXPECT_EQ(audio, "codec_name=flac|sample_rate=44100|channels=1\n");
    // The lossless sound is the stream the ring played: the first 2 s of the
    // song as the live feeder renders it.
    std::string decode = "ffmpeg -v error -i '" + Path("short.mkv") + "' -map 0:a -f s16le -ac 1 -ar 44100 '" +
                         Path("short.raw") + "'";
    ASSERT_EQ(system(decode.c_str()), 0);
    std::vector<uint8_t> raw = ReadFile("short.raw");
    ASSERT_EQ(raw.size(), 50u * 1764u * 2u);
    ASSERT_EQ(Capture("--wav song.wav"), 0);
    std::vector<int16_t> song = WavSamples("song.wav");
    ASSERT_GE(song.size(), 88200u);
    EXPECT_EQ(memcmp(raw.data(), song.data(), raw.size()), 0);

    ASSERT_EQ(Capture("--out short-again.mkv --frames 1-50"), 0);
    EXPECT_EQ(ReadFile("short.mkv"), ReadFile("short-again.mkv"));

    ASSERT_EQ(Capture("--out short.mp4 --frames 1-50 --fps 30000/1001"), 0);
    EXPECT_EQ(Probe("-select_streams v -show_entries stream=codec_name,r_frame_rate -of compact=p=0 '" +
                    Path("short.mp4") + "'"),
              "codec_name=h264|r_frame_rate=30000/1001\n");
    EXPECT_EQ(Probe("-select_streams a -show_entries stream=codec_name,sample_rate,channels -of compact=p=0 '" +
                    Path("short.mp4") + "'"),
              "codec_name=aac|sample_rate=44100|channels=1\n");
    // The index (moov) comes before the media data (mdat), so a browser can
    // play the file while it loads.
    std::vector<uint8_t> mp4 = ReadFile("short.mp4");
    std::string boxes;
    for (size_t at = 0; at + 8 <= mp4.size();) {
        uint64_t size = (uint64_t)mp4[at] << 24 | mp4[at + 1] << 16 | mp4[at + 2] << 8 | mp4[at + 3];
        boxes += std::string(mp4.begin() + (long)at + 4, mp4.begin() + (long)at + 8) + " ";
        if (size < 8)
            break;
        at += size;
    }
    EXPECT_LT(boxes.find("moov"), boxes.find("mdat")) << boxes;
    EXPECT_FALSE(TemporariesLeft());
}

TEST_F(CaptureRun, FrameRangeWritesOnlyItsFrames)
{
    ASSERT_EQ(Capture("--png-dir range --frames 600-602"), 0);
    std::vector<std::string> names;
    for (int k = 595; k <= 606; k++) {
        char name[40];
        snprintf(name, sizeof name, "range/frame-%06d.png", k);
        if (Exists(name))
            names.push_back(name);
    }
    ASSERT_EQ(names, (std::vector<std::string>{"range/frame-000600.png", "range/frame-000601.png",
                                               "range/frame-000602.png"}));
    // 600 and 601 show the thanks card; 602 is the water's first frame.
    ASSERT_EQ(Capture("--still thanks --png thanks-card.png"), 0);
    EXPECT_EQ(ReadPng("range/frame-000601.png").rgb, ReadPng("thanks-card.png").rgb);
    ASSERT_EQ(Capture("--still water --png water-first.png"), 0);
    EXPECT_EQ(ReadPng("range/frame-000602.png").rgb, ReadPng("water-first.png").rgb);
}

TEST_F(CaptureRun, InterruptedVideoLeavesNothingBehind)
{
    if (system("command -v ffmpeg > /dev/null") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    // Interrupted at several points: before the first frame, and in the
    // middle of the frames.
    for (const char* after : {"1", "4"}) {
        std::string err;
        std::string args = std::string("--out cut.mkv");
        std::string cmd = "cd '" + workDir + "' && env -u DISPLAY timeout --preserve-status -s INT " + after + " '" +
                          CAPTURE_BIN "' " + args + " > /dev/null 2> '" + workDir + "/cut-err.txt'";
        int status = system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 130) << "interrupted after " << after << " s";
        EXPECT_FALSE(Exists("cut.mkv")) << "after " << after << " s";
        EXPECT_FALSE(TemporariesLeft()) << "after " << after << " s";
    }
    std::string encoders = "pgrep -f '" + workDir + "/[.]brinelux-' > /dev/null";
    EXPECT_EQ(system(encoders.c_str()), 256) << "the encoder was left running";
}

// A termination request as the show starts up (raised by a preloaded
// library once start-up puts its handler in place): the loop ends before
// its first frame, nothing is drawn or written, and the run says it was
// interrupted.
TEST_F(CaptureRun, TerminatedBeforeTheFirstFrameDrawsNothing)
{
    ASSERT_EQ(mkdir(Path("early").c_str(), 0777), 0);
    std::string err;
    EXPECT_EQ(Capture("--png-dir early --frames 1-3", &err, "LD_PRELOAD='" TERM_AT_START_LIB "'"), 128 + SIGTERM);
    EXPECT_NE(err.find("brinelux-capture: interrupted"), std::string::npos) << err;
    // The loop's own account, unless the interrupt's watch (1.5 s after the
    // signal) ended the run first on a loaded machine.
    if (err.find("interrupted after") != std::string::npos) {
        EXPECT_NE(err.find("interrupted after 0 frames"), std::string::npos) << err;
    }
    EXPECT_FALSE(Exists("early/frame-000001.png"));
    EXPECT_FALSE(TemporariesLeft());
}

TEST_F(CaptureRun, BadCommandLinesSayWhyWithStatusTwoAndWriteNothing)
{
    const char* const bad[] = {
        "--out bad.avi",
        "--out bad.mp4 --fps 0",
        "--out bad.mp4 --frames 9-3",
        "--wav bad.wav --audio-block 0",
        "--wav bad.wav --audio-schedule missing-calls.txt",
        "--wav bad.wav --audio-schedule bad-calls.txt",
        "--still moon --png bad.png",
        "--still water --png bad.png --time later",
        "--bogus",
        "",
        "--out missing-dir/bad.mp4",
        "--wav missing-dir/bad.wav",
        "--png-dir bad-frames --frames 999999-",
    };
    // A renderer call is at most a ring's samples.
    FILE* calls = fopen(Path("bad-calls.txt").c_str(), "w");
    ASSERT_NE(calls, nullptr);
    fprintf(calls, "1102 1103\n%d\n", (int)SOUND_RING_SAMPLES + 1);
    fclose(calls);
    for (const char* args : bad) {
        std::string err;
        EXPECT_EQ(Capture(args, &err), 2) << args;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << args << ": " << err;
        EXPECT_EQ(err.rfind("brinelux-capture: ", 0), 0u) << err;
    }
    for (const char* name : {"bad.avi", "bad.mp4", "bad.wav", "bad.png", "missing-dir"})
        EXPECT_FALSE(Exists(name)) << name;

    // Without ffmpeg on PATH a video cannot be made: said before any work.
    std::string err;
    EXPECT_EQ(Capture("--out nope.mp4", &err, "PATH=/nonexistent"), 2);
    EXPECT_NE(err.find("ffmpeg"), std::string::npos) << err;
    EXPECT_FALSE(Exists("nope.mp4"));
}

} // namespace
