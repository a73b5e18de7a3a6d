#include "host/desktop.h"

#include <chrono>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include "audio/audio.h"
#include "host/options.h"
#include "host/pace.h"
#include "host/scene_probe.h"
#include "host/scene_size.h"
#include "host/show.h"
#include "render/present.h"
#include "render/render.h"

static bool fullscreen;
// When the drawn frame began, for the scene-size controller.
static uint64_t drawnSinceMs;
// BRINELUX_TEST_REPORT: a line per frame shown, with the song's position.
static bool reportFrames;

// The player's state: paused, and the song's position the pictures keep to
// while paused or while a seek is still to be heard.
static bool paused;
static double heldSong;
// A screensaver's keys are its daemon's: the player's and F11 go unread.
static bool playerKeys = true;

// To `seconds` of song: the pictures at once to the frame the capture shows
// then, the song after them once the feeder has rendered it there.
static void SeekShow(double seconds)
{
    double last = SongLengthSeconds() - 1.0 / SHOW_FRAME_RATE;
    seconds = seconds < 0.0 ? 0.0 : seconds > last ? last : seconds;
    heldSong = seconds;
    PaceSeek(seconds);
    SeekAudio((int64_t)floor(seconds * SOUND_SAMPLE_RATE + 0.5));
}

// Where the song is for the pictures now.
static double SongNow()
{
    if (paused || AudioSeekPending())
        return heldSong;
    return SongPlaySeconds();
}

// P or K, the arrows, J, L and Home, as the page has them. A burst of seeks
// (a held arrow's repeats) adds up, and only the last reaches the feeder.
static void FollowPlayerKeys()
{
    if (PlatformKeyPresses(PLATFORM_KEY_PAUSE) % 2 == 1) {
        heldSong = SongNow();
        paused = !paused;
        PauseAudio(paused);
    }
    int32_t by = 5 * (PlatformKeyPresses(PLATFORM_KEY_RIGHT) - PlatformKeyPresses(PLATFORM_KEY_LEFT)) +
                 10 * (PlatformKeyPresses(PLATFORM_KEY_L) - PlatformKeyPresses(PLATFORM_KEY_J));
    if (PlatformKeyPresses(PLATFORM_KEY_HOME) > 0)
        SeekShow(0.0);
    else if (by != 0)
        SeekShow(SongNow() + by);
}


// Whether the frame being drawn is a scene's, for its present before the swap.
static bool drawingScene;

static void PresentDrawn() { EndPicture(drawingScene); }

static void BeginDrawn(bool scene)
{
    drawingScene = scene;
    ApplySceneSize();
    BeginPicture(scene);
    // A GPU found unable to draw into a texture holds the picture's size.
    ApplySceneSize();
    drawnSinceMs = PlatformTimeMs();
}

// The time from the frame's start until the GPU has finished it (the swap
// included, and the driver's wait for the display where it waits).
static double DrawnMs()
{
    glFinish();
    return (double)(PlatformTimeMs() - drawnSinceMs);
}

// The picture at the drawable's size now: a resize or F11 shows at the next
// frame drawn.
static void FollowDrawable(PlatformWindow* window)
{
    int width = 0, height = 0;
    PlatformDrawableSize(window, &width, &height);
    FrameWindow(width, height);
    SceneSizeForPicture(pictureWidth, pictureHeight);
}

static void FollowF11(PlatformWindow* window)
{
    if (!PlatformKeyPressed(PLATFORM_KEY_F11))
        return;
    fullscreen = !fullscreen;
    PlatformSetFullscreen(window, fullscreen);
    PlatformShowCursor(!fullscreen);
}

// ---- the benchmark: every frame as fast as the GPU draws it, timed ----

static const int32_t BENCH_MOST_FRAMES = 4096;
static ShowPart benchParts[BENCH_MOST_FRAMES];
static float benchClocks[BENCH_MOST_FRAMES];
static double benchMs[BENCH_MOST_FRAMES];
static double sortedMs[BENCH_MOST_FRAMES];

