// The web page's entry: start-up as soon as the page has loaded (behind the
// first screen), then, once the viewer's gesture has started the show, one
// pass of the frame loop per animation frame until the show ends. The
// feeder's refills run on the page's 25 ms timer.
#include "audio/audio.h"
#include "host/show.h"
#include "platform/web/web.h"

#include <emscripten/emscripten.h>
#include <emscripten/eventloop.h>
#include <stdio.h>

static PlatformWindow* window;
static long feederTimer;
static bool running;

EM_JS(void, ShowEndScreen, (int status), {
    if (Module['onShowEnd']) Module['onShowEnd'](status);
});

static void FeederTurn(void*)
{
    // The turn of the feeder's loop: refill unless the show asked to stop.
    if (WebFeederWanted() && !QuitRequested())
        FillSoundBuffer();
}

static void AnimationFrame()
{
    if (ShowShouldEnd()) {
        emscripten_cancel_main_loop();
        emscripten_clear_interval(feederTimer);
        WebSoundStop();
        running = false;
        int status = EndShow(window);
        fflush(stdout);
        ShowEndScreen(status);
        return;
    }
    RunFrame(window);
}

// Called by the page on the viewer's first click or key.
extern "C" EMSCRIPTEN_KEEPALIVE void WebBeginShow(void)
{
    if (running || window == nullptr)
        return;
    running = true;
    WebForgetKeys();
    feederTimer = emscripten_set_interval(FeederTurn, SOUND_REFILL_MS, nullptr);
    // Frame rate 0: the browser's animation frames pace the loop.
    emscripten_set_main_loop(AnimationFrame, 0, 0);
}

int main()
{
    window = StartUp();
    printf("brinelux: ready\n");
    fflush(stdout);
    return 0;
}
