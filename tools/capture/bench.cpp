// The benchmark (--bench): the show's start-up step by step, frame times
// per part, and the song's speed against real time.
#include <math.h>
#include <stdio.h>
#include <algorithm>
#include <chrono>
#include <vector>

#include "audio/audio.h"
#include "host/show.h"
#include "platform/headless/headless_gl.h"
#include "platform/offline/offline.h"
#include "render/render.h"
#include "state/shared.h"
#include "tools/capture/run.h"

struct PartTimes {
    const char* name = "";
    double firstMs = 0.0;
    std::vector<double> ms;
};

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
    if (QuitRequested()) {
        fprintf(stderr, "brinelux-capture: OpenGL reported an error during the benchmark (line above)\n");
        return 1;
    }

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
        size_t n = ms.size();
        double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2.0;
        printf("%-8s %7zu %10.1f %8.1f %8.1f %10.1f\n", part.name, n, median, ms.front(), ms.back(), part.firstMs);
    }
    printf("song: %.2f s rendered in %.3f s, %.1fx real time\n", songSeconds, songWall,
           songWall > 0.0 ? songSeconds / songWall : 0.0);
    return 0;
}
