// The one seam between the show and the operating system.
//
// Host, render and audio code talk to the machine only through these calls;
// each backend (SDL2 on Linux, Win32, the offline capture backend) supplies
// all of them. Nothing here reports through exceptions: failures come back
// as false plus a one-line reason from PlatformLastError().
#pragma once

#include <stdint.h>

// Opaque handle for the show's window (the Win32 backend keeps an HWND here).
typedef struct PlatformWindow PlatformWindow;

enum PlatformKey {
    PLATFORM_KEY_ESCAPE = 0,
    PLATFORM_KEY_SPACE = 1,
    PLATFORM_KEY_F11 = 2,
    // The player's keys, counted by PlatformKeyPresses: P or K, the arrows,
    // J, L, Home.
    PLATFORM_KEY_PAUSE = 3,
    PLATFORM_KEY_LEFT = 4,
    PLATFORM_KEY_RIGHT = 5,
    PLATFORM_KEY_J = 6,
    PLATFORM_KEY_L = 7,
    PLATFORM_KEY_HOME = 8,
    PLATFORM_KEY_COUNT = 9
};

// How the show's window covers the screen.
enum PlatformScreenUse {
    // Borderless over the whole display at its current mode (the default).
    PLATFORM_SCREEN_DESKTOP = 0,
    // Full screen at the mode PlatformSetDisplayMode asked for; where the
    // system cannot switch to it, one line on standard error says so and the
    // window is PLATFORM_SCREEN_DESKTOP's.
    PLATFORM_SCREEN_MODE = 1,
    // A decorated, resizable window of the size PlatformCreateWindow gets.
    PLATFORM_SCREEN_WINDOW = 2
};

// ---- the process (initial thread, first of all) ----

// Readies the process before anything is opened: standard descriptors 0-2
// kept valid (an X connection or a pipe must not take their place) and the
// termination signals (SIGINT, SIGTERM, a hangup) caught, so that they reach
// PlatformTerminationRequested.
void PlatformStartProcess(void);

// ---- display, window and context (initial thread only) ----

// Opens the connection to the display system, once, before
// PlatformCreateWindow; false where none can be had, the reason in
// PlatformLastError() (that window then fails with it, or draws off screen).
bool PlatformOpenDisplay(void);
// How the next PlatformCreateWindow covers the screen; call before it.
void PlatformUseScreen(PlatformScreenUse use);

// The monitors, counted from 1 in the order the system gives them (the
// primary first where it says which): how many, and in text a line for
// each ("N: WxH at X,Y"). -1 where no display can be opened, the reason in
// PlatformLastError().
int32_t PlatformDisplays(char* text, uint32_t size);
// The monitor (counted from 0) the window goes on; call before
// PlatformCreateWindow. The primary by default.
void PlatformUseDisplay(int32_t index);

// Asks for a full-screen mode of width x height at bpp bits per pixel. The
// switch may only take effect when the window is created; a refusal is not
// an error the show acts on.
void PlatformSetDisplayMode(int width, int height, int bpp);
// Puts back the mode that was in force before PlatformSetDisplayMode.
void PlatformRestoreDisplayMode(void);
void PlatformShowCursor(bool show);

// The show draws into a window another program made (an X11 screensaver
// daemon's, a Windows screensaver's preview pane) instead of one of its
// own: id is the system's handle of it (an X window id, an HWND), or
// PLATFORM_ROOT_WINDOW for the screen's root window. The picture follows
// that window's size; nothing is restored at the end, so a termination
// signal ends the process at once with status 0. The window destroyed ends
// the show: on X11 with one line and status 1 (a daemon ends its hacks by
// a signal), on Windows with status 0 (a preview pane's normal end). Call
// before PlatformCreateWindow.
constexpr uint64_t PLATFORM_ROOT_WINDOW = ~(uint64_t)0;
void PlatformUseForeignWindow(uint64_t id);
// A screensaver's rule: a key, a click or the mouse moved more than a few
// pixels is a termination request.
void PlatformEndOnInput(bool on);
// Whether the swap waits for the display's refresh (1, the default) or not
// (0: frames as fast as the GPU draws them); false where the driver refuses.
bool PlatformSetSwapInterval(PlatformWindow* window, int32_t interval);
// The framebuffer object that stands in for the window where it is drawn
// off screen (a benchmark with no display but EGL), else 0.
uint32_t PlatformWindowFramebuffer(PlatformWindow* window);
// Where no display can be opened, the next PlatformCreateWindow draws off
// screen at the size asked for (one line says so) instead of failing: a
// benchmark on a machine with a GPU and no display.
void PlatformAllowOffscreen(bool allow);
// Shows a short message to the viewer: a message box where the system has
// them (Windows), else a line on standard output.
void PlatformShowMessage(const char* text);

