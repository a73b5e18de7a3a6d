// The desktop show's command line.
#pragma once

#include <stdint.h>
#include "platform/platform.h"
#include "state/shared.h"

struct ShowOptions {
    PlatformScreenUse screen;
    // The window's size with --window (the show's own by default).
    int32_t windowWidth;
    int32_t windowHeight;
    // One frame per buffer swap, as the show first ran, instead of the frame
    // due at the song's position.
    bool paceDisplay;
    // Each swap draws the picture at the song's exact position (smooth
    // motion) instead of the show's frame due then.
    bool smooth;
    // The scenes' size as a fraction of the picture's side; 0 leaves it to
    // the frame times.
    double scale;
    // Milliseconds the pictures wait beyond what the sound system reports
    // (a receiver's delay; negative: a television's picture delay).
    int32_t audioOffsetMs;
    // Seconds of song the show starts at.
    double start;
    // At the song's end the show starts over, until a quit key or a signal.
    bool loop;
    // The monitor (from 1; 0: the one the desktop considers primary), and
    // whether to list the monitors instead of showing anything.
    int32_t display;
    bool listDisplays;
    // A screensaver's window to draw into (--window-id, --root,
    // XSCREENSAVER_WINDOW, Windows' /p): no keys read, looping, silent.
    bool foreign;
    uint64_t windowId;
    // Windows' /s: full screen, looping, silent, ended by any input.
    bool saver;
    // The song sounds in a screensaver too (--sound).
    bool sound;
    // Windows' /c: nothing to set, said in a message.
    bool configure;
    // Frames as fast as the GPU draws them, timed, no song; benchPart the
    // one part timed (PART_COUNT: all).
    bool benchmark;
    ShowPart benchPart;
    bool help;
};

extern ShowOptions showOptions;

// The options in argv[1 ..]; null when they are sound, else a one-line
// reason (the options then as far as they were read).
// XSCREENSAVER_WINDOW's value (null where unset) stands for --window-id
// when no other screen was asked for.
const char* ParseShowOptions(int argc, char** argv, ShowOptions* options, const char* saverWindow = nullptr);
const char* ShowUsage(void);

// The bounds of --audio-offset, in milliseconds.
constexpr int32_t AUDIO_OFFSET_LIMIT_MS = 1000;
