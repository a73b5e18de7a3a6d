#include "host/options.h"
#include "audio/audio.h"
#include "state/shared.h"
#include "state/show_text.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

ShowOptions showOptions = {PLATFORM_SCREEN_DESKTOP, SHOW_WIDTH, SHOW_HEIGHT, false, false, 0.0, 0, 0.0, false, 0, false,
                           false, 0, false, false, false, false, PART_COUNT, false};

static char reason[256];

static const char* Fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    return reason;
}

const char* ShowUsage(void)
{
    return "usage: brinelux [options]\n"
           "  (none)               full screen at the display's own mode, the picture between black bars\n"
           "  --window [WxH]       in a window that can be resized (1024x768 by default); F11 switches\n"
           "                       between window and full screen\n"
           "  --display-mode       switch the display to 1024 x 768 for the show, where the system can\n"
           "  --pace song|display  the frame due at the song's position (song, the default), or one\n"
           "                       frame per buffer swap (display)\n"
           "  --smooth             each buffer swap draws the scenes at the song's exact position,\n"
           "                       not the show's 25 pictures a second\n"
           "  --scale S            the scenes drawn at S of the picture's side (above 0, at most 1);\n"
           "                       by default they are drawn smaller only where frames come too slowly\n"
           "  --audio-offset MS    the pictures MS milliseconds later (negative: earlier) than the sound\n"
           "                       system says the sound is heard, -1000 to 1000: for a receiver's or a\n"
           "                       television's own delay\n"
           "  --start T            start T seconds into the song (0 to its end, about 117)\n"
           "  --loop               start over at the song's end, until a quit key or a signal\n"
           "  --display N|list     on monitor N (from 1; the primary by default), or list them\n"
           "  --window-id ID       draw into the existing X window ID (decimal or 0x hexadecimal), as a\n"
           "                       screensaver: looping, silent, no keys read (XSCREENSAVER_WINDOW too)\n"
           "  --root               the same into the screen's root window\n"
           "  --sound              the song sounds in a screensaver too\n"
           "  --benchmark          every frame as fast as the GPU draws it, without the song; prints\n"
           "                       each part's frame times and a score\n"
           "  --part NAME          with --benchmark: time one part (title, thanks, water, spheres)\n"
           "  --help               this list\n"
           "Keys: Escape or Space ends the show; P or K pauses and resumes; Left and Right seek 5 s,\n"
           "J and L 10 s; Home goes back to the start; F11 switches window and full screen.\n";
}

