// Windows backend of the platform layer: the display mode, the window and
// WGL context, keys, messages, threads and the debugger channel, with the
// same Win32 calls the show has always made.
#include <windows.h>
#include "platform/win32/gl_loader.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include "platform/platform.h"
#include "platform/thread_start.h"
#include "platform/win32/window_win32.h"

// The records the show fills field by field, at the sizes it was made for.
static_assert(sizeof(DEVMODEA) == 156, "DEVMODEA");
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "PIXELFORMATDESCRIPTOR");

static PlatformWindow showWindow;
// All bytes zero but the five fields the mode request sets.
static DEVMODEA displayMode;
static PlatformScreenUse screenUse = PLATFORM_SCREEN_DESKTOP;
// The display settings were changed for the show and must be put back.
static bool modeChanged;
// The window is one of the show's own class, whose messages are dispatched
// (a decorated window must answer its frame's moves and resizes).
static bool dispatching;
// Where a window shown full screen goes back to.
static RECT windowedRect;
static bool f11WasDown;
static char lastError[256];
static volatile LONG terminationRequested;
// A window another program made (a screensaver's preview pane) that the
// show draws into as its child; null for a window of the show's own.
static HWND foreignParent;
static bool foreignAsked;
static uint64_t foreignId;
// A screensaver's end: a key, a click or the mouse moved beyond a few
// pixels from where it was when the rule was set.
static bool endOnInput;
static POINT inputCursor;
static bool inputKeyDown[256];
static DWORD lastInputTick;
static const LONG INPUT_SLACK_PIXELS = 4;

static void SetError(const char* what)
{
    DWORD code = GetLastError();
    char reason[160] = "";
    if (code != 0)
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0, reason,
                       sizeof reason, NULL);
    // System messages end in a line break; the caller adds its own.
    size_t n = strlen(reason);
    while (n > 0 && (reason[n - 1] == '\n' || reason[n - 1] == '\r' || reason[n - 1] == ' '))
        reason[--n] = 0;
    if (n > 0)
        snprintf(lastError, sizeof lastError, "%s: %s (error %lu)", what, reason, (unsigned long)code);
    else
        snprintf(lastError, sizeof lastError, "%s: no reason given", what);
}

// Ctrl+C or Ctrl+Break in the console, or its closing: ends the show like a
// quit key, so the display mode is put back.
static BOOL WINAPI OnConsoleEvent(DWORD)
{
    InterlockedExchange(&terminationRequested, 1);
    return TRUE;
}

