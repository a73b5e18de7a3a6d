#include <stdio.h>
#include "audio/audio.h"
#include "state/shared.h"
#include "host/show.h"
#include "render/render.h"


PlatformWindow* StartUp(int32_t windowWidth, int32_t windowHeight)
{
    PlatformStartProcess();
    PlatformSetDisplayMode(SHOW_WIDTH, SHOW_HEIGHT, 32);
    // A display that cannot be opened is PlatformCreateWindow's to report,
    // or to draw off screen for.
    PlatformOpenDisplay();
    PlatformShowCursor(false);
    // The song from its start: the synthesizer's generator seeded with 9.
    ResetSong();
    PlatformWindow* window = PlatformCreateWindow(0, 0, windowWidth, windowHeight);
    if (window == nullptr) {
        // Without a window or context every GL call would crash: give the
        // screen back and say what is missing.
        PlatformRestoreDisplayMode();
        PlatformShowCursor(true);
        fprintf(stderr, "brinelux: %s\n", PlatformLastError());
        PlatformExit(1);
    }
    PlatformFocusWindow(window);

    BuildShowGraphics(nullptr);
    showClocks.timelineState = TIMELINE_START;
    showClocks.sceneTime = 0.0f;
    return window;
}

int EndShow(PlatformWindow* window)
{
    PlatformRestoreDisplayMode();
    PlatformShowCursor(true);
    PlatformReleaseContext(window);
    // A show ended by an OpenGL error is a failure, not a normal end.
    return glErrorReported ? 1 : 0;
}

void ShutDown(PlatformWindow* window) { PlatformExit(EndShow(window)); }
