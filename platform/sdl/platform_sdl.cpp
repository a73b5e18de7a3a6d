// Linux backend of the platform layer: SDL2 for the display, window, GL
// context, keys, events and threads; standard error as the debugger channel.
#include "platform/platform.h"
#include "platform/headless/headless_gl.h"
#include "platform/posix/descriptors.h"
#include "platform/posix/process.h"
#include "platform/posix/signals.h"
#include "platform/sdl/wayland_probe.h"
#include "platform/thread_start.h"
#include "state/shared.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <wayland-client.h>
#include <epoxy/gl.h>
#include <atomic>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

struct PlatformWindow {
    SDL_Window* window;
    SDL_GLContext context;
};

static PlatformWindow showWindow;
static int modeWidth = SHOW_WIDTH, modeHeight = SHOW_HEIGHT, modeBpp = 32;
static bool videoReady;
static PlatformScreenUse screenUse = PLATFORM_SCREEN_DESKTOP;
static int32_t displayIndex;
static std::atomic<bool> keyPressedSince[3];
static std::atomic<int32_t> keyPresses[PLATFORM_KEY_COUNT];
static std::atomic<bool> terminationRequested;

// Once the show should end (a termination request, a lost window), a call
// into the window system that has not returned for this long is taken as a
// stopped or unreachable server, and the process ends without it.
static const int64_t STUCK_CALL_MS = 5000;
// When the main thread entered its current window-system call (monotonic
// milliseconds), 0 while it is outside one.
static std::atomic<int64_t> windowCallSince;
static_assert(std::atomic<int64_t>::is_always_lock_free, "read in a signal handler");
// Set by whichever path writes the show's last line, so only one is written.
static std::atomic<bool> endLineWritten;
// The first X error since the display opened, noted by Xlib's callback and
// acted on by the next platform call of the frame loop.
static XErrorEvent firstXError;
static std::atomic<bool> xErrorSeen;
static Window showXWindow;
static Display* showXDisplay;
// The Wayland connection, where the show is on one: SDL tells of its loss
// only as a quit request.
static wl_display* showWlDisplay;
// Where the window goes back to when it leaves full screen.
static SDL_Rect windowedArea;
// The largest drawable the context can draw all of (its viewport's limit):
// a window resized past it would have the driver allocate what it cannot.
static GLint drawableLimit[2];
static bool endingOnXError;
// A window of another program's drawn into (a screensaver daemon's), and
// its id; an off-screen surface standing in for the window where no display
// could be opened and a benchmark allows it.
static bool foreignWindow;
static uint64_t foreignId;
static bool offscreenAllowed, offscreen;
static int offscreenWidth, offscreenHeight;
// A screensaver's end on any input: where the mouse was first seen.
static std::atomic<bool> endOnInput;
static int inputFirstX = -1, inputFirstY = -1;

static void SetError(const char* what, const char* reason)
{
    SetPlatformError("%s: %s", what, reason && *reason ? reason : "no reason given");
}

static void WriteEndLine(const char* line)
{
    if (endLineWritten.exchange(true))
        return;
    fprintf(stderr, "brinelux: %s\n", line);
    fflush(stderr);
}

static int64_t MonotonicMs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Bracket every SDL call that may wait on the X server.
static void BeginWindowCall(void) { windowCallSince.store(MonotonicMs()); }
static void EndWindowCall(void) { windowCallSince.store(0); }

// Looks once a second whether the end is held up by the window system.
// Compiling shaders or drawing a slow frame is not: the show ends after it.
// Signal context: only atomics, clock_gettime, write, alarm and _exit.
static void OnEndWatch(int)
{
    int64_t since = windowCallSince.load();
    if (since == 0 || MonotonicMs() - since < STUCK_CALL_MS) {
        alarm(1);
        return;
    }
    static const char line[] = "brinelux: the display server stopped answering; ended without restoring the display\n";
    if (!endLineWritten.exchange(true)) {
        ssize_t written = write(2, line, sizeof line - 1);
        (void)written;
    }
    _exit(1);
}

static void OnTerminationSignal(int)
{
    // A screensaver's window is another program's: nothing to put back, and
    // the daemon that signals wants its screen at once.
    if (foreignWindow)
        _exit(0);
    // The frame loop ends at its next check; the watch covers a loop stuck
    // in a call that never returns.
    if (!terminationRequested.exchange(true))
        alarm(1);
}

// Xlib calls this with its display lock held, so it may make no X call.
// SDL's handler, which this replaces, restores the display mode from here
// and deadlocks on that lock.
static int OnXError(Display*, XErrorEvent* e)
{
    if (!xErrorSeen.load()) {
        firstXError = *e;
        xErrorSeen.store(true);
    }
    return 0;
}

