// The web page's entry: start-up as soon as the page has loaded (behind the
// first screen), then, once the viewer's gesture has started the show, the
// frame loop driven by the page's animation frames until the show ends.
// The feeder runs in a worker (feeder_main_web.cpp), which reports the
// song's end; where that worker cannot run, the page keeps the song's time
// itself.
//
// The pictures follow the song: at each animation frame the page shows the
// frame that a capture at 25 frames a second shows at the song's play
// position, running the frames due since the last one through the show's
// own loop (those not shown without drawing anything) and none ahead of
// the music. ?pace=display runs one frame per animation frame instead, the
// desktop show's pace.
//
// The page is a player as well: it pauses (the song's clock held, as for a
// hidden tab) and seeks. A seek moves the song's clock; frames ahead of the
// one on screen are run unseen as the song's own skips are, and a seek
// backwards first rewinds the timeline to its start, so that the frame
// shown is always the capture's frame for that time.
//
// A page opened with ?still=PART (and &time=T) draws that one frame
// instead, as the desktop's capture draws its stills; with &repeat=N (and
// &to=T2) it times N frames with the loop the capture's bench uses.
#include "audio/audio.h"
#include "host/pace.h"
#include "host/picture_web.h"
#include "host/show.h"
#include "platform/gl.h"
#include "platform/web/web.h"
#include "render/render.h"
#include "state/show_text.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>
#include <algorithm>
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static PlatformWindow* window;
static bool running;
// The show has ended: its context is released.
static bool over;

EM_JS(void, ShowEndScreen, (int status), {
    if (Module['onShowEnd']) Module['onShowEnd'](status);
});

// Without the feeder's worker (it did not load, or died) the song is
// rendered here, unheard, on the page's clock: in the refills the worker's
// silent ring makes, a ring ahead, from where the worker left it, so that
// its end mark ends the show on time. A second's song costs milliseconds.
static double clockStartMs = -1.0;
static double clockPausedAt = -1.0;
static double clockFromSamples;
static int64_t clockRefills;
static int64_t clockSamples;
static const int64_t NO_LIMIT = INT64_MAX;

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

// Called by the page when the viewer seeks while the page keeps the song's
// time: the song from its start, rendered here up to `samples` and on.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSongSeek(double samples)
{
    if (clockStartMs < 0.0)
        return;
    ResetSong();
    clockSamples = 0;
    clockRefills = 0;
    clockFromSamples = samples;
    clockStartMs = emscripten_get_now();
    if (clockPausedAt >= 0.0)
        clockPausedAt = clockStartMs;
}

// The sound log goes on from where the worker's ended.
static void LogFromWorkersEnd(int64_t first, const int16_t* block, int32_t count)
{
    if ((double)first >= clockFromSamples)
        LogSongBlock(block, count);
}

static void KeepSongTime()
{
    if (clockStartMs < 0.0)
        return;
    double now = clockPausedAt >= 0.0 ? clockPausedAt : emscripten_get_now();
    double due = clockFromSamples + (now - clockStartMs) * SOUND_SAMPLE_RATE / 1000.0 + SOUND_RING_SAMPLES;
    RenderSongRefills(&clockRefills, &clockSamples, due, NO_LIMIT, nullptr, LogFromWorkersEnd);
}

// ---- the frame loop on the page ----

static bool paceDisplay;
static bool contextLost;
// The canvas's displayed size in device pixels, waiting for the next frame
// drawn (resizing the canvas clears it).
static int32_t resizeWidth, resizeHeight;
// Animation frames: when the previous one ran and what it drew, when the
// last scene frame was shown, and the display's period, measured over
// animation frames that followed one that drew nothing.
static double lastAnimationMs = -1.0;
static bool lastDrew;
static bool lastDrewScene;
static double lastSceneMs = -1.0;
static double displayMs = 1000.0 / 60.0;
// Probes of the scenes drawn (during the thanks card).
static int32_t probes;

// Called by the page when it is hidden (1) or shown again (0): the song
// stops and goes on with the pictures, on the page's clock too.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSongPause(int paused)
{
    double now = emscripten_get_now();
    if (paused && clockPausedAt < 0.0) {
        clockPausedAt = now;
    } else if (!paused && clockPausedAt >= 0.0) {
        if (clockStartMs >= 0.0)
            clockStartMs += now - clockPausedAt;
        clockPausedAt = -1.0;
    }
    // No animation frames came meanwhile: no measure of the GPU either.
    lastAnimationMs = lastSceneMs = -1.0;
}

