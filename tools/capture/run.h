// What the modes of brinelux-capture share: the options, the frame size,
// the one-line messages and the ways a run ends (ends.cpp, interrupts.cpp),
// the progress line (progress.cpp).
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <chrono>
#include <string>

#include "tools/capture/capture_options.h"

// The song ends near 117 s; anything far beyond means it never will.
static const int64_t MAX_REFILLS = 40 * 60 * 10;
// What a run says when the system would not start the sound's thread.
static const char FEEDER_REFUSED[] = "out of memory: the sound feeder's thread could not be started";

extern CaptureOptions options;
// Summary lines go to standard output unless an output is written there.
extern FILE* report;
// --png-dir when this run made it: removed again if it stays empty.
extern bool madePngDir;

typedef std::chrono::steady_clock Clock;

inline double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Takes away everything unfinished: the encoder, the temporaries, a frame
// directory this run made and left empty.
void Cleanup();
// The exit status of a run ended by a signal.
int InterruptStatus();
// One line on standard error, after a progress line still open on a
// terminal.
void Say(const std::string& line);
// Cleans up and says why: status 2, for a command line that cannot be run.
int Refuse(const std::string& why);
// Cleans up after an interrupt and says so: the interrupt's status.
int Interrupted();
// Ends the run at once from any depth: status 1, or the interrupt's when
// one is the cause.
[[noreturn]] void Abort(const std::string& why);
[[noreturn]] void End(const char* why);
// From here on every signal that would end the process (but KILL and STOP,
// and the faults of a crash) ends the run as an interrupt does, a write
// past the file-size limit is a failed write, and an exception nobody
// catches (out of memory) a failure: each cleans up and says one line.
void CatchEnds();
// Watches for an interrupt on a thread of its own and ends a run that does
// not end by itself soon after it.
void WatchInterrupts();
// The show's OpenGL context, made before its start-up: 0, or 1 once the
// reason is said.
int OpenContext();

// A progress line is open on the terminal: the next line starts below it.
extern bool progressPending;
// The progress of a capture of frames, from now on.
void StartProgress();
// drawn: the pictures drawn for those frames, when not every frame is;
// secondsLeft: the work still ahead at the costs measured so far (a negative
// value: from the pace of the frames written lately).
void Progress(int32_t done, int32_t total, int32_t drawn = -1, double secondsLeft = -1.0);

// The frame in which the song's end mark is reached at the offline
// backend's frame rate (-1 when it is not found), learnt on the virtual
// clock with the song and clock put back to their start afterwards.
int64_t LastFrameOfShow();

// The modes, one file each; each returns the exit status.
int CaptureFrames();
int WriteSong();
int WriteStill();
int Bench();