// The connection is gone (the server ended, or a tool killed our client):
// nothing can be restored through it. Xlib would exit() after this returns,
// running destructors under the feeder thread; end the process here.
static int OnXIOError(Display*)
{
    WriteEndLine("the connection to the X display was lost (the X server ended or closed it)");
    PlatformExit(1);
}

// Ends the show with status 1 once an X error was seen: with the window
// destroyed from outside every frame fails, and any other error was fatal
// under Xlib's own handler too.
static void EndOnXError(void)
{
    if (!xErrorSeen.load() || endingOnXError)
        return;
    endingOnXError = true;
    alarm(1);
    XErrorEvent e = firstXError;
    char line[256];
    if (showXWindow && e.resourceid == showXWindow) {
        snprintf(line, sizeof line, "the show's window was destroyed by another program");
    } else {
        char text[128];
        XGetErrorText(e.display, e.error_code, text, sizeof text);
        snprintf(line, sizeof line, "the X server reported an error: %s (request %d)", text, e.request_code);
    }
    WriteEndLine(line);
    // The connection still works: put the desktop's mode and the cursor back.
    PlatformRestoreDisplayMode();
    PlatformShowCursor(true);
    PlatformExit(1);
}

// The player's keys by their place on the keyboard; a held arrow repeats,
// a pause does not toggle on its own repeats.
static void CountPlayerKey(SDL_Scancode code, bool repeat)
{
    int key = code == SDL_SCANCODE_P || code == SDL_SCANCODE_K ? PLATFORM_KEY_PAUSE
              : code == SDL_SCANCODE_LEFT                       ? PLATFORM_KEY_LEFT
              : code == SDL_SCANCODE_RIGHT                      ? PLATFORM_KEY_RIGHT
              : code == SDL_SCANCODE_J                          ? PLATFORM_KEY_J
              : code == SDL_SCANCODE_L                          ? PLATFORM_KEY_L
              : code == SDL_SCANCODE_HOME                       ? PLATFORM_KEY_HOME
                                                                : -1;
    if (key < 0 || (repeat && (key == PLATFORM_KEY_PAUSE || key == PLATFORM_KEY_HOME)))
        return;
    keyPresses[key].fetch_add(1);
}

// Sees every event as it enters the queue, so a key pressed and released
// between two polls, or a close request, is not lost while the show removes
// only one event per frame.
static bool IsInput(const SDL_Event* e)
{
    if (e->type == SDL_KEYDOWN || e->type == SDL_MOUSEBUTTONDOWN)
        return true;
    if (e->type != SDL_MOUSEMOTION)
        return false;
    // A few pixels of a mouse settling on the desk are not a viewer.
    if (inputFirstX < 0) {
        inputFirstX = e->motion.x;
        inputFirstY = e->motion.y;
    }
    int dx = e->motion.x - inputFirstX, dy = e->motion.y - inputFirstY;
    return dx * dx + dy * dy > 4 * 4;
}

static int WatchEvents(void*, SDL_Event* e)
{
    if (endOnInput.load() && IsInput(e))
        terminationRequested.store(true);
    if (e->type == SDL_KEYDOWN) {
        if (e->key.keysym.scancode == SDL_SCANCODE_ESCAPE)
            keyPressedSince[PLATFORM_KEY_ESCAPE].store(true);
        else if (e->key.keysym.scancode == SDL_SCANCODE_SPACE)
            keyPressedSince[PLATFORM_KEY_SPACE].store(true);
        else if (e->key.keysym.scancode == SDL_SCANCODE_F11 && !e->key.repeat)
            keyPressedSince[PLATFORM_KEY_F11].store(true);
        else if (!(e->key.keysym.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)))
            CountPlayerKey(e->key.keysym.scancode, e->key.repeat != 0);
    } else if (e->type == SDL_QUIT && showWlDisplay && wl_display_get_error(showWlDisplay) != 0) {
        // Nothing can be restored through a lost connection: end here, as
        // for a lost X display.
        WriteEndLine("the connection to the Wayland display was lost (the compositor ended or closed it)");
        PlatformExit(1);
    } else if (e->type == SDL_QUIT ||
               (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_CLOSE)) {
        terminationRequested.store(true);
    }
    return 0;
}

