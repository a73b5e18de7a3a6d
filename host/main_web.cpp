// The web page's entry: start-up as soon as the page has loaded (behind the
// first screen), then, once the viewer's gesture has started the show, one
// pass of the frame loop per animation frame until the show ends. The
// feeder runs in a worker (feeder_main_web.cpp), which reports the song's end.
//
// A page opened with ?still=PART (and &time=T) draws that one frame
// instead, as the desktop's capture draws its stills; with &repeat=N (and
// &to=T2) it times N frames with the loop the capture's bench uses.
#include "host/show.h"
#include "platform/gl.h"
#include "platform/web/web.h"

#include <emscripten/emscripten.h>
#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static PlatformWindow* window;
static bool running;

EM_JS(void, ShowEndScreen, (int status), {
    if (Module['onShowEnd']) Module['onShowEnd'](status);
});

static void AnimationFrame()
{
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

// The value of a query parameter of the page's address, or "" (also when
// it is absent; present reports which).
EM_JS(int, QueryValue, (const char* key, char* out, int size), {
    var value = new URLSearchParams(location.search).get(UTF8ToString(key));
    stringToUTF8(value === null ? String() : value, out, size);
    return value === null ? 0 : 1;
});

EM_JS(void, ShowStillScreen, (int status), {
    if (Module['onStill']) Module['onStill'](status);
});

static double NowMs(void) { return emscripten_get_now(); }

static void ReadOnePixel(void)
{
    GLubyte pixel[4];
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
}

static bool DrawStill()
{
    char name[32], text[32];
    if (!QueryValue("still", name, sizeof name))
        return false;
    int part = -1;
    for (int p = 0; p < PART_COUNT; p++)
        if (strcmp(name, showPartNames[p]) == 0)
            part = p;
    if (part < 0) {
        printf("brinelux: ?still= takes title, thanks, water or spheres, not '%s'\n", name);
        ShowStillScreen(2);
        return true;
    }
    QueryValue("time", text, sizeof text);
    float time = text[0] ? (float)atof(text) : 0.04f;
    float to = QueryValue("to", text, sizeof text) ? (float)atof(text) : time;

    // A timed still (&repeat=N) draws a first frame that carries the
    // driver's deferred work, then N spread from time to `to`, each waited
    // for by reading a pixel back (WebGL's glFinish does not wait); Chromium
    // warns once about that stall, so plain stills neither wait nor time.
    bool timed = QueryValue("repeat", text, sizeof text) != 0;
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
    ShowStillScreen(QuitRequested() ? 1 : 0);
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
