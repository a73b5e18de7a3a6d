// The web page's entry: start-up as soon as the page has loaded (behind the
// first screen), then, once the viewer's gesture has started the show, one
// pass of the frame loop per animation frame until the show ends. The
// feeder runs in a worker (feeder_main_web.cpp), which reports the song's end;
// where that worker cannot run, the page keeps the song's time itself.
//
// A page opened with ?still=PART (and &time=T) draws that one frame
// instead, as the desktop's capture draws its stills; with &repeat=N (and
// &to=T2) it times N frames with the loop the capture's bench uses.
#include "audio/audio.h"
#include "host/show.h"
#include "platform/gl.h"
#include "platform/web/web.h"

#include <emscripten/emscripten.h>
#include <algorithm>
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static PlatformWindow* window;
static bool running;

EM_JS(void, ShowEndScreen, (int status), {
    if (Module['onShowEnd']) Module['onShowEnd'](status);
});

// Without the feeder's worker (it did not load, or died) the song is
// rendered here, unheard, on the page's clock: in the refills the worker's
// silent ring makes, a ring ahead, from where the worker left it, so that
// its end mark ends the show on time. A second's song costs milliseconds.
static double clockStartMs = -1.0;
static double clockFromSamples;
static int64_t clockRefills;
static int64_t clockSamples;

EM_JS(void, LogSongBlock, (const int16_t* samples, int count), {
    if (Module['soundLog']) Module['soundLog'].push(HEAP16.slice(samples >> 1, (samples >> 1) + count));
});

// Called by the page when the worker is lost after the show's sound started
// (songSamples: how far it had rendered the song), or when the sound starts
// without one (0).
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederLost(double songSamples)
{
    if (clockStartMs >= 0.0)
        return;
    clockStartMs = emscripten_get_now();
    clockFromSamples = songSamples;
}

static void KeepSongTime()
{
    if (clockStartMs < 0.0)
        return;
    static int16_t block[SOUND_RING_SAMPLES];
    double due = clockFromSamples + (emscripten_get_now() - clockStartMs) * SOUND_SAMPLE_RATE / 1000.0 +
                 SOUND_RING_SAMPLES;
    while (!QuitRequested() && (double)clockSamples < due) {
        int32_t n = SoundRefillSamples(clockRefills++);
        RenderAudio(block, n * SOUND_BYTES_PER_SAMPLE);
        // The sound log goes on from where the worker's ended.
        if ((double)clockSamples >= clockFromSamples)
            LogSongBlock(block, n);
        clockSamples += n;
    }
}

static void AnimationFrame()
{
    KeepSongTime();
    if (ShowShouldEnd()) {
        emscripten_cancel_main_loop();
        WebSoundStop();
        running = false;
        int status = EndShow(window);
        fflush(stdout);
        ShowEndScreen(status);
        return;
    }
    RunFrame(window);
}

// Called by the page when the feeder's worker reached the song's end mark:
// the flag the desktop's feeder raises, seen before the next frame.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSongEnded(void) { RequestQuit(); }

// Called by the page on the viewer's first click or key.
extern "C" EMSCRIPTEN_KEEPALIVE void WebBeginShow(void)
{
    if (running || window == nullptr)
        return;
    running = true;
    WebForgetKeys();
    // Frame rate 0: the browser's animation frames pace the loop.
    emscripten_set_main_loop(AnimationFrame, 0, 0);
}

// The value of a query parameter of the page's address into out (cut to
// size); returns its length in bytes, -1 when it is absent.
EM_JS(int, QueryValue, (const char* key, char* out, int size), {
    var value = new URLSearchParams(location.search).get(UTF8ToString(key));
    if (value === null) return -1;
    stringToUTF8(value, out, size);
    return lengthBytesUTF8(value);
});

EM_JS(void, ShowStillScreen, (int status, const char* why), {
    if (Module['onStill']) Module['onStill'](status, UTF8ToString(why));
});

// A still the page cannot draw: the reason on the console and the page.
static bool RefuseStill(const char* what, const char* value)
{
    char line[160];
    snprintf(line, sizeof line, "brinelux: %s, not '%s'", what, value);
    printf("%s\n", line);
    fflush(stdout);
    ShowStillScreen(2, line);
    return true;
}

// A scene time as the capture takes one: a finite number from -1e6 to 1e6,
// the whole value (a value cut to the buffer is not the one asked for).
// False once a bad one is refused; *time is left alone when it is absent.
static bool SceneTime(const char* key, float* time)
{
    char text[32];
    int length = QueryValue(key, text, sizeof text);
    if (length < 0)
        return true;
    char* end = nullptr;
    errno = 0;
    double t = strtod(text, &end);
    if (length >= (int)sizeof text || end == text || *end != 0 || errno != 0 || !isfinite(t) || fabs(t) > 1.0e6) {
        char what[80];
        snprintf(what, sizeof what, "?%s= takes seconds of scene time between -1e6 and 1e6", key);
        RefuseStill(what, text);
        return false;
    }
    *time = (float)t;
    return true;
}

static double NowMs(void) { return emscripten_get_now(); }

static void ReadOnePixel(void)
{
    GLubyte pixel[4];
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
}

static bool DrawStill()
{
    char name[32], text[32];
    if (QueryValue("still", name, sizeof name) < 0)
        return false;
    int part = -1;
    for (int p = 0; p < PART_COUNT; p++)
        if (strcmp(name, showPartNames[p]) == 0)
            part = p;
    if (part < 0)
        return RefuseStill("?still= takes title, thanks, water or spheres", name);
    float time = 0.04f;
    if (!SceneTime("time", &time))
        return true;
    float to = time;
    if (!SceneTime("to", &to))
        return true;

    // A timed still (&repeat=N) draws a first frame that carries the
    // driver's deferred work, then N spread from time to `to`, each waited
    // for by reading a pixel back (WebGL's glFinish does not wait); Chromium
    // warns once about that stall, so plain stills neither wait nor time.
    bool timed = QueryValue("repeat", text, sizeof text) >= 0;
    int repeat = timed ? std::min(std::max(atoi(text), 1), 50) : 0;
    static double ms[50];
    double firstMs = 0.0;
    float lands = RunPartFrames(window, (ShowPart)part, time, to, repeat, timed ? NowMs : nullptr, ReadOnePixel, ms,
                                &firstMs);
    if (timed) {
        std::sort(ms, ms + repeat);
        printf("brinelux: still %s from %.6g to %.6g drawn %d times, median %.1f ms (%.1f to %.1f)\n", name,
               (double)time, (double)to, repeat, ms[repeat / 2], ms[0], ms[repeat - 1]);
    } else {
        printf("brinelux: still %s at %.6g drawn\n", name, (double)lands);
    }
    fflush(stdout);
    ShowStillScreen(QuitRequested() ? 1 : 0, "");
    return true;
}

int main()
{
    window = StartUp();
    if (DrawStill())
        return 0;
    printf("brinelux: ready\n");
    fflush(stdout);
    return 0;
}