void PlatformStartProcess(void)
{
    // Started with standard output or error closed, the X connection would
    // take descriptor 1 or 2 and the show's error lines would go down it.
    KeepStandardDescriptorsOpen();
    // Our own handlers: SDL's would only queue an event the show never reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A closed terminal ends the show like Ctrl+C.
    CatchTerminationSignals(OnTerminationSignal, false);
    // An error line written to a reader that went away must not kill it.
    signal(SIGPIPE, SIG_IGN);
    CatchSignal(SIGALRM, OnEndWatch, false);
}

void PlatformUseScreen(PlatformScreenUse use) { screenUse = use; }

// The mode itself is switched when the full-screen window appears.
void PlatformSetDisplayMode(int width, int height, int bpp)
{
    modeWidth = width;
    modeHeight = height;
    modeBpp = bpp;
}

// Points SDL at the display the environment names; false, with the reason,
// where none is named or the one named cannot serve.
static bool ChooseVideoDriver(void)
{
    const char* x11 = SDL_getenv("DISPLAY");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    bool haveX11 = x11 && *x11, haveWayland = wayland && *wayland;
    if (foreignWindow && !haveX11) {
        SetError("no display could be opened", "a window id names an X window, and DISPLAY is not set");
        return false;
    }
    if (foreignWindow)
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (!SDL_getenv("SDL_VIDEODRIVER")) {
        if (!haveX11 && !haveWayland) {
            SetError("no display could be opened", "neither DISPLAY nor WAYLAND_DISPLAY is set");
            return false;
        }
        // Ask X11 alone where it is the only display named, so that a failure
        // reports X11's own reason.
        if (!haveWayland)
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    }
    // SDL tries X11 first: Wayland is what it gets when no X display is
    // named, or when asked for by name.
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (haveWayland && (asked ? strcmp(asked, "wayland") == 0 : !haveX11)) {
        if (const char* problem = WaylandDisplayProblem()) {
            SetError("no display could be opened", problem);
            return false;
        }
    }
    return true;
}

bool PlatformOpenDisplay(void)
{
    // Opened once: a second event watch would count every key twice.
    if (videoReady)
        return true;
    if (!ChooseVideoDriver())
        return false;
    BeginWindowCall();
    videoReady = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    EndWindowCall();
    if (!videoReady) {
        SetError("no display could be opened", SDL_GetError());
        return false;
    }
    // With no display SDL falls back to drawing into memory: a show nobody
    // sees. Accept that only when asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    bool headless = driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0);
    if (headless && !SDL_getenv("SDL_VIDEODRIVER")) {
        SetError("no display could be opened", "DISPLAY and WAYLAND_DISPLAY name no reachable display");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoReady = false;
        return false;
    }
    if (driver && strcmp(driver, "x11") == 0) {
        XSetErrorHandler(OnXError);
        XSetIOErrorHandler(OnXIOError);
    }
    SDL_AddEventWatch(WatchEvents, NULL);
    return true;
}

void PlatformUseForeignWindow(uint64_t id)
{
    foreignWindow = true;
    foreignId = id;
}

void PlatformEndOnInput(bool on) { endOnInput.store(on); }

void PlatformAllowOffscreen(bool allow) { offscreenAllowed = allow; }

void PlatformShowMessage(const char* text)
{
    printf("%s\n", text);
    fflush(stdout);
}

void PlatformRestoreDisplayMode(void)
{
    // Leaving full screen puts the desktop's mode back.
    BeginWindowCall();
    if (showWindow.window)
        SDL_SetWindowFullscreen(showWindow.window, 0);
    EndWindowCall();
}

void PlatformShowCursor(bool show)
{
    // A screensaver's window never shows the cursor.
    if (foreignWindow)
        show = false;
    BeginWindowCall();
    if (videoReady)
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
    EndWindowCall();
}

// SDL asks the window manager for full screen and takes the display's size
// as given; with no window manager (a bare X server) nothing answers and the
// X window keeps its first size. Sized here too, it covers the display.
// The X screen's size as the server has it now (a resize by xrandr
// included, which SDL's display bounds may not have heard of yet).
static unsigned screenWidth, screenHeight;

static Window showXRoot;

static bool AskScreenSize(unsigned* width, unsigned* height)
{
    Window root;
    unsigned border, depth;
    int x, y;
    return showXDisplay && showXRoot &&
           XGetGeometry(showXDisplay, showXRoot, &root, &x, &y, width, height, &border, &depth) != 0;
}

// The window's display, within the screen as it is now.
static bool DisplayArea(SDL_Window* w, SDL_Rect* area)
{
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(w), area) != 0)
        return false;
    unsigned width, height;
    if (AskScreenSize(&width, &height)) {
        if (area->x + area->w > (int)width)
            area->w = (int)width - area->x;
        if (area->y + area->h > (int)height)
            area->h = (int)height - area->y;
    }
    return area->w > 0 && area->h > 0;
}

