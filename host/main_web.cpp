// The web page's entry: start-up as soon as the page has loaded (behind the
// first screen), then, once the viewer's gesture has started the show, the
// frame loop driven by the page's animation frames until the show ends.
// The feeder runs in the page's AudioWorklet (feeder_main_web.cpp), which
// reports the song's end; while there is no sound, the page keeps the
// song's time itself.
//
// The pictures follow the song: at each animation frame the page shows the
// frame that a capture at 25 frames a second shows at the song's play
// position, running the frames due since the last one through the show's
// own loop (those not shown without drawing anything) and none ahead of
// the music. ?pace=display runs one frame per animation frame instead, the
// desktop show's pace. With smooth motion on (?smooth, or the player's
// control), each animation frame draws the picture at the song's exact
// position within that frame (host/pace.h).
//
// The page is a player as well: it pauses (the song's clock held, as for a
// hidden tab) and seeks. A seek moves the song's clock; frames ahead of the
// one on screen are run unseen as the song's own skips are, and a seek
// backwards first rewinds the timeline to its start, so that the frame
// shown is always the capture's frame for that time.
//
// A page opened with ?still=PART draws that one frame instead
// (still_web.cpp).
#include "audio/audio.h"
#include "host/pace.h"
#include "host/scene_probe.h"
#include "host/picture_web.h"
#include "host/song_clock_web.h"
#include "host/still_web.h"
#include "host/show.h"
#include "platform/gl.h"
#include "platform/web/web.h"
#include "render/render.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>
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

// ---- the frame loop on the page ----

static bool paceDisplay;
static bool smooth;
// The viewer's pause or a hidden page: the song's clock stands still.
static bool songHeld;
static bool contextLost;
// The context was given back while the show was over: what the GL held is
// made again when the show is watched again.
static bool rebuildAtReplay;
static void RebuildGraphics();
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
// The display's period follows its animation frames slowly: one frame held
// back by the browser moves it by a tenth of the difference.
static const double DISPLAY_PERIOD_KEEP = 0.9, DISPLAY_PERIOD_NEW = 0.1;

// Called by the page when it is hidden (1) or shown again (0): the song
// stops and goes on with the pictures, on the page's clock too.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSongPause(int paused)
{
    SongClockPause(paused != 0);
    songHeld = paused != 0;
    // No animation frames came meanwhile: no measure of the GPU either.
    lastAnimationMs = lastSceneMs = -1.0;
}

// Where the song is heard, in seconds, as the pictures are to show it (the
// page's ?offset= applied); negative before its sound has started.
EM_JS(double, SongSeconds, (void), {
    return Module['pictureSeconds'] ? Module['pictureSeconds']() : -1;
});

// The frame on screen, the scene time it showed (0 for a card), and the
// song's position it was drawn for.
EM_JS(void, PublishFrame, (int frame, double scene, double song), {
    Module['shownFrame'] = frame;
    Module['shownSceneTime'] = scene;
    Module['shownSongSeconds'] = song;
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
        displayMs = displayMs * DISPLAY_PERIOD_KEEP + since * DISPLAY_PERIOD_NEW;
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
    double song = SongSeconds();
    // Held, the display's pace stands still with the song: the frame due is
    // the song's (one a seek asks for), none of its own.
    ShowPass pass = DecidePass(song, smooth, paceDisplay && !songHeld);
    // Resized while nothing moves: the frame on screen drawn again at the
    // new size, rather than the old one stretched until the show goes on
    // (a smooth picture is drawn again whenever the canvas changes).
    if (!smooth && !pass.draw && songHeld && resizeWidth > 0) {
        PaceRedraw();
        pass = DecidePass(song, false, false);
    }
    if (!pass.draw) {
        NoteAnimationFrame(nowMs, false, false, 0);
        return;
    }
    if (resizeWidth > 0) {
        WebSetCanvasSize(resizeWidth, resizeHeight);
        resizeWidth = resizeHeight = 0;
    }
    bool scene = false;
    int32_t skipped = pass.due > paceFrames ? pass.due - paceFrames - 1 : 0;
    if (!RunPass(window, pass, BeginPicture, EndPicture, &scene)) {
        EndTheShow();
        return;
    }
    PublishFrame(paceFrames, !scene ? 0.0 : smooth ? (double)ShownSmoothClock() : (double)showClocks.sceneTime, song);
    // While the thanks card stands still, the water is drawn unseen at the
    // scenes' size until its frame times settle that size: a slow GPU's
    // first water frame is then not one at the picture's full size. The
    // probes begin once the card has stood 20 frames.
    if (!scene && InProbeWindow(paceFrames, PartFirstFrame(PART_THANKS) + 19) && !WebSceneSizeSettled()) {
        WebProbeScenes();
        scene = true;
    }
    NoteAnimationFrame(nowMs, true, scene, skipped);
}

// Called by the page when the viewer seeks to sample `samples` of song (or
// opens the page at a moment): a frame behind the one on screen is reached
// from the timeline's start, run again unseen. In samples, so that a seek to
// a frame's first sample lands on that frame.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSeekTo(double samples)
{
    if (over || !(samples >= 0.0 && samples <= 1e15))
        return;
    PaceSeekToSample((int64_t)samples);
    // The frames run meanwhile say nothing of the GPU's pace.
    lastAnimationMs = lastSceneMs = -1.0;
}

// Called by the page to turn smooth motion on (1) or off (0).
extern "C" EMSCRIPTEN_KEEPALIVE void WebSetSmooth(int on)
{
    smooth = on != 0;
    ForgetShownPicture();
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
    if (rebuildAtReplay) {
        rebuildAtReplay = false;
        RebuildGraphics();
    }
    ResetSong();
    PaceRewind();
    SongClockReset();
    songHeld = false;
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
    ForgetShownPicture();
}

// Called by the page when the browser takes the WebGL context away (the
// song plays on), and when it gives it back: everything the GL held is
// made again, and the show goes on at the song's position.
extern "C" EMSCRIPTEN_KEEPALIVE void WebContextLost(void)
{
    contextLost = true;
    rebuildAtReplay = false;
}

static void RebuildGraphics()
{
    ForgetShownPicture();
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

extern "C" EMSCRIPTEN_KEEPALIVE void WebContextRestored(void)
{
    if (window == nullptr)
        return;
    contextLost = false;
    lastAnimationMs = lastSceneMs = -1.0;
    // The show over has released the context: its graphics wait for a
    // replay to take it back.
    if (over)
        rebuildAtReplay = true;
    else
        RebuildGraphics();
}

// Called by the page when the worklet's feeder reached the song's end mark:
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

// ?pace=display, and ?scale=S (the scenes at S of the picture's side, 0 to 1;
// 1 pins the picture's own size).
static void ReadPace()
{
    char text[32];
    paceDisplay = PageQuery("pace", text, sizeof text) >= 0 && strcmp(text, "display") == 0;
    int length = PageQuery("scale", text, sizeof text);
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
    if (DrawStill(window))
        return 0;
    ReadPace();
    printf("brinelux: ready\n");
    fflush(stdout);
    return 0;
}