// Frames of a GPU take well under the platform's milliseconds.
static double PreciseMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static int CompareMs(const void* a, const void* b)
{
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

// A line for each part timed, then the score, for frames [first, end).
static void PrintBenchmark(int32_t first, int32_t end, double seconds, int32_t width, int32_t height)
{
    for (int32_t part = 0; part < PART_COUNT; part++) {
        int32_t n = 0;
        double sum = 0.0;
        for (int32_t f = first; f < end; f++)
            if (benchParts[f - 1] == part) {
                sortedMs[n++] = benchMs[f - 1];
                sum += benchMs[f - 1];
            }
        if (n == 0)
            continue;
        qsort(sortedMs, (size_t)n, sizeof sortedMs[0], CompareMs);
        int32_t at = (int32_t)ceil(0.99 * n) - 1;
        printf("%s: %d frames, mean %.2f ms, 99th percentile %.2f ms, %.1f fps\n", showPartNames[part], n, sum / n,
               sortedMs[at < 0 ? 0 : at], sum > 0.0 ? n * 1000.0 / sum : 0.0);
    }
    const char* gpu = (const char*)glGetString(GL_RENDERER);
    int32_t frames = end - first;
    printf("brinelux benchmark: %d frames in %.2f s at %dx%d, %.1f fps; GPU: %s\n", frames, seconds, width, height,
           seconds > 0.0 ? frames / seconds : 0.0, gpu ? gpu : "unknown");
    fflush(stdout);
}

// The timeline stepped frame by frame as the capture steps it, from the
// show's first frame (or the part's) to the song's end, no song started.
static void RunBenchmark(PlatformWindow* window)
{
    int32_t last = DueFrame(SongLengthSeconds());
    last = last < BENCH_MOST_FRAMES ? last : BENCH_MOST_FRAMES;
    PlanShowFrames(last, benchParts, benchClocks);
    int32_t first = 1;
    ShowPart only = showOptions.benchPart;
    if (only != PART_COUNT) {
        while (first <= last && benchParts[first - 1] != only)
            first++;
        int32_t end = first;
        while (end <= last && benchParts[end - 1] == only)
            end++;
        last = end - 1;
    }
    // From before the first frame as a rewind leaves it: the sound's start
    // is skipped, and no song plays.
    RewindTimeline();
    PinSceneScale(1.0);
    if (!PlatformSetSwapInterval(window, 0))
        fprintf(stderr, "brinelux: the driver would not stop the swap waiting for the display's refresh where "
                        "it waits; the figures count those waits\n");
    int32_t done = first;
    if (first > 1 && !RunUnseenTo(window, first - 1))
        last = 0;
    double began = PreciseMs();
    for (int32_t f = first; f <= last; f++) {
        FollowDrawable(window);
        double at = PreciseMs();
        bool scene = false;
        bool goOn = RunFramesTo(window, f, BeginDrawn, nullptr, &scene);
        glFinish();
        benchMs[f - 1] = PreciseMs() - at;
        done = f + 1;
        // The keys end it early: what was timed is still told.
        if (!goOn)
            break;
    }
    PrintBenchmark(first, done, (PreciseMs() - began) / 1000.0, pictureWidth, pictureHeight);
}

PlatformWindow* StartDesktop()
{
    // The live show's pictures never wait long for a standing output.
    outputStandIn = true;
    audioOffsetMs = showOptions.audioOffsetMs;
    seekSong = SongJumpTo;
    songLoops = showOptions.loop;
    // A screensaver: another program's window or the whole screen, ended
    // by its daemon or by any input, and silent unless asked.
    bool saver = showOptions.foreign || showOptions.saver;
    playerKeys = !saver && !showOptions.benchmark;
    if (showOptions.foreign)
        PlatformUseForeignWindow(showOptions.windowId);
    if (showOptions.saver)
        PlatformEndOnInput(true);
    if (saver && !showOptions.sound)
        PlatformSoundNone();
    if (showOptions.benchmark)
        PlatformAllowOffscreen(true);
    PlatformUseScreen(showOptions.screen);
    if (showOptions.display > 0)
        PlatformUseDisplay(showOptions.display - 1);
    PlatformWindow* window = StartUp(showOptions.windowWidth, showOptions.windowHeight);
    // Off screen, a framebuffer object stands in for the window.
    windowFramebuffer = PlatformWindowFramebuffer(window);
    if (windowFramebuffer != 0)
        glBindFramebuffer(GL_FRAMEBUFFER, windowFramebuffer);
    fullscreen = showOptions.screen != PLATFORM_SCREEN_WINDOW;
    // A window is for working beside: its cursor stays.
    if (!fullscreen)
        PlatformShowCursor(true);
    const char* report = getenv("BRINELUX_TEST_REPORT");
    reportFrames = report && *report;
    if (showOptions.scale > 0.0)
        PinSceneScale(showOptions.scale);
    FollowDrawable(window);
    beforeSwap = PresentDrawn;
    if (showOptions.start > 0.0)
        SeekShow(showOptions.start);
    return window;
}

void DesktopLoop(PlatformWindow* window)
{
    if (showOptions.benchmark) {
        RunBenchmark(window);
        return;
    }
    while (!ShowShouldEnd()) {
        if (playerKeys) {
            FollowF11(window);
            FollowPlayerKeys();
        }
        double song = SongNow();
        // A party screen's loop: at the song's end, the show from its start.
        if (showOptions.loop && !paused && song >= SongLengthSeconds()) {
            SeekShow(0.0);
            song = 0.0;
        }
        ShowPass pass = DecidePass(song, showOptions.smooth, showOptions.paceDisplay);
        if (!pass.draw) {
            // Not yet due: sleep to its time (at most a frame, so that keys
            // and a stalled device are looked at again), never spin; a
            // smooth scene looks again at once the song's position moves.
            double ms = ceil(pass.waitSeconds * 1000.0);
            ms = ms < 1.0 || pass.lookSoon ? 1.0 : fmin(ms, SHOW_FRAME_MS);
            PlatformSleep((uint32_t)ms);
            continue;
        }
        FollowDrawable(window);
        bool scene = false;
        bool goOn = RunPass(window, pass, BeginDrawn, nullptr, &scene);
        if (scene) {
            NoteSceneFrame(DrawnMs(), 0.0, (double)PlatformTimeMs());
        } else if (InProbeWindow(paceFrames, DueFrame(2.0)) && !SceneSizeSettled()) {
            // While the cards stand still, the water is drawn unseen at the
            // scenes' size until its times settle that size: a slow GPU's
            // first water frame is then not one at full size. The first
            // probe carries the driver's compile of both programs, seconds
            // on a software renderer, in which no key is read: two seconds
            // in, after a viewer's first look, and long before the water.
            drawnSinceMs = PlatformTimeMs();
            ProbeSceneSize();
            NoteSceneFrame(DrawnMs(), 0.0, (double)PlatformTimeMs());
            ApplySceneSize();
        }
        if (reportFrames) {
            printf("brinelux-report: frame %d chosen-at %.6f shown-at %.6f picture %dx%d+%d+%d scene %dx%d "
                   "clock %.7f latency %.1f\n",
                   paceFrames, song, SongNow(), pictureWidth, pictureHeight, pictureX, pictureY,
                   sceneWidth, sceneHeight,
                   !scene ? 0.0 : pass.smooth ? (double)ShownSmoothClock() : (double)showClocks.sceneTime,
                   SongOutputLatencyMs());
            fflush(stdout);
        }
        if (!goOn)
            return;
    }
}