static void CoverDisplay(SDL_Window* w)
{
    SDL_Rect bounds;
    if (!showXDisplay || !DisplayArea(w, &bounds))
        return;
    XMoveResizeWindow(showXDisplay, showXWindow, bounds.x, bounds.y, (unsigned)bounds.w, (unsigned)bounds.h);
    XSync(showXDisplay, False);
}

// A full-screen show follows the screen's new size (xrandr -s): the window
// covers it again, and the picture follows the window.
static void FollowScreenSize(SDL_Window* w)
{
    unsigned width, height;
    if (!AskScreenSize(&width, &height) || (width == screenWidth && height == screenHeight))
        return;
    screenWidth = width;
    screenHeight = height;
    if ((SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP)
        CoverDisplay(w);
}

// A window manager that does not honour the full-screen request (twm) keeps
// its title bar over the window and the picture's bottom off the screen.
// Looked at for a while after each switch to full screen; a window still not
// covering its display by then is taken from the manager (override-redirect)
// and covers it as on a bare X server.
static const int64_t COVER_GRACE_MS = 500, COVER_LOOK_MS = 3000;
static int64_t coverLookSince = -1;
static bool overridden;

// The look starts at the next swap: start-up's compiles come before it.
static void LookAtCoverSoon(void) { coverLookSince = 0; }

// Sets the window's override-redirect, which takes effect only while it is
// unmapped; a window a manager holds is withdrawn from it first and waited
// for until it is back on the root.
static void SetOverride(bool on)
{
    Window root, parent, *children = NULL;
    unsigned count = 0;
    if (on) {
        XWithdrawWindow(showXDisplay, showXWindow, DefaultScreen(showXDisplay));
        XSync(showXDisplay, False);
        for (int i = 0; i < 50; i++) {
            if (!XQueryTree(showXDisplay, showXWindow, &root, &parent, &children, &count))
                return;
            if (children)
                XFree(children);
            if (parent == root)
                break;
            SDL_Delay(10);
        }
    } else {
        XUnmapWindow(showXDisplay, showXWindow);
    }
    XSetWindowAttributes attributes;
    attributes.override_redirect = on ? True : False;
    XChangeWindowAttributes(showXDisplay, showXWindow, CWOverrideRedirect, &attributes);
    XMapRaised(showXDisplay, showXWindow);
    XSync(showXDisplay, False);
    overridden = on;
}

static void CoverPastManager(SDL_Window* w)
{
    if (coverLookSince < 0 || !showXDisplay || !showXRoot)
        return;
    if (coverLookSince == 0)
        coverLookSince = MonotonicMs();
    int64_t since = MonotonicMs() - coverLookSince;
    bool full = (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
    if (!full || overridden || since > COVER_LOOK_MS) {
        coverLookSince = -1;
        return;
    }
    if (since < COVER_GRACE_MS)
        return;
    SDL_Rect area;
    Window root, child;
    int x, y, ax, ay;
    unsigned width, height, border, depth;
    if (!DisplayArea(w, &area) ||
        !XGetGeometry(showXDisplay, showXWindow, &root, &x, &y, &width, &height, &border, &depth) ||
        !XTranslateCoordinates(showXDisplay, showXWindow, showXRoot, 0, 0, &ax, &ay, &child))
        return;
    if (ax == area.x && ay == area.y && (int)width == area.w && (int)height == area.h) {
        coverLookSince = -1;
        return;
    }
    coverLookSince = -1;
    SetOverride(true);
    CoverDisplay(w);
    // No manager gives a window it does not manage the keys.
    XSetInputFocus(showXDisplay, showXWindow, RevertToParent, CurrentTime);
    XSync(showXDisplay, False);
}

static SDL_Window* CreateWithDepth(int x, int y, int width, int height, int depth, Uint32 flags)
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
    return SDL_CreateWindow("brinelux", x, y, width, height, flags);
}

// Gives the window up with a reason; destroying it also leaves full screen.
static void GiveUpWindow(SDL_Window* w, const char* what, const char* reason)
{
    SetError(what, reason);
    showWindow.window = NULL;
    BeginWindowCall();
    SDL_DestroyWindow(w);
    EndWindowCall();
}

// True when the display offers the mode asked for and the system lets a
// program switch to it; else one line says why not.
static bool ModeCanBeHad(void)
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && strcmp(driver, "wayland") == 0) {
        fprintf(stderr, "brinelux: Wayland lets no program switch the display mode; the show goes on at the "
                        "desktop's mode\n");
        return false;
    }
    int modes = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < modes; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) == 0 && m.w == modeWidth && m.h == modeHeight)
            return true;
    }
    fprintf(stderr, "brinelux: the display offers no %d x %d mode; the show goes on at the desktop's mode\n",
            modeWidth, modeHeight);
    return false;
}

