// The benchmark (--bench): the show's start-up step by step, frame times
// per part, and the song's speed against real time.
#include <math.h>
#include <stdio.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "host/show.h"
#include "platform/headless/headless_gl.h"
#include "platform/offline/offline.h"
#include "render/render.h"
#include "state/shared.h"
#include "tools/capture/ffmpeg.h"
#include "tools/capture/reuse.h"
#include "tools/capture/run.h"
#include "tools/capture/stretches.h"
#include "tools/capture/video_format.h"

struct PartTimes {
    const char* name = "";
    double firstMs = 0.0;
    std::vector<double> ms;
};

static double Median(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    size_t n = ms.size();
    return n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2.0;
}

static double Ms(Clock::time_point since) { return Seconds(since) * 1000.0; }

static double NowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }
static void Finish() { glFinish(); }

static void TimePart(PlatformWindow* window, PartTimes& part, ShowPart which, float timeFrom, float timeTo)
{
    // The first frame carries the driver's deferred work and is shown apart;
    // the rest spread over the part's scene time.
    const int frames = 8;
    part.ms.assign(frames, 0.0);
    RunPartFrames(window, which, timeFrom, timeTo, frames, NowMs, Finish, part.ms.data(), &part.firstMs);
}

static Clock::time_point stepStart;
static double stepMs[GRAPHICS_STEP_COUNT];

static void TimeStep(int32_t step)
{
    glFinish();
    stepMs[step] = Ms(stepStart);
    stepStart = Clock::now();
}

// ---- the encoder's cost a frame ----

static std::vector<uint8_t> benchFrames;

static void KeepBenchFrame(int32_t, const uint8_t* rgb, int width, int height)
{
    if (rgb)
        benchFrames.insert(benchFrames.end(), rgb, rgb + (size_t)width * height * 3);
}

// Seconds ffmpeg takes to encode the kept frames (the first count, cycling)
// with the capture's settings, its start included; -1 when it fails.
static double EncodeSeconds(const std::string& ffmpeg, int32_t count)
{
    size_t bytes = (size_t)SHOW_WIDTH * SHOW_HEIGHT * 3;
    size_t kept = benchFrames.size() / bytes;
    std::string why;
    Clock::time_point start = Clock::now();
    if (kept == 0 || !VideoStart(ffmpeg, "/dev/null", SHOW_WIDTH, SHOW_HEIGHT, 25, 1, VideoCodecArgs(options), &why))
        return -1.0;
    for (int32_t i = 0; i < count; i++)
        if (!VideoWriteFrame(benchFrames.data() + (size_t)i % kept * bytes, bytes, &why)) {
            VideoAbandon();
            return -1.0;
        }
    return VideoFinish(&why) ? Seconds(start) : -1.0;
}

// A part's frames drawn again over its span of scene time, read back and
// encoded: ms a frame, ffmpeg's start (one frame alone) taken off; -1 when
// the encoder fails.
static double EncodeMs(const std::string& ffmpeg, PlatformWindow* window, ShowPart part, float from, float to)
{
    const int32_t frames = 8;
    benchFrames.clear();
    OfflineSetSinks(KeepBenchFrame, nullptr);
    for (int32_t i = 0; i < frames && !OfflineInterrupted(); i++)
        RunPartFrame(window, part, from + (to - from) * (float)(i + 1) / (float)(frames + 1));
    OfflineSetSinks(nullptr, nullptr);
    double all = EncodeSeconds(ffmpeg, frames), one = all < 0.0 ? -1.0 : EncodeSeconds(ffmpeg, 1);
    return one < 0.0 ? -1.0 : std::max(0.0, all - one) * 1000.0 / (frames - 1);
}