// A GUI program has no console; started from one, its lines go there, but
// a stream already redirected (to a file, a pipe) stays where it points.
static void ReachParentConsole(void)
{
    bool outFree = GetStdHandle(STD_OUTPUT_HANDLE) == NULL || GetStdHandle(STD_OUTPUT_HANDLE) == INVALID_HANDLE_VALUE;
    bool errFree = GetStdHandle(STD_ERROR_HANDLE) == NULL || GetStdHandle(STD_ERROR_HANDLE) == INVALID_HANDLE_VALUE;
    if ((!outFree && !errFree) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (outFree && freopen("CONOUT$", "w", stdout))
        setvbuf(stdout, NULL, _IONBF, 0);
    if (errFree && freopen("CONOUT$", "w", stderr))
        setvbuf(stderr, NULL, _IONBF, 0);
}

// The system must not scale the window's pixels on a high-density screen:
// the picture is drawn at the drawable's own size. Looked up at run time,
// since older systems lack the call.
static void DeclareDpiAwareness(void)
{
    typedef BOOL(WINAPI * AwarenessContextProc)(HANDLE);
    typedef BOOL(WINAPI * AwareProc)(void);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (!user32)
        return;
    FARPROC contextProc = GetProcAddress(user32, "SetProcessDpiAwarenessContext");
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, then the first version.
    if (contextProc && (((AwarenessContextProc)(void (*)(void))contextProc)((HANDLE)(intptr_t)-4) ||
                        ((AwarenessContextProc)(void (*)(void))contextProc)((HANDLE)(intptr_t)-3)))
        return;
    FARPROC awareProc = GetProcAddress(user32, "SetProcessDPIAware");
    if (awareProc)
        ((AwareProc)(void (*)(void))awareProc)();
}

void PlatformStartProcess(void)
{
    // The host and the tools may each ready the process.
    static bool ready;
    if (ready)
        return;
    ready = true;
    ReachParentConsole();
    DeclareDpiAwareness();
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void PlatformUseScreen(PlatformScreenUse use) { screenUse = use; }

// The desktop is there for every process that has a window station.
bool PlatformOpenDisplay(void) { return true; }

void PlatformSetDisplayMode(int width, int height, int bpp)
{
    memset(&displayMode, 0, sizeof displayMode);
    displayMode.dmSize = sizeof displayMode;
    displayMode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    displayMode.dmBitsPerPel = (DWORD)bpp;
    displayMode.dmPelsWidth = (DWORD)width;
    displayMode.dmPelsHeight = (DWORD)height;
    // Only when asked for: today's flat panels show a switched mode soft or
    // stretched, and the desktop is rearranged around it.
    if (screenUse != PLATFORM_SCREEN_MODE || foreignAsked)
        return;
    // CDS_FULLSCREEN: temporary, never written to the registry.
    if (ChangeDisplaySettingsA(&displayMode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL) {
        modeChanged = true;
        return;
    }
    fprintf(stderr, "brinelux: the display cannot switch to %d x %d; the show goes on at the desktop's mode\n",
            width, height);
    screenUse = PLATFORM_SCREEN_DESKTOP;
}

void PlatformRestoreDisplayMode(void)
{
    if (!modeChanged)
        return;
    ChangeDisplaySettingsA(NULL, 0);
    modeChanged = false;
}

void PlatformShowCursor(bool show)
{
    // The pane's cursor is the dialog's: its input queue is shared with ours.
    if (foreignAsked)
        return;
    ShowCursor(show ? TRUE : FALSE);
}

void PlatformUseForeignWindow(uint64_t id)
{
    foreignAsked = true;
    foreignId = id;
}

// Every key and mouse button as it stands: the down bit kept, the
// pressed-since-last-query bit read and so cleared.
static void ReadInputKeys(bool* pressed)
{
    *pressed = false;
    for (int key = 1; key < 256; key++) {
        SHORT state = GetAsyncKeyState(key);
        bool down = (state & 0x8000) != 0;
        if ((down && !inputKeyDown[key]) || (state & 1))
            *pressed = true;
        inputKeyDown[key] = down;
    }
}

void PlatformEndOnInput(bool on)
{
    endOnInput = on;
    if (!on)
        return;
    // What is down or was pressed before now (the key or click that started
    // the saver) is not input to it.
    bool pressed;
    ReadInputKeys(&pressed);
    GetCursorPos(&inputCursor);
    LASTINPUTINFO last = {sizeof last, 0};
    if (GetLastInputInfo(&last))
        lastInputTick = last.dwTime;
}

// A key, a button or the mouse moved since the rule was set.
static bool InputSeen(void)
{
    // The system's time of its latest input first: one call, where reading
    // every key is a call per key (a server's round trip each under Wine).
    LASTINPUTINFO last = {sizeof last, 0};
    if (GetLastInputInfo(&last)) {
        if (last.dwTime == lastInputTick)
            return false;
        lastInputTick = last.dwTime;
    }
    bool pressed;
    ReadInputKeys(&pressed);
    if (pressed)
        return true;
    POINT now;
    if (!GetCursorPos(&now))
        return false;
    LONG dx = now.x - inputCursor.x, dy = now.y - inputCursor.y;
    return dx * dx + dy * dy > INPUT_SLACK_PIXELS * INPUT_SLACK_PIXELS;
}

void PlatformShowMessage(const char* text) { MessageBoxA(NULL, text, "brinelux", MB_OK | MB_ICONINFORMATION); }

uint32_t PlatformWindowFramebuffer(PlatformWindow*) { return 0; }

// A Windows session always has a desktop to make the window on: nothing is
// drawn off screen here.
void PlatformAllowOffscreen(bool) {}

// "2.1 Mesa ..." or "4.6.0 NVIDIA ...": the major number leads.
static bool HasGL20(void)
{
    const char* version = (const char*)glGetString(GL_VERSION);
    return version != NULL && version[0] >= '2' && version[0] <= '9';
}

static PlatformWindow* Abandon(HWND window, HDC dc, HGLRC context)
{
    if (context) {
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(context);
    }
    if (dc)
        ReleaseDC(window, dc);
    if (window)
        DestroyWindow(window);
    return NULL;
}

// The driver's wglSwapIntervalEXT with the current context; false where it
// lacks it (some drivers answer a missing name with a small number, not null)
// or refuses the interval.
static bool SwapInterval(int interval)
{
    typedef BOOL(WINAPI * SwapIntervalProc)(int interval);
    PROC proc = wglGetProcAddress("wglSwapIntervalEXT");
    intptr_t value = (intptr_t)proc;
    if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1)
        return false;
    return ((SwapIntervalProc)(void (*)(void))proc)(interval) != FALSE;
}

bool PlatformSetSwapInterval(PlatformWindow*, int32_t interval) { return SwapInterval((int)interval); }

// The primary monitor's whole area, at its current mode.
// The monitors in the system's order, the primary put first.
static RECT monitors[16];
static int32_t monitorCount;
static int32_t displayIndex;

static BOOL CALLBACK CountMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM)
{
    MONITORINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (monitorCount < 16 && GetMonitorInfoA(monitor, &info)) {
        int32_t at = monitorCount++;
        if (info.dwFlags & MONITORINFOF_PRIMARY) {
            for (; at > 0; at--)
                monitors[at] = monitors[at - 1];
        }
        monitors[at] = info.rcMonitor;
    }
    return TRUE;
}

static void FindMonitors(void)
{
    monitorCount = 0;
    EnumDisplayMonitors(NULL, NULL, CountMonitor, 0);
}

int32_t PlatformDisplays(char* text, uint32_t size)
{
    FindMonitors();
    uint32_t used = 0;
    if (size > 0)
        text[0] = 0;
    for (int32_t i = 0; i < monitorCount && used < size; i++) {
        RECT r = monitors[i];
        int n = snprintf(text + used, size - used, "%d: %ldx%ld at %ld,%ld\n", i + 1, r.right - r.left,
                         r.bottom - r.top, r.left, r.top);
        used += n > 0 ? (uint32_t)n : 0;
    }
    return monitorCount;
}

void PlatformUseDisplay(int32_t index) { displayIndex = index; }

static RECT MonitorArea(void)
{
    POINT origin = {0, 0};
    MONITORINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    FindMonitors();
    if (displayIndex > 0 && displayIndex < monitorCount)
        return monitors[displayIndex];
    if (GetMonitorInfoA(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &info))
        area = info.rcMonitor;
    return area;
}

static const DWORD WINDOWED_STYLE = WS_OVERLAPPEDWINDOW | WS_VISIBLE;

// The close box ends the show like a quit key; the window stays until then.
// A child destroyed with its foreign parent ends the show too.
static LRESULT CALLBACK ShowWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE || (message == WM_DESTROY && foreignParent)) {
        InterlockedExchange(&terminationRequested, 1);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void RegisterShowClass(void)
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = ShowWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.lpszClassName = "brinelux";
    RegisterClassA(&wc);
    dispatching = true;
}

