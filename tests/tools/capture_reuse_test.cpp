// brinelux-capture draws each distinct picture once and writes repeats from
// kept copies: every output must match a run that draws every frame, byte
// for byte, across the places where pictures repeat or merely look alike
// (a card held for seconds, the water's and the spheres' clocks both
// starting at 0.04, the spheres' cycle restarting), with the copies in
// memory or in the temporary file, and an interrupt must leave nothing.
// The video encodes a repeating stretch once and joins copies of it: the
// joined file must play as the single encoding of every frame does.
#include "tests/tools/png_image.h"
#include <gtest/gtest.h>
#include <math.h>
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
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

// Runs the tool with no display in dir (made if need be); its status and
// what it said on standard error.
int Capture(const std::string& dir, const std::string& args, bool drawAll, std::string* err)
{
    mkdir(Path(dir).c_str(), 0777);
    std::string cmd = "cd '" + Path(dir) + "' && env -u DISPLAY -u WAYLAND_DISPLAY " +
                      (drawAll ? "BRINELUX_CAPTURE_DRAW_ALL=1 " : "") + "'" CAPTURE_BIN "' " + args +
                      " > stdout.txt 2> stderr.txt";
    int status = system(cmd.c_str());
    *err = Slurp(Path(dir + "/stderr.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(Path(dir).c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.' || strlen(e->d_name) > 2)
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every file of one run's directory against the other's, outputs only.
void ExpectSameFiles(const std::string& a, const std::string& b)
{
    std::vector<std::string> left = Names(a), right = Names(b);
    ASSERT_EQ(left, right);
    int compared = 0;
    for (const std::string& name : left) {
        if (name == "stderr.txt" || name == "stdout.txt")
            continue;
        EXPECT_TRUE(Slurp(Path(a + "/" + name)) == Slurp(Path(b + "/" + name))) << name << " differs";
        compared++;
    }
    EXPECT_GT(compared, 0);
}

bool TemporariesIn(const std::string& dir)
{
    for (const std::string& name : Names(dir))
        if (name.compare(0, 10, ".brinelux-") == 0)
            return true;
    return false;
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

// A video's frames decoded to RGB as a careful player does.
std::string Decoded(const std::string& file)
{
    return Output("ffmpeg -v error -i '" + Path(file) +
                  "' -map 0:v -vf scale=flags=accurate_rnd+full_chroma_int -f rawvideo -pix_fmt rgb24 -");
}

// One line per video frame in presentation order: its time and whether it
// is a key frame.
std::vector<std::string> FrameTimes(const std::string& file)
{
    std::istringstream lines(Output("ffprobe -v error -select_streams v -show_entries frame=pts,key_frame -of csv=p=0 '" +
                                    Path(file) + "'"));
    std::vector<std::string> frames;
    // Side data may follow the two fields.
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            frames.push_back(line.substr(0, line.find(',', line.find(',') + 1)));
    return frames;
}

double Psnr(double squaredError, size_t bytes)
{
    return squaredError == 0.0 ? 99.0 : 10.0 * log10(255.0 * 255.0 / (squaredError / (double)bytes));
}

double SquaredError(const uint8_t* a, const uint8_t* b, size_t bytes)
{
    double sum = 0.0;
    for (size_t i = 0; i < bytes; i++)
        sum += ((double)a[i] - b[i]) * ((double)a[i] - b[i]);
    return sum;
}

class CaptureReuse : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char dir[] = "/tmp/brinelux-reuse-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        workDir = dir;
    }
    static void TearDownTestSuite()
    {
        std::string cmd = "rm -rf '" + workDir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
};

// The thanks card held over frames, the switch to the water, and the first
// sphere frame, whose clock equals the first water frame's: alike in clock,
// not in picture.
TEST_F(CaptureReuse, CardsAndTheSwitchToTheSpheresMatchEveryFrameDrawn)
{
    std::string err;
    ASSERT_EQ(Capture("switch-kept", "--png-dir . --frames 598-735 --size 128x96", false, &err), 0) << err;
    // One thanks card, the water's 126 pictures, 8 spheres.
    EXPECT_NE(err.find("drew 135 pictures for 138 frames"), std::string::npos) << err;
    ASSERT_EQ(Capture("switch-all", "--png-dir . --frames 598-735 --size 128x96", true, &err), 0) << err;
    EXPECT_NE(err.find("drew 138 pictures for 138 frames"), std::string::npos) << err;
    ExpectSameFiles("switch-kept", "switch-all");
}

// Past a whole cycle of the spheres, so that the second cycle's first
// frames are written from the first's; the lossless video beside the PNGs.
TEST_F(CaptureReuse, ASphereCycleRestartMatchesEveryFrameDrawn)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
    std::string args = "--png-dir . --out show.mkv --lossless --frames 1070-1440 --size 64x48";
    std::string err;
    ASSERT_EQ(Capture("cycle-kept", args, false, &err), 0) << err;
    // 371 frames of a 351-frame cycle: 1421 on repeat 1070 on.
    EXPECT_NE(err.find("drew 351 pictures for 371 frames"), std::string::npos) << err;
    ASSERT_EQ(Capture("cycle-all", args, true, &err), 0) << err;
    ExpectSameFiles("cycle-kept", "cycle-all");
}

// The timeline counts frames, not seconds: at 50 frames per second the
// repeats fall on the same frames, with the sound twice as dense.
TEST_F(CaptureReuse, AtFiftyFramesPerSecondTheRepeatsStillMatch)
{
    std::string args = "--png-dir . --fps 50 --frames 1075-1436 --size 64x48";
    std::string err;
    ASSERT_EQ(Capture("fps-kept", args, false, &err), 0) << err;
    EXPECT_NE(err.find("drew 351 pictures for 362 frames"), std::string::npos) << err;
    ASSERT_EQ(Capture("fps-all", args, true, &err), 0) << err;
    ExpectSameFiles("fps-kept", "fps-all");
}

// No memory at all for kept pictures: every repeat goes through the
// temporary file beside the output, which is gone at the end.
TEST_F(CaptureReuse, ABudgetTooSmallForOnePictureKeepsThemInATemporaryFile)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
    std::string args = "--png-dir . --out title.mkv --lossless --frames 290-310 --size 128x96";
    std::string err;
    ASSERT_EQ(Capture("small-kept", args + " --cache-mb 0", false, &err), 0) << err;
    EXPECT_NE(err.find("drew 2 pictures for 21 frames, 2 of them kept in a temporary file"), std::string::npos)
        << err;
    EXPECT_FALSE(TemporariesIn("small-kept"));
    ASSERT_EQ(Capture("small-all", args, true, &err), 0) << err;
    ExpectSameFiles("small-kept", "small-all");
}

// Two cycles of the spheres: frames 1421-1440 repeat 1070-1089, so the
// video is 1070-1089 and 1090-1420 encoded on their own and a copy of the
// first joined after them. Against every frame drawn and encoded in one
// run (the old way): the same frames at the same times, the same quality
// against the PNG frames, the same container; the lossless video exactly
// the PNGs.
TEST_F(CaptureReuse, TwoSphereCyclesJoinedFromStretchesPlayAsTheSingleEncoding)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
    std::string range = " --frames 1070-1440 --size 256x192";
    std::string err;
    ASSERT_EQ(Capture("join", "--out joined.mp4 --png-dir png" + range, false, &err), 0) << err;
    EXPECT_NE(err.find("encoded 351 of the 371 frames in 2 stretches, joined with 1 copy"), std::string::npos) << err;
    ASSERT_EQ(Capture("join-all", "--out single.mp4" + range, true, &err), 0) << err;
    EXPECT_EQ(err.find("encoded "), std::string::npos) << err;
    ASSERT_EQ(Capture("join", "--out joined.mkv --lossless" + range, false, &err), 0) << err;
    EXPECT_FALSE(TemporariesIn("join"));

    // Key frames where the stretches begin, every frame at its own time.
    std::vector<std::string> joined = FrameTimes("join/joined.mp4"), single = FrameTimes("join-all/single.mp4");
    ASSERT_EQ(joined.size(), 371u);
    ASSERT_EQ(single.size(), 371u);
    for (size_t i = 0; i < joined.size(); i++) {
        EXPECT_EQ(joined[i].substr(2), single[i].substr(2)) << "frame " << i;
        if (i == 0 || i == 20 || i == 351) {
            EXPECT_EQ(joined[i][0], '1') << "no key frame where stretch " << i << " begins";
        }
    }
    std::string durations = "ffprobe -v error -show_entries stream=codec_type,duration -of csv=p=0 ";
    EXPECT_EQ(Output(durations + Path("join/joined.mp4")), Output(durations + Path("join-all/single.mp4")));
    // The index first and the colour tags, as for a single encoding.
    std::string mp4 = Slurp(Path("join/joined.mp4"));
    EXPECT_LT(mp4.find("moov"), mp4.find("mdat"));
    EXPECT_NE(mp4.find(std::string("colrnclx\0\1\0\1\0\1\0", 15)), std::string::npos);

    // Quality against the PNG frames: overall within 0.3 dB of the single
    // encoding; frame for frame within 1 dB (x264's own choices move a
    // frame by some tenths either way; measured here: -0.47 to +0.72).
    std::string a = Decoded("join/joined.mp4"), b = Decoded("join-all/single.mp4"), l = Decoded("join/joined.mkv");
    size_t bytes = 256 * 192 * 3;
    ASSERT_EQ(a.size(), 371 * bytes);
    ASSERT_EQ(b.size(), 371 * bytes);
    ASSERT_EQ(l.size(), 371 * bytes);
    double joinedError = 0.0, singleError = 0.0;
    for (int i = 0; i < 371; i++) {
        char name[40];
        snprintf(name, sizeof name, "join/png/frame-%06d.png", 1070 + i);
        Image png = ReadPngFile(Path(name));
        ASSERT_EQ(png.rgb.size(), bytes) << name;
        const uint8_t* p = png.rgb.data();
        double ja = SquaredError((const uint8_t*)a.data() + i * bytes, p, bytes);
        double sb = SquaredError((const uint8_t*)b.data() + i * bytes, p, bytes);
        EXPECT_GT(Psnr(ja, bytes), Psnr(sb, bytes) - 1.0) << "frame " << 1070 + i;
        joinedError += ja;
        singleError += sb;
        EXPECT_TRUE(memcmp(l.data() + i * bytes, p, bytes) == 0) << "lossless frame " << 1070 + i;
    }
    EXPECT_GT(Psnr(joinedError, 371 * bytes), Psnr(singleError, 371 * bytes) - 0.3);
}

