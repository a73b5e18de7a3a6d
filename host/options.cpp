#include "host/options.h"
#include "audio/audio.h"
#include "state/shared.h"
#include "state/show_text.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

ShowOptions showOptions = {PLATFORM_SCREEN_DESKTOP, SHOW_WIDTH, SHOW_HEIGHT, false, false, 0.0, 0, 0.0, false, 0, false,
                           false, 0, false, false, true, false};

const char* const SAVER_SETTINGS_TEXT =
    "brinelux has nothing to set: the screensaver shows the demo as it is, looping, without sound.";

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

// A window handle as Windows writes it in a screensaver's arguments: decimal,
// non-zero, within 64 bits.
static bool ParseWindowHandle(const char* text, uint64_t* id)
{
    uint64_t v = 0;
    if (*text == 0)
        return false;
    for (; *text; text++) {
        uint64_t digit = (uint64_t)(*text - '0');
        if (*text < '0' || *text > '9' || v > (UINT64_MAX - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    *id = v;
    return v != 0;
}

// Windows starts a screensaver with /s, /p HWND (or /p:HWND) or /c[:HWND]
// first, in either case and with - for /; nothing may follow.
static const char* ParseSaverArguments(int argc, char** argv, ShowOptions* options)
{
    const char* arg = argv[1];
    char letter = (char)tolower((unsigned char)arg[1]);
    const char* rest = arg + 2;
    int used = 2;
    if (letter == 'c') {
        options->configure = true;
        return nullptr;
    }
    options->loop = true;
    options->sound = false;
    if (letter == 's') {
        options->saver = true;
        if (*rest != 0)
            return Fail("unknown option '%s' (brinelux --help lists them)", arg);
    } else {
        const char* handle = *rest == ':' ? rest + 1 : argc > 2 ? argv[2] : "";
        used = *rest == ':' ? 2 : 3;
        if (*rest != ':' && *rest != 0)
            return Fail("unknown option '%s' (brinelux --help lists them)", arg);
        if (!ParseWindowHandle(handle, &options->windowId))
            return Fail("the screensaver's /p takes the preview window's handle, not '%s'", handle);
        options->foreign = true;
    }
    if (argc > used)
        return Fail("the screensaver's %s takes nothing after it, not '%s'", arg, argv[used]);
    return nullptr;
}

static bool IsSaverArgument(const char* arg)
{
    if ((arg[0] != '/' && arg[0] != '-') || arg[1] == 0 || strchr("sSpPcC", arg[1]) == nullptr)
        return false;
    return arg[2] == 0 || arg[2] == ':';
}

const char* ParseShowOptions(int argc, char** argv, ShowOptions* options)
{
    if (argc > 1 && IsSaverArgument(argv[1]))
        return ParseSaverArguments(argc, argv, options);
    bool window = false, mode = false;
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
    if (options->smooth && options->paceDisplay)
        return Fail("--smooth and --pace display cannot go together: smooth motion follows the song");
    if (window && mode)
        return Fail("--window and --display-mode cannot go together: a window keeps the desktop's mode");
    options->screen = window ? PLATFORM_SCREEN_WINDOW : mode ? PLATFORM_SCREEN_MODE : PLATFORM_SCREEN_DESKTOP;
    return nullptr;
}
