// Linux backend of the platform layer: SDL2 for the display, window, GL
// context, keys, events and threads; standard error as the debugger channel.
#include "platform/platform.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>
#include <atomic>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

struct PlatformWindow {
    SDL_Window* window;
    SDL_GLContext context;
};

static PlatformWindow showWindow;
static int modeWidth = 1024, modeHeight = 768, modeBpp = 32;
static bool videoReady;
static char lastError[256];
static std::atomic<bool> keyPressedSince[2];
static std::atomic<bool> terminationRequested;

static void SetError(const char* what, const char* reason)
{
    snprintf(lastError, sizeof lastError, "%s: %s", what, reason && *reason ? reason : "no reason given");
}

static void OnTerminationSignal(int) { terminationRequested.store(true); }

// Sees every event as it enters the queue, so a key pressed and released
// between two polls, or a close request, is not lost while the show removes
// only one event per frame.
static int WatchEvents(void*, SDL_Event* e)
{
    if (e->type == SDL_KEYDOWN) {
        if (e->key.keysym.scancode == SDL_SCANCODE_ESCAPE)
            keyPressedSince[PLATFORM_KEY_ESCAPE].store(true);
        else if (e->key.keysym.scancode == SDL_SCANCODE_SPACE)
            keyPressedSince[PLATFORM_KEY_SPACE].store(true);
    } else if (e->type == SDL_QUIT ||
               (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_CLOSE)) {
        terminationRequested.store(true);
    }
    return 0;
}

void PlatformSetDisplayMode(int width, int height, int bpp)
{
    modeWidth = width;
    modeHeight = height;
    modeBpp = bpp;
    // Our own handlers: SDL's would only queue an event the show never reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnTerminationSignal;
    sigaction(SIGINT, &sa, NULL);
    sigaction(SIGTERM, &sa, NULL);
    const char* x11 = SDL_getenv("DISPLAY");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    bool haveX11 = x11 && *x11, haveWayland = wayland && *wayland;
    if (!SDL_getenv("SDL_VIDEODRIVER")) {
        if (!haveX11 && !haveWayland) {
            SetError("no display could be opened", "neither DISPLAY nor WAYLAND_DISPLAY is set");
            return;
        }
        // Ask X11 alone where it is the only display named, so that a failure
        // reports X11's own reason.
        if (!haveWayland)
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    }
    // The mode itself is switched when the full-screen window appears.
    videoReady = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (!videoReady) {
        SetError("no display could be opened", SDL_GetError());
        return;
    }
    // With no display SDL falls back to drawing into memory: a show nobody
    // sees. Accept that only when asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    bool headless = driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0);
    if (headless && !SDL_getenv("SDL_VIDEODRIVER")) {
        SetError("no display could be opened", "DISPLAY and WAYLAND_DISPLAY name no reachable display");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoReady = false;
        return;
    }
    SDL_AddEventWatch(WatchEvents, NULL);
}

void PlatformRestoreDisplayMode(void)
{
    // Leaving full screen puts the desktop's mode back.
    if (showWindow.window)
        SDL_SetWindowFullscreen(showWindow.window, 0);
}

void PlatformShowCursor(bool show)
{
    if (videoReady)
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

static SDL_Window* CreateWithDepth(int x, int y, int width, int height, int depth)
{
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BUFFER_SIZE, 32);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_Window* w = SDL_CreateWindow("brinelux", x, y, width, height,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN |
                                         SDL_WINDOW_SHOWN);
    return w;
}

PlatformWindow* PlatformCreateWindow(int x, int y, int width, int height)
{
    if (!videoReady)
        return NULL;
    // Many drivers offer no 32-bit depth buffer: step down before giving up.
    static const int depths[] = {32, 24, 16};
    SDL_Window* w = NULL;
    for (int depth : depths) {
        w = CreateWithDepth(x, y, width, height, depth);
        if (w)
            break;
    }
    if (!w) {
        SetError("no OpenGL window could be created", SDL_GetError());
        return NULL;
    }
    SDL_DisplayMode mode;
    memset(&mode, 0, sizeof mode);
    mode.format = modeBpp >= 24 ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_RGB565;
    mode.w = modeWidth;
    mode.h = modeHeight;
    SDL_SetWindowDisplayMode(w, &mode);
    SDL_GLContext context = SDL_GL_CreateContext(w);
    if (!context) {
        SetError("no OpenGL context could be created", SDL_GetError());
        SDL_DestroyWindow(w);
        return NULL;
    }
    if (SDL_GL_MakeCurrent(w, context) != 0) {
        SetError("the OpenGL context could not be made current", SDL_GetError());
        SDL_DestroyWindow(w);
        return NULL;
    }
    if (epoxy_gl_version() < 20) {
        char reason[96];
        snprintf(reason, sizeof reason, "the driver offers OpenGL %d.%d", epoxy_gl_version() / 10,
                 epoxy_gl_version() % 10);
        SetError("OpenGL 2.0 is needed", reason);
        SDL_DestroyWindow(w);
        return NULL;
    }
    showWindow.window = w;
    showWindow.context = context;
    return &showWindow;
}

void PlatformFocusWindow(PlatformWindow* window)
{
    SDL_RaiseWindow(window->window);
    SDL_SetWindowInputFocus(window->window);
}

void PlatformSwapBuffers(PlatformWindow* window) { SDL_GL_SwapWindow(window->window); }

void PlatformReleaseContext(PlatformWindow* window) { SDL_GL_MakeCurrent(window->window, NULL); }

bool PlatformKeyPressed(PlatformKey key)
{
    if (!videoReady)
        return false;
    SDL_PumpEvents();
    const Uint8* state = SDL_GetKeyboardState(NULL);
    bool pressed = keyPressedSince[key].exchange(false);
    SDL_Scancode code = key == PLATFORM_KEY_ESCAPE ? SDL_SCANCODE_ESCAPE : SDL_SCANCODE_SPACE;
    return state[code] != 0 || pressed;
}

void PlatformRemoveOneMessage(void)
{
    SDL_Event e;
    if (videoReady)
        SDL_PollEvent(&e);
}

bool PlatformTerminationRequested(void) { return terminationRequested.load(); }

struct ThreadStart {
    void (*fn)(void*);
    void* arg;
};
static ThreadStart threadStarts[4];
static int threadCount;

static int RunThread(void* data)
{
    ThreadStart* start = (ThreadStart*)data;
    // Refused for ordinary users; the thread then runs at the priority it has.
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
    start->fn(start->arg);
    return 0;
}

bool PlatformStartThread(void (*fn)(void*), void* arg)
{
    if (threadCount == (int)(sizeof threadStarts / sizeof threadStarts[0]))
        return false;
    ThreadStart* start = &threadStarts[threadCount++];
    start->fn = fn;
    start->arg = arg;
    SDL_Thread* t = SDL_CreateThread(RunThread, "feeder", start);
    if (!t)
        return false;
    SDL_DetachThread(t);
    return true;
}

void PlatformSleep(uint32_t milliseconds) { SDL_Delay(milliseconds); }

void PlatformDebugOutput(const char* text)
{
    fputs(text, stderr);
    fflush(stderr);
}

const char* PlatformLastError(void) { return lastError; }

void PlatformExit(int status)
{
    // Lines written with printf are lost on a pipe unless flushed here.
    fflush(stdout);
    fflush(stderr);
    // _exit: the feeder thread may still be running; no static destructor
    // may pull its state away underneath it.
    _exit(status);
}