// Where the song plays, in seconds; negative before its sound has started.
EM_JS(double, SongSeconds, (void), {
    return Module['songSeconds'] ? Module['songSeconds']() : -1;
});

// The frame on screen, and the scene time it showed (0 for a card).
EM_JS(void, PublishFrame, (int frame, double scene), {
    Module['shownFrame'] = frame;
    Module['shownSceneTime'] = scene;
});

EM_JS(void, CanvasDeviceSize, (int* size), {
    var s = Module['canvasDeviceSize'] ? Module['canvasDeviceSize']() : [1024, 768];
    HEAP32[size >> 2] = s[0];
    HEAP32[(size >> 2) + 1] = s[1];
});

static void EndTheShow()
{
    running = false;
    over = true;
    WebSoundStop();
    int status = EndShow(window);
    fflush(stdout);
    ShowEndScreen(status);
}

static void BeginPicture(bool scene) { WebBeginPicture(scene); }
static void EndPicture(bool scene) { WebEndPicture(scene); }

// What a scene frame cost the GPU: the time to the next animation frame
// (the browser holds it back while the GPU is busy), or, where the song
// left frames behind meanwhile, the time since the last scene frame shown.
static void NoteAnimationFrame(double nowMs, bool drew, bool drewScene, int32_t skipped)
{
    double since = lastAnimationMs >= 0.0 ? nowMs - lastAnimationMs : -1.0;
    if (since >= 0.0 && lastDrewScene)
        WebNoteSceneFrame(since, displayMs, nowMs);
    else if (drewScene && skipped > 0 && lastSceneMs >= 0.0)
        WebNoteSceneFrame(nowMs - lastSceneMs, displayMs, nowMs);
    else if (since > 0.0 && since < 1000.0 && !lastDrew)
        displayMs = displayMs * 0.9 + since * 0.1;
    lastAnimationMs = nowMs;
    lastDrew = drew;
    lastDrewScene = drewScene;
    if (drewScene)
        lastSceneMs = nowMs;
}

// Called by the page at each animation frame of the running show, with
// the frame's time.
extern "C" EMSCRIPTEN_KEEPALIVE void WebAnimationFrame(double nowMs)
{
    if (!running)
        return;
    KeepSongTime();
    if (ShowShouldEnd()) {
        EndTheShow();
        return;
    }
    // Lost before the page heard of it: nothing may be drawn until it is
    // given back.
    if (contextLost || emscripten_is_webgl_context_lost(emscripten_webgl_get_current_context())) {
        contextLost = true;
        lastAnimationMs = lastSceneMs = -1.0;
        return;
    }
    int32_t due = NextDueFrame(SongSeconds(), paceDisplay);
    if (due <= paceFrames) {
        NoteAnimationFrame(nowMs, false, false, 0);
        return;
    }
    if (resizeWidth > 0) {
        WebSetCanvasSize(resizeWidth, resizeHeight);
        resizeWidth = resizeHeight = 0;
    }
    bool scene = false;
    int32_t skipped = due - paceFrames - 1;
    if (!RunFramesTo(window, due, BeginPicture, EndPicture, &scene)) {
        EndTheShow();
        return;
    }
    PublishFrame(paceFrames, scene ? (double)sceneTime : 0.0);
    // While the thanks card stands still, the water is drawn unseen at the
    // scenes' size until its frame times settle that size: a slow GPU's
    // first water frame is then not one at the picture's full size. The
    // probes begin once the card has stood 20 frames and stop 42 frames
    // before the water.
    if (!scene && paceFrames >= PartFirstFrame(PART_THANKS) + 19 && paceFrames < PartFirstFrame(PART_WATER) - 42 &&
        !WebSceneSizeSettled()) {
        WebProbeScenes(probes++ == 0);
        scene = true;
    }
    NoteAnimationFrame(nowMs, true, scene, skipped);
}

// Called by the page when the viewer seeks to `seconds` of song (or opens
// the page at a moment): a frame behind the one on screen is reached from
// the timeline's start, run again unseen.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSeekTo(double seconds)
{
    if (over)
        return;
    PaceSeek(seconds);
    // The frames run meanwhile say nothing of the GPU's pace.
    lastAnimationMs = lastSceneMs = -1.0;
}

// The song's length in seconds, for the page's timeline.
extern "C" EMSCRIPTEN_KEEPALIVE double WebSongLength(void) { return SongLengthSeconds(); }

