// The desktop show's command line.
#pragma once

#include <stdint.h>
#include "platform/platform.h"

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
    bool help;
    // A Windows screensaver's arguments: /p HWND draws into that window
    // (foreign), /s is the saver itself (ends on input), /c asks for its
    // settings (configure); neither plays sound.
    uint64_t windowId;
    bool foreign;
    bool saver;
    bool sound;
    bool configure;
};

extern ShowOptions showOptions;

// The options in argv[1 ..]; null when they are sound, else a one-line
// reason (the options then as far as they were read).
const char* ParseShowOptions(int argc, char** argv, ShowOptions* options);
const char* ShowUsage(void);
// What a screensaver's /c shows: there is nothing to set.
extern const char* const SAVER_SETTINGS_TEXT;

// The bounds of --audio-offset, in milliseconds.
constexpr int32_t AUDIO_OFFSET_LIMIT_MS = 1000;