int32_t PlatformDisplays(char* text, uint32_t size)
{
    if (!videoReady && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SetError("no display could be opened", SDL_GetError());
        return -1;
    }
    int32_t count = SDL_GetNumVideoDisplays();
    uint32_t used = 0;
    if (size > 0)
        text[0] = 0;
    for (int32_t i = 0; i < count && used < size; i++) {
        SDL_Rect r = {0, 0, 0, 0};
        SDL_GetDisplayBounds(i, &r);
        int n = snprintf(text + used, size - used, "%d: %dx%d at %d,%d\n", i + 1, r.w, r.h, r.x, r.y);
        used += n > 0 ? (uint32_t)n : 0;
    }
    if (!videoReady)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return count;
}

void PlatformUseDisplay(int32_t index) { displayIndex = index; }

// A window asked larger than the screen's usable area is made to fit it,
// in the asked shape where the smallest side allows, and one line says so:
// a window off the screen shows nothing and costs its whole size.
static void FitWindowToScreen(int* width, int* height)
{
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(displayIndex, &usable) != 0 || usable.w <= 0 || usable.h <= 0)
        return;
    if (*width <= usable.w && *height <= usable.h)
        return;
    double scale = (double)usable.w / *width < (double)usable.h / *height ? (double)usable.w / *width
                                                                          : (double)usable.h / *height;
    int w = (int)(*width * scale + 0.5), h = (int)(*height * scale + 0.5);
    // The least side a window may have, as the command line takes it.
    const int least = 64;
    w = w < least ? (usable.w < least ? usable.w : least) : w;
    h = h < least ? (usable.h < least ? usable.h : least) : h;
    fprintf(stderr, "brinelux: a %d x %d window does not fit the screen's usable %d x %d; it is %d x %d\n", *width,
            *height, usable.w, usable.h, w, h);
    *width = w;
    *height = h;
}

// The window's id, checked on a connection of our own: SDL would read a
// window that does not exist unchecked.
static bool FindForeignWindow(Window* found)
{
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        SetError("no display could be opened", "the X display named by DISPLAY did not answer");
        return false;
    }
    Window w = foreignId == PLATFORM_ROOT_WINDOW ? DefaultRootWindow(d) : (Window)foreignId;
    XWindowAttributes attributes;
    xErrorSeen.store(false);
    bool exists = XGetWindowAttributes(d, w, &attributes) != 0;
    XSync(d, False);
    exists = exists && !xErrorSeen.load();
    xErrorSeen.store(false);
    XCloseDisplay(d);
    if (!exists) {
        char reason[64];
        snprintf(reason, sizeof reason, "there is no window 0x%lx", (unsigned long)w);
        SetError("the screensaver's window cannot be drawn into", reason);
        return false;
    }
    *found = w;
    return true;
}

static SDL_Window* CreateInForeign(void)
{
    Window w;
    if (!FindForeignWindow(&w))
        return NULL;
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_Window* made = SDL_CreateWindowFrom((const void*)(uintptr_t)w);
    if (!made)
        SetError("the screensaver's window cannot be drawn into", SDL_GetError());
    return made;
}

// No display, and a benchmark that may draw off screen: EGL's own context
// into a framebuffer object of the asked size.
static PlatformWindow* CreateOffscreen(int width, int height)
{
    char why[256];
    snprintf(why, sizeof why, "%s", PlatformLastError());
    if (!HeadlessCreateContext(width, height)) {
        SetError(why, HeadlessError());
        return NULL;
    }
    if (epoxy_gl_version() < 20) {
        SetError("OpenGL 2.0 is needed", "the off-screen context offers less");
        return NULL;
    }
    fprintf(stderr, "brinelux: %s; drawing off screen at %d x %d\n", why, width, height);
    offscreen = true;
    offscreenWidth = width;
    offscreenHeight = height;
    return &showWindow;
}

uint32_t PlatformWindowFramebuffer(PlatformWindow*) { return offscreen ? HeadlessFramebuffer() : 0; }

bool PlatformSetSwapInterval(PlatformWindow*, int32_t interval)
{
    if (offscreen)
        return true;
    BeginWindowCall();
    bool set = SDL_GL_SetSwapInterval(interval) == 0;
    EndWindowCall();
    return set;
}