// The song time at which a part (a ShowPart) first shows, for the page's
// timeline marks; -1 for no part.
extern "C" EMSCRIPTEN_KEEPALIVE double WebPartStart(int part)
{
    return part >= 0 && part < PART_COUNT ? PartStartSeconds((ShowPart)part) : -1.0;
}

// Called by the page to watch the show again after it ended normally: the
// context taken back, the timeline rewound, the end's flag and keys
// cleared; the page starts the song again from its start.
extern "C" EMSCRIPTEN_KEEPALIVE int WebReplay(void)
{
    if (!over || glErrorReported || window == nullptr || !WebTakeContextBack(window))
        return 0;
    ResetSong();
    PaceRewind();
    clockStartMs = clockPausedAt = -1.0;
    clockSamples = clockRefills = 0;
    over = false;
    running = true;
    PlatformShowCursor(false);
    WebForgetKeys();
    lastAnimationMs = lastSceneMs = -1.0;
    return 1;
}

// Called by the page when the canvas's displayed size changes.
extern "C" EMSCRIPTEN_KEEPALIVE void WebCanvasResized(int width, int height)
{
    resizeWidth = width;
    resizeHeight = height;
}

// Called by the page when the browser takes the WebGL context away (the
// song plays on), and when it gives it back: everything the GL held is
// made again, and the show goes on at the song's position.
extern "C" EMSCRIPTEN_KEEPALIVE void WebContextLost(void) { contextLost = true; }

extern "C" EMSCRIPTEN_KEEPALIVE void WebContextRestored(void)
{
    if (window == nullptr || over)
        return;
    contextLost = false;
    lastAnimationMs = lastSceneMs = -1.0;
    // The lost context's own report, and anything it left.
    while (glGetError() != GL_NO_ERROR) {
    }
    RebuildShowGraphics();
    WebForgetTextGraphics();
    WebForgetCanvasGraphics();
    int32_t size[2];
    CanvasDeviceSize(size);
    WebSetCanvasSize(size[0], size[1]);
}

// Called by the page when the feeder's worker reached the song's end mark:
// the flag the desktop's feeder raises, seen before the next frame.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSongEnded(void) { RequestQuit(); }

// Called by the page on the viewer's first click or key; the page then
// calls WebAnimationFrame at each of its animation frames.
extern "C" EMSCRIPTEN_KEEPALIVE void WebBeginShow(void)
{
    if (running || over || window == nullptr)
        return;
    running = true;
    WebForgetKeys();
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

// A scene time as the capture takes one, the whole value (one cut to the
// buffer is not the one asked for). False once a bad one is refused; *time
// is left alone when it is absent.
static bool SceneTime(const char* key, float* time)
{
    char text[SCENE_TIME_MAX_LENGTH + 1];
    int length = QueryValue(key, text, sizeof text);
    if (length < 0)
        return true;
    double t = 0.0;
    if (length >= (int)sizeof text || !ParseSceneTime(text, &t)) {
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
    ShowPart part;
    if (!FindShowPart(name, &part))
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
    bool scene = part == PART_WATER || part == PART_SPHERES;
    // A still is the picture at its own size, whatever the GPU's speed.
    WebPinSceneScale(1.0);
    WebBeginPicture(scene);
    float lands = RunPartFrames(window, part, time, to, repeat, timed ? NowMs : nullptr, ReadOnePixel, ms,
                                &firstMs);
    WebEndPicture(scene);
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

// ?pace=display, and ?scale=S (the scenes at S of the picture's side, 0 to 1;
// 1 pins the picture's own size).
static void ReadPace()
{
    char text[32];
    paceDisplay = QueryValue("pace", text, sizeof text) >= 0 && strcmp(text, "display") == 0;
    int length = QueryValue("scale", text, sizeof text);
    if (length < 0)
        return;
    char* end = nullptr;
    double scale = strtod(text, &end);
    if (length >= (int)sizeof text || end == text || *end != 0 || !(scale > 0.0 && scale <= 1.0)) {
        printf("brinelux: ?scale= takes a fraction of the picture's side above 0 and at most 1, not '%s'; the "
               "scenes' size follows the GPU\n",
               text);
        fflush(stdout);
        return;
    }
    WebPinSceneScale(scale);
}

int main()
{
    window = StartUp();
    int32_t size[2];
    CanvasDeviceSize(size);
    WebSetCanvasSize(size[0], size[1]);
    if (DrawStill())
        return 0;
    ReadPace();
    printf("brinelux: ready\n");
    fflush(stdout);
    return 0;
}