// Digits only, at most 5 of them: no sign, no blanks, no overflow.
static bool ParseSide(const char* text, size_t length, int32_t* value)
{
    if (length == 0 || length > 5)
        return false;
    int32_t v = 0;
    for (size_t i = 0; i < length; i++) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

// "WxH" with both sides from 64 to 16384.
static bool ParseWindowSize(const char* text, int32_t* width, int32_t* height)
{
    const char* x = strchr(text, 'x');
    if (!x || !ParseSide(text, (size_t)(x - text), width) || !ParseSide(x + 1, strlen(x + 1), height))
        return false;
    return *width >= 64 && *width <= 16384 && *height >= 64 && *height <= 16384;
}

// An X window id or an HWND: decimal, or hexadecimal after 0x; never 0.
static bool ParseWindowId(const char* text, uint64_t* id)
{
    bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = hex ? text + 2 : text;
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    size_t n = strlen(digits);
    if (n == 0 || n > (hex ? 16u : 19u) || strspn(digits, allowed) != n)
        return false;
    *id = strtoull(digits, nullptr, hex ? 16 : 10);
    return *id != 0;
}

// Windows runs a screensaver as NAME.scr /s, /p HWND or /c[:HWND] (any
// case, - for /, the HWND also after a colon). 0 when argv[1] is none of
// them, 1 when it is, -1 with the reason in `reason` when it is malformed.
static int ParseSaverArguments(int argc, char** argv, ShowOptions* options)
{
    const char* a = argv[1];
    if ((a[0] != '/' && a[0] != '-') || !strchr("sSpPcC", a[1]) || (a[2] != 0 && a[2] != ':'))
        return 0;
    char mode = (char)(a[1] | 0x20);
    const char* handle = a[2] == ':' ? a + 3 : argc > 2 ? argv[2] : nullptr;
    if (argc > (a[2] == ':' ? 2 : mode == 'p' ? 3 : mode == 'c' ? 3 : 2)) {
        Fail("a screensaver's %s takes nothing more", a);
        return -1;
    }
    if (mode == 'c') {
        options->configure = true;
    } else if (mode == 's') {
        options->saver = true;
    } else {
        if (!handle || !ParseWindowId(handle, &options->windowId)) {
            Fail("a screensaver's /p takes the preview window's handle, not '%s'", handle ? handle : "");
            return -1;
        }
        options->foreign = true;
    }
    options->loop = true;
    return 1;
}

const char* ParseShowOptions(int argc, char** argv, ShowOptions* options, const char* saverWindow)
{
    bool window = false, mode = false;
    if (argc > 1) {
        int saver = ParseSaverArguments(argc, argv, options);
        if (saver != 0)
            return saver < 0 ? reason : nullptr;
    }
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
            options->help = true;
        } else if (strcmp(arg, "--window") == 0) {
            window = true;
            // The size is optional: a following word that is not an option
            // must be one.
            if (next && strncmp(next, "--", 2) != 0) {
                if (!ParseWindowSize(next, &options->windowWidth, &options->windowHeight))
                    return Fail("--window takes a size WxH, each side 64 to 16384, not '%s'", next);
                i++;
            }
        } else if (strcmp(arg, "--smooth") == 0) {
            options->smooth = true;
        } else if (strcmp(arg, "--display-mode") == 0) {
            mode = true;
        } else if (strcmp(arg, "--pace") == 0) {
            if (!next)
                return Fail("--pace needs song or display");
            if (strcmp(next, "display") == 0)
                options->paceDisplay = true;
            else if (strcmp(next, "song") == 0)
                options->paceDisplay = false;
            else
                return Fail("--pace takes song or display, not '%s'", next);
            i++;
        } else if (strcmp(arg, "--scale") == 0) {
            if (!next)
                return Fail("--scale needs a fraction of the picture's side");
            char* end = nullptr;
            double scale = strtod(next, &end);
            // strtod also reads blanks, hexadecimal, inf and nan: digits and a
            // point only.
            if (end == next || *end != 0 || strspn(next, "0123456789.") != strlen(next) ||
                !(scale > 0.0 && scale <= 1.0))
                return Fail("--scale takes a fraction of the picture's side above 0 and at most 1, not '%s'",
                            next);
            options->scale = scale;
            i++;
        } else if (strcmp(arg, "--start") == 0) {
            double t = 0.0;
            if (!next || !ParseSceneTime(next, &t) || t < 0.0 || t >= SongLengthSeconds())
                return Fail("--start takes seconds of song from 0 to below %.2f, not '%s'", SongLengthSeconds(),
                            next ? next : "");
            options->start = t;
            i++;
        } else if (strcmp(arg, "--loop") == 0) {
            options->loop = true;
        } else if (strcmp(arg, "--display") == 0) {
            int32_t n = 0;
            if (next && strcmp(next, "list") == 0)
                options->listDisplays = true;
            else if (next && ParseSide(next, strlen(next), &n) && n >= 1 && n <= 64)
                options->display = n;
            else
                return Fail("--display takes a monitor's number from 1, or list, not '%s'", next ? next : "");
            i++;
        } else if (strcmp(arg, "--window-id") == 0 || strcmp(arg, "-window-id") == 0) {
            if (!next || !ParseWindowId(next, &options->windowId))
                return Fail("--window-id takes a window's id, decimal or 0x hexadecimal, not '%s'", next ? next : "");
            options->foreign = true;
            i++;
        } else if (strcmp(arg, "--root") == 0 || strcmp(arg, "-root") == 0) {
            options->windowId = PLATFORM_ROOT_WINDOW;
            options->foreign = true;
        } else if (strcmp(arg, "--sound") == 0) {
            options->sound = true;
        } else if (strcmp(arg, "--benchmark") == 0) {
            options->benchmark = true;
        } else if (strcmp(arg, "--part") == 0) {
            int32_t part = 0;
            while (part < PART_COUNT && !(next && strcmp(next, showPartNames[part]) == 0))
                part++;
            if (part == PART_COUNT)
                return Fail("--part takes title, thanks, water or spheres, not '%s'", next ? next : "");
            options->benchPart = (ShowPart)part;
            i++;
        } else if (strcmp(arg, "--audio-offset") == 0) {
            if (!next)
                return Fail("--audio-offset needs milliseconds, -%d to %d", AUDIO_OFFSET_LIMIT_MS,
                            AUDIO_OFFSET_LIMIT_MS);
            const char* digits = next[0] == '-' || next[0] == '+' ? next + 1 : next;
            int32_t ms = 0;
            if (!ParseSide(digits, strlen(digits), &ms) || ms > AUDIO_OFFSET_LIMIT_MS)
                return Fail("--audio-offset takes whole milliseconds from -%d to %d, not '%s'", AUDIO_OFFSET_LIMIT_MS,
                            AUDIO_OFFSET_LIMIT_MS, next);
            options->audioOffsetMs = next[0] == '-' ? -ms : ms;
            i++;
        } else {
            return Fail("unknown option '%s' (brinelux --help lists them)", arg);
        }
    }
    // The daemon names its window in the environment; an option given says
    // otherwise.
    // Under the daemon the root is its window (a virtual root), as its
    // hacks have always taken it.
    bool root = options->foreign && options->windowId == PLATFORM_ROOT_WINDOW;
    if (saverWindow && *saverWindow && (!options->foreign || root) && !window && !mode && !options->benchmark) {
        if (!ParseWindowId(saverWindow, &options->windowId))
            return Fail("XSCREENSAVER_WINDOW names no window: '%s'", saverWindow);
        options->foreign = true;
    }
    if (options->benchPart != PART_COUNT && !options->benchmark)
        return Fail("--part goes with --benchmark");
    if (options->foreign && (window || mode || options->benchmark || options->display > 0))
        return Fail("--window-id and --root draw into a window already made: not with --window, --display-mode, "
                    "--display or --benchmark");
    if (options->foreign)
        options->loop = true;
    if (options->benchmark && (options->start > 0.0 || options->loop || options->smooth || options->paceDisplay))
        return Fail("--benchmark runs every frame from the first: not with --start, --loop, --smooth or --pace");
    if (options->smooth && options->paceDisplay)
        return Fail("--smooth and --pace display cannot go together: smooth motion follows the song");
    if (window && mode)
        return Fail("--window and --display-mode cannot go together: a window keeps the desktop's mode");
    options->screen = window ? PLATFORM_SCREEN_WINDOW : mode ? PLATFORM_SCREEN_MODE : PLATFORM_SCREEN_DESKTOP;
    return nullptr;
}