// The window's size and how it covers the screen, settled against what the
// display allows: a window that fits, a mode it offers.
static void SettleScreenUse(int* width, int* height)
{
    if (screenUse == PLATFORM_SCREEN_WINDOW) {
        BeginWindowCall();
        FitWindowToScreen(width, height);
        EndWindowCall();
    }
    BeginWindowCall();
    if (screenUse == PLATFORM_SCREEN_MODE && !ModeCanBeHad())
        screenUse = PLATFORM_SCREEN_DESKTOP;
    EndWindowCall();
}

// SDL's window flags for the screen use, and the place on the chosen monitor.
static Uint32 WindowFlags(int* x, int* y)
{
    // High-density screens get their device pixels: the picture is drawn at
    // the drawable's size, never scaled up by the system.
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI;
    if (screenUse == PLATFORM_SCREEN_MODE) {
        flags |= SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS;
    } else {
        // A desktop full-screen window is resizable too, for when F11 makes
        // it a window.
        flags |= SDL_WINDOW_RESIZABLE;
        if (screenUse == PLATFORM_SCREEN_DESKTOP)
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        else
            *x = *y = (int)SDL_WINDOWPOS_CENTERED_DISPLAY(displayIndex);
    }
    // Full screen goes on the monitor the window's place names (a place
    // alone cannot tell X screens apart: each has its own origin).
    if (displayIndex > 0)
        *x = *y = (int)SDL_WINDOWPOS_CENTERED_DISPLAY(displayIndex);
    return flags;
}

// The show's own window, or the screensaver's, with the reason where none.
static SDL_Window* MakeWindow(int x, int y, int width, int height, Uint32 flags)
{
    // Many drivers offer no 32-bit depth buffer: step down before giving up.
    static const int depths[] = {32, 24, 16};
    SDL_Window* w = NULL;
    BeginWindowCall();
    if (foreignWindow)
        w = CreateInForeign();
    for (int i = 0; i < 3 && !w && !foreignWindow; i++)
        w = CreateWithDepth(x, y, width, height, depths[i], flags);
    EndWindowCall();
    if (!w && !foreignWindow)
        SetError("no OpenGL window could be created", SDL_GetError());
    return w;
}

// The window system's own handles of the window, for the calls SDL lacks.
static void KeepSystemHandles(SDL_Window* w)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    bool haveInfo = SDL_GetWindowWMInfo(w, &info);
    if (haveInfo && info.subsystem == SDL_SYSWM_X11) {
        showXWindow = info.info.x11.window;
        showXDisplay = info.info.x11.display;
    }
#if defined(SDL_VIDEO_DRIVER_WAYLAND)
    if (haveInfo && info.subsystem == SDL_SYSWM_WAYLAND)
        showWlDisplay = info.info.wl.display;
#endif
}

// The mode switched to or the display covered, and where the window goes
// when it leaves full screen.
static void PlaceWindow(SDL_Window* w, int width, int height)
{
    SDL_DisplayMode mode;
    memset(&mode, 0, sizeof mode);
    mode.format = modeBpp >= 24 ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_RGB565;
    mode.w = modeWidth;
    mode.h = modeHeight;
    BeginWindowCall();
    if (foreignWindow)
        ;
    else if (screenUse == PLATFORM_SCREEN_MODE)
        SDL_SetWindowDisplayMode(w, &mode);
    else if (screenUse == PLATFORM_SCREEN_DESKTOP)
        CoverDisplay(w);
    // A window made full screen goes back to the size asked for, centred.
    SDL_Rect bounds = {0, 0, width, height};
    SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(w), &bounds);
    windowedArea.x = bounds.x + (bounds.w - width) / 2;
    windowedArea.y = bounds.y + (bounds.h - height) / 2;
    windowedArea.w = width;
    windowedArea.h = height;
    // SDL reads the window's attributes unchecked when it makes the context:
    // a window destroyed from outside by now would crash it. Asking for them
    // here raises the error in our handler instead.
    XWindowAttributes attributes;
    if (showXDisplay && XGetWindowAttributes(showXDisplay, showXWindow, &attributes)) {
        showXRoot = attributes.root;
        AskScreenSize(&screenWidth, &screenHeight);
        if (screenUse == PLATFORM_SCREEN_DESKTOP && !foreignWindow)
            LookAtCoverSoon();
    }
    EndWindowCall();
    EndOnXError();
}

