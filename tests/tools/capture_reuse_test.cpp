// brinelux-capture draws each distinct picture once and writes repeats from
// kept copies: every output must match a run that draws every frame, byte
// for byte, across the places where pictures repeat or merely look alike
// (a card held for seconds, the water's and the spheres' clocks both
// starting at 0.04, the spheres' cycle restarting), with the copies in
// memory or in the temporary file, and an interrupt must leave nothing.
#include <gtest/gtest.h>
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
