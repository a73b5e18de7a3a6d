// A page opened with ?still=PART (and &time=T) draws that one frame
// instead of the show, as the desktop's capture draws its stills; with
// &repeat=N (and &to=T2) it times N frames with the loop the capture's
// bench uses.
#include "host/still_web.h"

#include "host/picture_web.h"
#include "host/show.h"
#include "platform/gl.h"
#include "state/show_text.h"

#include <emscripten/emscripten.h>
#include <algorithm>
#include <stdio.h>
#include <stdlib.h>

// The value of a query parameter of the page's address into out (cut to
// size); returns its length in bytes, -1 when it is absent.
EM_JS(int, QueryValue, (const char* key, char* out, int size), {
    var value = new URLSearchParams(location.search).get(UTF8ToString(key));
    if (value === null) return -1;
    stringToUTF8(value, out, size);
    return lengthBytesUTF8(value);
});

int PageQuery(const char* key, char* out, int size) { return QueryValue(key, out, size); }

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

bool DrawStill(PlatformWindow* window)
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
    bool scene = IsScenePart(part);
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