int Bench()
{
    PlatformWindow* window = PlatformCreateWindow(0, 0, SHOW_WIDTH, SHOW_HEIGHT);
    if (!window) {
        fprintf(stderr, "brinelux-capture: %s\n", PlatformLastError());
        return 1;
    }
    fprintf(stderr, "benchmarking on %s\n", HeadlessRenderer());
    // The show's own start-up, each step timed to its end.
    stepStart = Clock::now();
    BuildShowGraphics(TimeStep);
    const double* ms = stepMs;

    PartTimes parts[PART_COUNT];
    // Each scene's frames spread over its own span of scene time.
    const float ends[PART_COUNT] = {0.0f, 0.0f, 5.0f, 14.0f};
    for (int p = 0; p < PART_COUNT; p++) {
        parts[p].name = showPartNames[p];
        fprintf(stderr, "  %s ...\n", parts[p].name);
        TimePart(window, parts[p], (ShowPart)p, 0.04f, ends[p]);
        if (OfflineInterrupted())
            return Interrupted();
    }
    // The encoder's cost of a frame of each part, where ffmpeg is at hand.
    std::string ffmpeg = FindProgram("ffmpeg");
    double encodeMs[PART_COUNT];
    for (int p = 0; p < PART_COUNT; p++) {
        encodeMs[p] = -1.0;
        if (ffmpeg.empty())
            continue;
        fprintf(stderr, "  %s encoded ...\n", parts[p].name);
        encodeMs[p] = EncodeMs(ffmpeg, window, (ShowPart)p, 0.04f, ends[p]);
        if (OfflineInterrupted())
            return Interrupted();
    }
    if (QuitRequested()) {
        fprintf(stderr, "brinelux-capture: OpenGL reported an error during the benchmark (line above)\n");
        return 1;
    }

    // The show's length in frames, as a capture learns it: from a clock at
    // its start, which the frames above have moved.
    int64_t showFrames = OfflineRewind() ? LastFrameOfShow() : -1;
    if (OfflineInterrupted())
        return Interrupted();

    // The whole song in the live feeder's refills.
    fprintf(stderr, "  song ...\n");
    int64_t samples = 0, refills = 0;
    ResetSong();
    Clock::time_point t = Clock::now();
    RenderSongRefills(&refills, &samples, INFINITY, MAX_REFILLS, OfflineInterrupted, nullptr);
    if (OfflineInterrupted())
        return Interrupted();
    double songWall = Seconds(t);
    double songSeconds = samples / (double)SOUND_SAMPLE_RATE;

    printf("brinelux-capture --bench, %dx%d, renderer: %s\n", SHOW_WIDTH, SHOW_HEIGHT, HeadlessRenderer());
    printf("start-up: texture %.1f ms, programs %.1f ms (vertex %.1f, water %.1f, spheres %.1f), font %.1f ms\n",
           ms[GRAPHICS_STEP_TEXTURE], ms[GRAPHICS_STEP_VERTEX] + ms[GRAPHICS_STEP_WATER] + ms[GRAPHICS_STEP_SPHERES],
           ms[GRAPHICS_STEP_VERTEX], ms[GRAPHICS_STEP_WATER], ms[GRAPHICS_STEP_SPHERES], ms[GRAPHICS_STEP_FONT]);
    printf("(the driver may finish compiling a program at its first draw: see first ms)\n");
    printf("%-8s %7s %10s %8s %8s %10s\n", "part", "frames", "median ms", "min ms", "max ms", "first ms");
    for (PartTimes& part : parts) {
        std::vector<double> ms = part.ms;
        std::sort(ms.begin(), ms.end());
        printf("%-8s %7zu %10.1f %8.1f %8.1f %10.1f\n", part.name, ms.size(), Median(ms), ms.front(), ms.back(), part.firstMs);
    }
    // A whole-show capture at 25 frames per second draws each distinct
    // picture once: what that saves at the medians above.
    int32_t frames = showFrames > 0 ? (int32_t)showFrames : 0;
    std::vector<ShowPart> shown((size_t)frames);
    std::vector<float> clocks((size_t)frames);
    PlanShowFrames(frames, shown.data(), clocks.data());
    int32_t pictures = CountPictures(shown.data(), clocks.data(), frames);
    double savedMs = 0.0;
    std::string each;
    for (int p = 0; p < PART_COUNT; p++) {
        std::vector<ShowPart> partShown;
        std::vector<float> partClocks;
        for (int32_t i = 0; i < frames; i++)
            if (shown[(size_t)i] == (ShowPart)p) {
                partShown.push_back(shown[(size_t)i]);
                partClocks.push_back(clocks[(size_t)i]);
            }
        int32_t partPictures = CountPictures(partShown.data(), partClocks.data(), (int32_t)partShown.size());
        savedMs += (double)(partShown.size() - (size_t)partPictures) * Median(parts[p].ms);
        each += std::string(p ? ", " : "") + parts[p].name + " " + std::to_string(partPictures) + " of " +
                std::to_string(partShown.size());
    }
    printf("whole-show capture at 25 fps: %d pictures drawn for %d frames (%s); drawing each once saves about "
           "%.0f s of drawing\n", pictures, frames, each.c_str(), savedMs / 1000.0);
    // Its video: each repeating stretch encoded once, the rest copies.
    std::vector<int32_t> numbers((size_t)frames);
    NumberPictures(shown.data(), clocks.data(), frames, numbers.data());
    std::vector<VideoStretch> stretches;
    PlanStretches(numbers.data(), frames, StretchCopyRule(options), &stretches);
    double encodeSavedMs = 0.0;
    bool measured = true;
    for (const VideoStretch& stretch : stretches)
        for (int32_t i = stretch.first; i < stretch.first + stretch.count && stretch.copy; i++) {
            int p = (int)shown[(size_t)i];
            measured = measured && p < PART_COUNT && encodeMs[p] >= 0.0;
            encodeSavedMs += p < PART_COUNT ? std::max(0.0, encodeMs[p]) : 0.0;
        }
    std::string costs;
    for (int p = 0; p < PART_COUNT; p++)
        costs += std::string(p ? ", " : "") + parts[p].name + " " +
                 (encodeMs[p] >= 0.0 ? std::to_string((int)(encodeMs[p] + 0.5)) : std::string("?"));
    printf("encoder (%s): ms a frame: %s\n", DescribeCodecs(options).c_str(), costs.c_str());
    printf("its video: %d frames encoded for %d written, in %d stretches and %d copies joined; encoding each "
           "repeating stretch once saves %s of encoding\n", EncodedFrames(stretches), frames,
           EncodedStretches(stretches), (int)stretches.size() - EncodedStretches(stretches),
           measured ? ("about " + std::to_string((int)(encodeSavedMs / 1000.0 + 0.5)) + " s").c_str()
                    : "an unmeasured amount (no ffmpeg on PATH)");
    printf("song: %.2f s rendered in %.3f s, %.1fx real time\n", songSeconds, songWall,
           songWall > 0.0 ? songSeconds / songWall : 0.0);
    return 0;
}