// Creates the borderless window at (x, y) with the given size over the
// switched screen, with a double-buffered RGBA surface (32-bit colour, depth
// request 32, then 24, then 16) and a current OpenGL compatibility context of
// version 2.0 or later. Returns null when any of that cannot be had; the
// reason is then in PlatformLastError().
PlatformWindow* PlatformCreateWindow(int x, int y, int width, int height);
// Size in pixels of what the window draws on now: follows resizes and
// leaving or entering full screen, and counts device pixels on high-density
// screens.
void PlatformDrawableSize(PlatformWindow* window, int* width, int* height);
// Moves an existing window between a decorated window (at the size it had
// as one) and full screen at the desktop's mode.
void PlatformSetFullscreen(PlatformWindow* window, bool fullscreen);
// Raises the window and gives it the keyboard focus.
void PlatformFocusWindow(PlatformWindow* window);
void PlatformSwapBuffers(PlatformWindow* window);
// Releases the GL context from the calling thread.
void PlatformReleaseContext(PlatformWindow* window);

// True when the key is down now or was pressed since the previous poll of it.
bool PlatformKeyPressed(PlatformKey key);
// How many times a player's key was pressed since the previous call for it,
// the system's repeats of a held key included; a key pressed with Ctrl, Alt
// or Super is the system's and not counted.
int32_t PlatformKeyPresses(PlatformKey key);
// Removes at most one pending window-system event without dispatching it;
// never waits.
void PlatformRemoveOneMessage(void);
// True once the system asked the show to end (SIGINT, SIGTERM, a close
// request from the window manager).
bool PlatformTerminationRequested(void);

// ---- bitmap font (initial thread, GL context current) ----

// Records count display lists from listBase on, list i drawing the glyph of
// code first + i of a bold, 24-pixel, monospaced "Courier New" (or the
// nearest such face) at the raster position and advancing it by the glyph's
// width. False when no such face can be had; the lists are then untouched.
bool PlatformUseFontBitmaps(uint32_t first, uint32_t count, uint32_t listBase);
// The same for a face pixelHeight pixels high (24 is the call above), for a
// surface larger or smaller than the show's 768 rows. Supplied by the
// FreeType and web backends, where BRINELUX_FONT_SIZES is defined.
bool PlatformUseFontBitmapsAt(uint32_t first, uint32_t count, uint32_t listBase, float pixelHeight);

// ---- sound ring (a looping buffer of 16-bit mono samples) ----

// Opens the output and starts the ring (SOUND_RING_BYTES) looping at
// sampleRate. Where no device can be had, a silent output stands in whose
// play position still advances in real time. Never fails.
void PlatformSoundStart(PlatformWindow* window, uint32_t sampleRate);
// Asked before PlatformSoundStart: no device is opened at all (a
// screensaver's silence), and the silent stand-in plays.
void PlatformSoundNone(void);
// Byte offset in the ring up to which the device has taken data; the feeder
// writes only behind it.
uint32_t PlatformSoundPlayPosition(void);
// Gives write access to bytes [offset, offset + bytes) of the ring, split in
// two regions where it wraps. Returns false, with both regions null/0, when
// the ring cannot be written.
bool PlatformSoundLock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1,
                       void** p2, uint32_t* l2);
// Hands the regions of the matching lock back to the device.
void PlatformSoundUnlock(void* p1, uint32_t l1, void* p2, uint32_t l2);

// Pauses or resumes the output: a paused device takes nothing and keeps
// what it holds, the silent stand-in's clock stands still.
void PlatformSoundPause(bool pause);
// Where the output stands: still opening (PlatformSoundStart returns before
// the device answers), playing on a device, or the silent stand-in.
enum PlatformSoundState { PLATFORM_SOUND_OPENING = 0, PLATFORM_SOUND_PLAYING = 1, PLATFORM_SOUND_SILENT = 2 };
// The device's latest take from the ring, stamped as it happened.
struct PlatformSoundTake {
    uint32_t position;  // ring offset taken up to, as PlatformSoundPlayPosition
    uint32_t bytes;     // what that take was
    uint64_t atUs;      // when, on the clock of nowUs
    uint64_t latencyUs; // from the take's last byte to its being heard; 0 where the system does not say
    uint64_t count;     // takes so far: 0 where none is known (the position alone then tells)
    uint64_t nowUs;     // a monotonic clock in microseconds, read now
};
// The output's state, and in *take its latest take where it knows one.
PlatformSoundState PlatformSoundClock(PlatformSoundTake* take);

// ---- threads, time, diagnostics, process ----

// Starts fn(arg) on a new thread at the highest priority the system allows
// (time-critical where permitted, silently less otherwise).
bool PlatformStartThread(void (*fn)(void*), void* arg);
void PlatformSleep(uint32_t milliseconds);
// Milliseconds on a steady clock that the sound output plays by (the offline
// backend's virtual clock); only differences between two reads mean anything.
uint64_t PlatformTimeMs(void);
// The debugger output channel: writes text as it stands, no line end added.
void PlatformDebugOutput(const char* text);
// One-line reason for the last failure of a platform call.
const char* PlatformLastError(void);
// Flushes the standard streams and ends the process with status.
[[noreturn]] void PlatformExit(int status);