// A current context of OpenGL 2.0 or later; else the window is given up.
static SDL_GLContext MakeContext(SDL_Window* w)
{
    BeginWindowCall();
    SDL_GLContext context = SDL_GL_CreateContext(w);
    bool current = context && SDL_GL_MakeCurrent(w, context) == 0;
    EndWindowCall();
    if (!context) {
        GiveUpWindow(w, "no OpenGL context could be created", SDL_GetError());
        return NULL;
    }
    if (!current) {
        GiveUpWindow(w, "the OpenGL context could not be made current", SDL_GetError());
        return NULL;
    }
    if (epoxy_gl_version() < 20) {
        char reason[96];
        snprintf(reason, sizeof reason, "the driver offers OpenGL %d.%d", epoxy_gl_version() / 10,
                 epoxy_gl_version() % 10);
        GiveUpWindow(w, "OpenGL 2.0 is needed", reason);
        return NULL;
    }
    return context;
}

// The window kept within what the context can draw all of.
static void KeepWithinViewport(SDL_Window* w)
{
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, drawableLimit);
    BeginWindowCall();
    if (drawableLimit[0] > 0 && drawableLimit[1] > 0 && !foreignWindow)
        SDL_SetWindowMaximumSize(w, drawableLimit[0], drawableLimit[1]);
    EndWindowCall();
}

PlatformWindow* PlatformCreateWindow(int x, int y, int width, int height)
{
    if (!videoReady && offscreenAllowed)
        return CreateOffscreen(width, height);
    if (!videoReady)
        return NULL;
    SettleScreenUse(&width, &height);
    Uint32 flags = WindowFlags(&x, &y);
    SDL_Window* w = MakeWindow(x, y, width, height, flags);
    if (!w)
        return NULL;
    // Known from here, so that an end on a lost window can leave full screen.
    showWindow.window = w;
    KeepSystemHandles(w);
    PlaceWindow(w, width, height);
    SDL_GLContext context = MakeContext(w);
    if (!context)
        return NULL;
    // The buffer swap paces the frame loop: wait for the display's refresh
    // where the driver's default is not to. A refusal leaves its default.
    PlatformSetSwapInterval(&showWindow, 1);
    KeepWithinViewport(w);
    showWindow.context = context;
    return &showWindow;
}

// Another program's window tells SDL nothing of its resizes: asked of the
// server each frame.
static void ForeignWindowSize(int* width, int* height)
{
    Window root;
    int x, y;
    unsigned w = 0, h = 0, border, depth;
    BeginWindowCall();
    if (XGetGeometry(showXDisplay, showXWindow, &root, &x, &y, &w, &h, &border, &depth)) {
        *width = (int)w;
        *height = (int)h;
    }
    EndWindowCall();
    EndOnXError();
}

void PlatformDrawableSize(PlatformWindow* window, int* width, int* height)
{
    if (offscreen) {
        *width = offscreenWidth;
        *height = offscreenHeight;
        return;
    }
    SDL_GL_GetDrawableSize(window->window, width, height);
    if (foreignWindow && showXDisplay)
        ForeignWindowSize(width, height);
    // What SDL last heard may be a size the window was just held back from.
    if (drawableLimit[0] > 0 && *width > drawableLimit[0])
        *width = drawableLimit[0];
    if (drawableLimit[1] > 0 && *height > drawableLimit[1])
        *height = drawableLimit[1];
}

