// The show in a web page: the canvas and its WebGL 1 context, the quit keys
// from the page's keyboard events, the console as the debugger channel.
// The page (index.html) holds the screens around the show and fullscreen.
#include "platform/platform.h"
#include "platform/web/web.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>
#include <stdio.h>
#include <string.h>

struct PlatformWindow {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context;
};

static PlatformWindow canvasWindow;
static char lastError[200] = "no error";
// Per key: down now, and pressed since the last poll.
static bool keyDown[2];
static bool keyPressed[2];

static int KeyIndex(const EmscriptenKeyboardEvent* event)
{
    if (strcmp(event->code, "Escape") == 0)
        return PLATFORM_KEY_ESCAPE;
    if (strcmp(event->code, "Space") == 0)
        return PLATFORM_KEY_SPACE;
    return -1;
}

static EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* event, void*)
{
    int key = KeyIndex(event);
    if (key < 0)
        return EM_FALSE;
    if (type == EMSCRIPTEN_EVENT_KEYUP) {
        keyDown[key] = false;
        return EM_TRUE;
    }
    // A key with Ctrl, Alt or Meta is the browser's (its shortcuts), not
    // the show's.
    if (event->ctrlKey || event->altKey || event->metaKey)
        return EM_FALSE;
    if (!event->repeat) {
        // A repeat belongs to a press that began before the show listened
        // (the key that started it, held): only fresh presses count.
        keyDown[key] = true;
        keyPressed[key] = true;
    }
    // Space would scroll the page.
    return EM_TRUE;
}

// A page has no descriptors or signals of its own.
void PlatformStartProcess(void) {}
void PlatformUseScreen(PlatformScreenUse) {}
// The page is the display.
bool PlatformOpenDisplay(void) { return true; }
void PlatformSetDisplayMode(int, int, int) {}
void PlatformRestoreDisplayMode(void) {}

EM_JS(void, SetCursorShown, (int shown), {
    var canvas = document.getElementById('canvas');
    if (canvas) canvas.style.cursor = shown ? 'auto' : 'none';
});

void PlatformShowCursor(bool show) { SetCursorShown(show ? 1 : 0); }

PlatformWindow* PlatformCreateWindow(int, int, int width, int height)
{
    emscripten_set_canvas_element_size("#canvas", width, height);
    EmscriptenWebGLContextAttributes attrs;
    emscripten_webgl_init_context_attributes(&attrs);
    // What the desktop surface is: opaque, with depth, no multisampling.
    attrs.alpha = EM_FALSE;
    attrs.depth = EM_TRUE;
    attrs.stencil = EM_FALSE;
    attrs.antialias = EM_FALSE;
    attrs.majorVersion = 1;
    attrs.minorVersion = 0;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attrs);
    if (context <= 0) {
        snprintf(lastError, sizeof lastError,
                 "the show cannot start: this browser gives the page no WebGL (%d): turn on its hardware "
                 "acceleration, or open the page in another browser",
                 (int)context);
        return nullptr;
    }
    if (emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        snprintf(lastError, sizeof lastError, "the WebGL context cannot be made current");
        return nullptr;
    }
    canvasWindow.context = context;
    return &canvasWindow;
}

// The page frames the canvas itself, and the browser owns full screen.
void PlatformDrawableSize(PlatformWindow*, int* width, int* height)
{
    emscripten_get_canvas_element_size("#canvas", width, height);
}
void PlatformSetFullscreen(PlatformWindow*, bool) {}

void PlatformFocusWindow(PlatformWindow*)
{
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, OnKey);
}

// The browser shows the canvas when the animation frame returns.
void PlatformSwapBuffers(PlatformWindow*) {}

void PlatformReleaseContext(PlatformWindow*) { emscripten_webgl_make_context_current(0); }

bool WebTakeContextBack(PlatformWindow* window)
{
    return emscripten_webgl_make_context_current(window->context) == EMSCRIPTEN_RESULT_SUCCESS;
}

// The page reads its player's keys itself.
// The page's canvas is where the browser puts it.
int32_t PlatformDisplays(char* text, uint32_t size)
{
    if (size > 0)
        text[0] = 0;
    return 1;
}
void PlatformUseDisplay(int32_t) {}

int32_t PlatformKeyPresses(PlatformKey) { return 0; }

bool PlatformKeyPressed(PlatformKey key)
{
    // The browser's own full-screen key.
    if (key == PLATFORM_KEY_F11)
        return false;
    int k = key == PLATFORM_KEY_SPACE ? 1 : 0;
    bool pressed = keyDown[k] || keyPressed[k];
    keyPressed[k] = false;
    return pressed;
}

// Events reach the page between animation frames; there is no queue here.
void PlatformRemoveOneMessage(void) {}

bool PlatformTerminationRequested(void) { return false; }

// Starting the show's keys before the user's start gesture would let that
// gesture end the show: the web entry clears what came before.
void WebForgetKeys(void)
{
    for (int k = 0; k < 2; k++)
        keyDown[k] = keyPressed[k] = false;
}

EM_JS(void, ConsoleWrite, (const char* text), {
    var line = UTF8ToString(text);
    if (Module['debugLines']) Module['debugLines'].push(line);
    if (line.trim().length > 0) console.log(line);
});

void PlatformDebugOutput(const char* text) { ConsoleWrite(text); }

const char* PlatformLastError(void) { return lastError; }

EM_JS(void, ProgramExit, (int status), {
    if (Module['onProgramExit']) Module['onProgramExit'](status);
});

void PlatformExit(int status)
{
    fflush(stdout);
    fflush(stderr);
    ProgramExit(status);
    emscripten_force_exit(status);
}