static HWND CreateDecoratedWindow(int width, int height)
{
    RegisterShowClass();
    RECT r = {0, 0, width, height};
    AdjustWindowRect(&r, WINDOWED_STYLE, FALSE);
    return CreateWindowExA(0, "brinelux", "brinelux", WINDOWED_STYLE, CW_USEDEFAULT, CW_USEDEFAULT,
                           r.right - r.left, r.bottom - r.top, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

// A child of the foreign window over its whole client area, or null with
// the reason set.
static HWND CreateChildWindow(void)
{
    if (foreignId == PLATFORM_ROOT_WINDOW) {
        snprintf(lastError, sizeof lastError, "Windows has no root window to draw into: the show takes a window's HWND");
        return NULL;
    }
    HWND parent = (HWND)(uintptr_t)foreignId;
    if (!IsWindow(parent)) {
        snprintf(lastError, sizeof lastError, "there is no window %llu to draw into", (unsigned long long)foreignId);
        return NULL;
    }
    RegisterShowClass();
    RECT r = {0, 0, 0, 0};
    GetClientRect(parent, &r);
    foreignParent = parent;
    // Clipped so that the pane's other children keep their pixels.
    HWND window = CreateWindowExA(0, "brinelux", "brinelux", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                                  r.right - r.left, r.bottom - r.top, parent, NULL, GetModuleHandleA(NULL), NULL);
    if (!window) {
        foreignParent = NULL;
        SetError("no window could be made inside the given one");
    }
    return window;
}

// With more than one monitor, a screensaver blacks out those the show is
// not on. The windows live as long as the process.
static LRESULT CALLBACK BlackWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

static void BlackOutOtherMonitors(RECT shown)
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = BlackWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = "brinelux-black";
    RegisterClassA(&wc);
    for (int32_t i = 0; i < monitorCount; i++) {
        RECT r = monitors[i];
        if (EqualRect(&r, &shown))
            continue;
        HWND black = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "brinelux-black", "", WS_POPUP | WS_VISIBLE,
                                     r.left, r.top, r.right - r.left, r.bottom - r.top, NULL, NULL, wc.hInstance,
                                     NULL);
        // Painted now: the show never dispatches a paint request to it.
        if (black) {
            HDC dc = GetDC(black);
            RECT all = {0, 0, r.right - r.left, r.bottom - r.top};
            FillRect(dc, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
            ReleaseDC(black, dc);
        }
    }
}

PlatformWindow* PlatformCreateWindow(int x, int y, int width, int height)
{
    HWND window;
    if (foreignAsked) {
        window = CreateChildWindow();
        if (!window)
            return NULL;
    } else if (screenUse == PLATFORM_SCREEN_WINDOW) {
        window = CreateDecoratedWindow(width, height);
    } else {
        // Over the whole monitor at its own mode, unless the mode was
        // switched for the show (its window then as it always was).
        if (screenUse == PLATFORM_SCREEN_DESKTOP) {
            RECT area = MonitorArea();
            x = area.left;
            y = area.top;
            width = area.right - area.left;
            height = area.bottom - area.top;
            if (endOnInput && monitorCount > 1)
                BlackOutOtherMonitors(area);
        }
        // The system's own edit-control class: no class to register and no
        // window procedure, since the show never dispatches a message.
        window = CreateWindowExA(0, "EDIT", "EDIT", WS_POPUP | WS_VISIBLE, x, y, width, height, NULL, NULL,
                                 NULL, NULL);
        windowedRect.left = windowedRect.top = 64;
        windowedRect.right = 64 + 1024;
        windowedRect.bottom = 64 + 768;
    }
    if (!window) {
        SetError("no window could be created");
        return NULL;
    }
    HDC dc = GetDC(window);
    if (!dc) {
        SetError("the window has no device context");
        return Abandon(window, NULL, NULL);
    }

    PIXELFORMATDESCRIPTOR pfd;
    memset(&pfd, 0, sizeof pfd);
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 32;
    pfd.iLayerType = PFD_MAIN_PLANE;
    // ChoosePixelFormat gives the nearest format, so a driver without a
    // 32-bit depth buffer answers with 24 or 16 by itself.
    int format = ChoosePixelFormat(dc, &pfd);
    if (format == 0) {
        SetError("no OpenGL pixel format for the window");
        return Abandon(window, dc, NULL);
    }
    if (!SetPixelFormat(dc, format, &pfd)) {
        SetError("the window refused its OpenGL pixel format");
        return Abandon(window, dc, NULL);
    }
    HGLRC context = wglCreateContext(dc);
    if (!context) {
        SetError("no OpenGL context could be created");
        return Abandon(window, dc, NULL);
    }
    if (!wglMakeCurrent(dc, context)) {
        SetError("the OpenGL context could not be made current");
        return Abandon(window, dc, context);
    }
    if (!HasGL20()) {
        const char* version = (const char*)glGetString(GL_VERSION);
        snprintf(lastError, sizeof lastError, "OpenGL 2.0 is needed: the driver offers %s",
                 version ? version : "no version");
        return Abandon(window, dc, context);
    }
    // The buffer swap paces the frame loop: ask the driver to wait for the
    // display's refresh where its default is not to.
    SwapInterval(1);
    showWindow.window = window;
    showWindow.deviceContext = dc;
    showWindow.context = context;
    return &showWindow;
}

void PlatformDrawableSize(PlatformWindow* window, int* width, int* height)
{
    RECT r = {0, 0, 0, 0};
    // A child follows its parent's client area; once the parent is gone it
    // keeps the size it had.
    RECT parent;
    if (foreignParent && GetClientRect(foreignParent, &parent)) {
        GetClientRect(window->window, &r);
        if (!EqualRect(&r, &parent))
            MoveWindow(window->window, 0, 0, parent.right - parent.left, parent.bottom - parent.top, FALSE);
    }
    GetClientRect(window->window, &r);
    *width = r.right - r.left;
    *height = r.bottom - r.top;
}

void PlatformSetFullscreen(PlatformWindow* window, bool fullscreen)
{
    HWND w = window->window;
    // A child stays where its parent has it.
    if (foreignParent)
        return;
    bool now = (GetWindowLongPtrA(w, GWL_STYLE) & WS_POPUP) != 0;
    if (now == fullscreen)
        return;
    if (fullscreen) {
        GetWindowRect(w, &windowedRect);
        RECT area = MonitorArea();
        SetWindowLongPtrA(w, GWL_STYLE, WS_POPUP | WS_VISIBLE);
        SetWindowPos(w, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    } else {
        // A switched mode goes back to the desktop's with the window.
        PlatformRestoreDisplayMode();
        SetWindowLongPtrA(w, GWL_STYLE, WINDOWED_STYLE);
        SetWindowPos(w, HWND_NOTOPMOST, windowedRect.left, windowedRect.top, windowedRect.right - windowedRect.left,
                     windowedRect.bottom - windowedRect.top, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    }
}

void PlatformFocusWindow(PlatformWindow* window)
{
    // A preview pane must not take the dialog's focus.
    if (foreignParent)
        return;
    SetForegroundWindow(window->window);
    SetFocus(window->window);
}

void PlatformSwapBuffers(PlatformWindow* window) { SwapBuffers(window->deviceContext); }

void PlatformReleaseContext(PlatformWindow*) { wglMakeCurrent(NULL, NULL); }

bool PlatformKeyPressed(PlatformKey key)
{
    // The key state is the whole system's: in a preview pane the keys are
    // typed into the dialog and other programs, not at the show.
    if (foreignParent)
        return false;
    // A switch: counts once per press, however long it is held.
    if (key == PLATFORM_KEY_F11) {
        bool down = (GetAsyncKeyState(VK_F11) & 0x8000) != 0;
        bool pressed = down && !f11WasDown;
        f11WasDown = down;
        return pressed;
    }
    // Non-zero: down now, or pressed since the previous query.
    return GetAsyncKeyState(key == PLATFORM_KEY_ESCAPE ? VK_ESCAPE : VK_SPACE) != 0;
}

int32_t PlatformKeyPresses(PlatformKey key)
{
    // Each press once, as it goes down (or went down and up since the last
    // look); a key held with Ctrl, Alt or the Windows key is the system's.
    static bool wasDown[PLATFORM_KEY_COUNT];
    static const int keys[PLATFORM_KEY_COUNT][2] = {{0, 0},       {0, 0},         {0, 0},   {'P', 'K'}, {VK_LEFT, 0},
                                                     {VK_RIGHT, 0}, {'J', 0}, {'L', 0}, {VK_HOME, 0}};
    if (key < PLATFORM_KEY_PAUSE || key >= PLATFORM_KEY_COUNT || foreignParent)
        return 0;
    bool down = false;
    for (int i = 0; i < 2; i++)
        down = down || (keys[key][i] && GetAsyncKeyState(keys[key][i]) != 0);
    bool held = (GetAsyncKeyState(VK_CONTROL) | GetAsyncKeyState(VK_MENU) | GetAsyncKeyState(VK_LWIN) |
                 GetAsyncKeyState(VK_RWIN)) & 0x8000;
    bool pressed = down && !wasDown[key] && !held;
    wasDown[key] = down;
    return pressed ? 1 : 0;
}

void PlatformRemoveOneMessage(void)
{
    // One call, never a wait: the window's paint request is never satisfied,
    // so on Windows this finds a message every frame anyway, and an empty
    // queue must not hold the frame back.
    MSG msg;
    if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE) && dispatching)
        DispatchMessageA(&msg);
}

bool PlatformTerminationRequested(void)
{
    // A preview pane's parent closed is its normal end; a screensaver's is
    // any input.
    if ((foreignParent && !IsWindow(foreignParent)) || (endOnInput && InputSeen()))
        InterlockedExchange(&terminationRequested, 1);
    return InterlockedCompareExchange(&terminationRequested, 0, 0) != 0;
}

// ---- font ----

// Mesa refuses a glBitmap with a null pointer inside a display list, which
// is how wglUseFontBitmapsA records a glyph without pixels (the space) under
// Wine. Such glyphs are recorded here instead, with the same advance and a
// valid pointer; every glyph with pixels is still the system's.
static const GLubyte emptyGlyph[4] = {0, 0, 0, 0};

static bool GlyphIsEmpty(HDC dc, UINT code, GLYPHMETRICS* metrics)
{
    static const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    DWORD size = GetGlyphOutlineA(dc, code, GGO_BITMAP, metrics, 0, NULL, &identity);
    return size == 0;
}

bool PlatformUseFontBitmaps(uint32_t first, uint32_t count, uint32_t listBase)
{
    HDC dc = showWindow.deviceContext;
    if (!dc)
        return false;
    HFONT font = CreateFontA(-24, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Courier New");
    if (!font)
        return false;
    HGDIOBJ previous = SelectObject(dc, font);
    bool made = true;
    // Runs of glyphs with pixels go to wglUseFontBitmapsA in one call each.
    uint32_t runStart = first;
    for (uint32_t code = first; code <= first + count && made; code++) {
        GLYPHMETRICS metrics;
        bool end = code == first + count;
        if (!end && !GlyphIsEmpty(dc, code, &metrics))
            continue;
        if (code > runStart)
            made = wglUseFontBitmapsA(dc, runStart, code - runStart, listBase + (runStart - first)) != FALSE;
        if (!end && made) {
            glNewList(listBase + (code - first), GL_COMPILE);
            glBitmap(0, 0, 0, 0, (GLfloat)metrics.gmCellIncX, (GLfloat)metrics.gmCellIncY, emptyGlyph);
            glEndList();
        }
        runStart = code + 1;
    }
    SelectObject(dc, previous);
    DeleteObject(font);
    return made;
}

// ---- threads, time, diagnostics, process ----

static DWORD WINAPI RunThread(LPVOID data)
{
    RunThreadStart(data);
    return 0;
}

static bool CreateFeederThread(void* start)
{
    HANDLE thread = CreateThread(NULL, 0, RunThread, start, 0, NULL);
    if (!thread) {
        SetError("no thread could be started");
        return false;
    }
    // Refused, the thread runs on at normal priority. The handle stays open:
    // the thread lives as long as the process.
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    return true;
}

bool PlatformStartThread(void (*fn)(void*), void* arg) { return StartBackendThread(fn, arg, CreateFeederThread); }

void PlatformSleep(uint32_t milliseconds) { Sleep(milliseconds); }

uint64_t PlatformTimeMs(void) { return GetTickCount64(); }

void PlatformDebugOutput(const char* text) { OutputDebugStringA(text); }

const char* PlatformLastError(void) { return lastError; }

void PlatformExit(int status)
{
    // Lines written with printf are lost on a pipe unless flushed here.
    fflush(stdout);
    fflush(stderr);
    // The feeder thread may still be running: no static destructor may pull
    // its state away underneath it.
    ExitProcess((UINT)status);
}