void PlatformSetFullscreen(PlatformWindow* window, bool fullscreen)
{
    if (foreignWindow || offscreen)
        return;
    BeginWindowCall();
    if (fullscreen && !(SDL_GetWindowFlags(window->window) & SDL_WINDOW_FULLSCREEN)) {
        SDL_GetWindowPosition(window->window, &windowedArea.x, &windowedArea.y);
        SDL_GetWindowSize(window->window, &windowedArea.w, &windowedArea.h);
    }
    // Back to the window manager first: it decorates the window again.
    if (!fullscreen && overridden)
        SetOverride(false);
    SDL_SetWindowFullscreen(window->window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (fullscreen) {
        CoverDisplay(window->window);
        LookAtCoverSoon();
    } else if (showXDisplay) {
        // On the screen as it is now, which may have shrunk since.
        SDL_Rect area;
        if (DisplayArea(window->window, &area)) {
            windowedArea.w = windowedArea.w < area.w ? windowedArea.w : area.w;
            windowedArea.h = windowedArea.h < area.h ? windowedArea.h : area.h;
            if (windowedArea.x + windowedArea.w > area.x + area.w || windowedArea.x < area.x)
                windowedArea.x = area.x + (area.w - windowedArea.w) / 2;
            if (windowedArea.y + windowedArea.h > area.y + area.h || windowedArea.y < area.y)
                windowedArea.y = area.y + (area.h - windowedArea.h) / 2;
        }
        // Nor does anything give a window its size back on a bare X server.
        XMoveResizeWindow(showXDisplay, showXWindow, windowedArea.x, windowedArea.y, (unsigned)windowedArea.w,
                          (unsigned)windowedArea.h);
        XSync(showXDisplay, False);
    }
    if (!fullscreen) {
        // A window made for a mode switch had neither.
        SDL_SetWindowBordered(window->window, SDL_TRUE);
        SDL_SetWindowResizable(window->window, SDL_TRUE);
    }
    EndWindowCall();
    EndOnXError();
}

void PlatformFocusWindow(PlatformWindow* window)
{
    // Another program's window keeps its focus.
    if (foreignWindow || offscreen)
        return;
    BeginWindowCall();
    SDL_RaiseWindow(window->window);
    SDL_SetWindowInputFocus(window->window);
    EndWindowCall();
    EndOnXError();
}

// A window manager keeps to the window's maximum size; with none, another
// program can still resize it past the context's limit. Made smaller again
// before the driver sizes its buffers to it at the next draw.
static void KeepDrawableInLimit(void)
{
    if (!showXDisplay || drawableLimit[0] <= 0 || drawableLimit[1] <= 0)
        return;
    Window root;
    int x, y;
    unsigned w, h, border, depth;
    if (!XGetGeometry(showXDisplay, showXWindow, &root, &x, &y, &w, &h, &border, &depth))
        return;
    if (w <= (unsigned)drawableLimit[0] && h <= (unsigned)drawableLimit[1])
        return;
    XResizeWindow(showXDisplay, showXWindow, w < (unsigned)drawableLimit[0] ? w : (unsigned)drawableLimit[0],
                  h < (unsigned)drawableLimit[1] ? h : (unsigned)drawableLimit[1]);
    XSync(showXDisplay, False);
}

void PlatformSwapBuffers(PlatformWindow* window)
{
    if (offscreen) {
        glFlush();
        return;
    }
    BeginWindowCall();
    SDL_GL_SwapWindow(window->window);
    if (!foreignWindow) {
        FollowScreenSize(window->window);
        CoverPastManager(window->window);
        KeepDrawableInLimit();
    }
    // The driver asks the X server for the drawable's size at the first
    // draw after a swap; made here, that wait counts as the swap's, so a
    // frozen server is seen while the loop sleeps between frames too. The
    // frame clears the back buffer again before it draws.
    glClear(GL_COLOR_BUFFER_BIT);
    EndWindowCall();
    EndOnXError();
}

void PlatformReleaseContext(PlatformWindow* window)
{
    if (offscreen)
        return;
    BeginWindowCall();
    SDL_GL_MakeCurrent(window->window, NULL);
    EndWindowCall();
}

bool PlatformKeyPressed(PlatformKey key)
{
    if (!videoReady)
        return false;
    BeginWindowCall();
    SDL_PumpEvents();
    EndWindowCall();
    EndOnXError();
    // A screensaver's keys are its daemon's.
    if (foreignWindow)
        return false;
    const Uint8* state = SDL_GetKeyboardState(NULL);
    bool pressed = keyPressedSince[key].exchange(false);
    // A switch, not a quit: a key held down counts once.
    if (key == PLATFORM_KEY_F11)
        return pressed;
    SDL_Scancode code = key == PLATFORM_KEY_ESCAPE ? SDL_SCANCODE_ESCAPE : SDL_SCANCODE_SPACE;
    return state[code] != 0 || pressed;
}

int32_t PlatformKeyPresses(PlatformKey key)
{
    if (!videoReady || foreignWindow || key < PLATFORM_KEY_PAUSE || key >= PLATFORM_KEY_COUNT)
        return 0;
    return keyPresses[key].exchange(0);
}

void PlatformRemoveOneMessage(void)
{
    SDL_Event e;
    BeginWindowCall();
    if (videoReady)
        SDL_PollEvent(&e);
    EndWindowCall();
    EndOnXError();
}

bool PlatformTerminationRequested(void) { return terminationRequested.load(); }

static int RunThread(void* data)
{
    // Refused for ordinary users; the thread then runs at the priority it has.
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
    RunThreadStart(data);
    return 0;
}

static bool CreateFeederThread(void* start)
{
    SDL_Thread* t = SDL_CreateThread(RunThread, "feeder", start);
    if (!t)
        return false;
    SDL_DetachThread(t);
    return true;
}

bool PlatformStartThread(void (*fn)(void*), void* arg) { return StartBackendThread(fn, arg, CreateFeederThread); }

void PlatformSleep(uint32_t milliseconds) { SDL_Delay(milliseconds); }

uint64_t PlatformTimeMs(void) { return (uint64_t)MonotonicMs(); }
