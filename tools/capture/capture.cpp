// brinelux-capture: the show rendered deterministically with no display, to
// video, PNG frames, a WAV of the song, single stills or a benchmark table.
//
// The show runs through its own start-up, frame loop, timeline, scene pass,
// text and sound stream; only the platform backend differs (no window, a
// virtual clock, a virtual sound device), so what comes out is what the
// show draws and plays, frame for frame and sample for sample.
//
// This file holds main: the command line picks one mode (frames.cpp,
// song.cpp, still.cpp, bench.cpp); run.h declares what they share.
#include <signal.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <thread>

#include "host/pace.h"
#include "platform/offline/offline.h"
#include "platform/posix/descriptors.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/publish.h"
#include "tools/capture/run.h"

int main(int argc, char** argv)
{
    // Before anything is opened: a pipe to the encoder must never become
    // standard output or standard error.
    KeepStandardDescriptorsOpen();
    // A reader that goes away shows up as a failed write, not a death.
    signal(SIGPIPE, SIG_IGN);
    CatchEnds();
    SetInterruptCheck(OfflineInterrupted);
    OfflineSetFrameRule(FramePeriodsBefore);
    const char* error = ParseCaptureOptions(argc, argv, &options);
    if (error) {
        fprintf(stderr, "brinelux-capture: %s\n", error);
        return 2;
    }
    if (options.mode != MODE_HELP)
        std::thread(WatchInterrupts).detach();
    switch (options.mode) {
    case MODE_HELP:
        if (fputs(CaptureUsage(), stdout) < 0 || fflush(stdout) != 0) {
            fprintf(stderr, "brinelux-capture: the option list could not be written to standard output: %s\n",
                    strerror(errno));
            return 1;
        }
        return 0;
    case MODE_FRAMES:
        return CaptureFrames();
    case MODE_WAV:
        return WriteSong();
    case MODE_STILL:
        return WriteStill();
    case MODE_BENCH:
        return Bench();
    default:
        return 2;
    }
}