// Interrupted while the stretches are joined: the joining ffmpeg goes, and
// so does every stretch, the list, the sound and the unfinished file.
TEST_F(CaptureReuse, AnInterruptDuringTheJoinLeavesNothing)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
    std::string fake = Path("fake"), marker = Path("joining.pid");
    mkdir(fake.c_str(), 0777);
    std::string real = Output("command -v ffmpeg");
    real.erase(real.find_last_not_of("\n") + 1);
    std::ofstream(fake + "/ffmpeg") << "#!/bin/bash\nfor a; do [ \"$a\" = concat ] && { echo $$ > '" << marker
                                    << "'; exec sleep 300; }; done\nexec '" << real << "' \"$@\"\n";
    chmod((fake + "/ffmpeg").c_str(), 0755);
    std::string probe = "ln -s \"$(command -v ffprobe)\" '" + fake + "/ffprobe'";
    ASSERT_EQ(system(probe.c_str()), 0);
    std::string dir = Path("join-cut");
    mkdir(dir.c_str(), 0777);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0 || !freopen("../join-cut.txt", "w", stderr))
            _exit(127);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("PATH", (fake + ":" + getenv("PATH")).c_str(), 1);
        execl(CAPTURE_BIN, CAPTURE_BIN, "--out", "cut.mp4", "--frames", "1070-1440", "--size", "64x48", (char*)nullptr);
        _exit(127);
    }
    bool joining = false;
    for (int i = 0; i < 1200 && !joining; i++) {
        joining = !Slurp(marker).empty();
        if (!joining)
            usleep(50 * 1000);
    }
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(joining) << Slurp(Path("join-cut.txt"));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT) << Slurp(Path("join-cut.txt"));
    EXPECT_EQ(Names("join-cut"), std::vector<std::string>()) << "left behind";
    pid_t joiner = atoi(Slurp(marker).c_str());
    bool gone = false;
    for (int i = 0; i < 40 && !gone; i++) {
        gone = joiner > 0 && kill(joiner, 0) != 0;
        if (!gone)
            usleep(50 * 1000);
    }
    EXPECT_TRUE(gone) << "the joining ffmpeg is still running";
    if (!gone && joiner > 0)
        kill(joiner, SIGKILL);
}

// Interrupted while the kept pictures wait in the temporary file: the run
// ends as interrupted and leaves neither that file nor any output.
TEST_F(CaptureReuse, AnInterruptWithPicturesInTheTemporaryFileLeavesNothing)
{
    std::string dir = Path("interrupted");
    mkdir(dir.c_str(), 0777);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0 || !freopen("stderr.txt", "w", stderr))
            _exit(127);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        execl(CAPTURE_BIN, CAPTURE_BIN, "--png-dir", "frames", "--frames", "1-2929", "--size", "256x192",
              "--cache-mb", "0", (char*)nullptr);
        _exit(127);
    }
    // The title card is kept at the first frame; wait for its file.
    bool seen = false;
    for (int i = 0; i < 600 && !seen; i++) {
        seen = TemporariesIn("interrupted/frames");
        if (!seen)
            usleep(50 * 1000);
    }
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(seen) << Slurp(dir + "/stderr.txt");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT) << Slurp(dir + "/stderr.txt");
    EXPECT_FALSE(TemporariesIn("interrupted/frames"));
    EXPECT_FALSE(TemporariesIn("interrupted"));
}

}  // namespace
