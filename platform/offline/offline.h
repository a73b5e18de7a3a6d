// Settings and hooks of the offline backend: the show drawn into a
// framebuffer with no window, on a virtual clock instead of the display's
// and the sound device's.
//
// Frame k (from 1) starts at (k - 1) / fps seconds. The sound ring is a
// virtual device whose play position follows the same clock (sample n is
// played at n / 44100 s), and the feeder thread's sleep waits on that clock
// while the frame's swap advances it, so frames and refills always
// interleave in the same order whatever the machine's speed.
#pragma once

#include <stdint.h>

// Receives each captured frame, rows top first, width x height RGB bytes.
typedef void (*OfflineFrameSink)(int32_t frame, const uint8_t* rgb, int width, int height);
// Receives the samples the ring plays, in order; firstSample is the index of
// samples[0] counted from the start of frame 1.
typedef void (*OfflineSoundSink)(int64_t firstSample, const int16_t* samples, int32_t count);

// The show's frame rule, from its host: the frame periods gone before frame
// k (from 1) starts. Set before the window is made or any frame is asked
// about.
void OfflineSetFrameRule(int64_t (*periodsBefore)(int64_t frame));
// Frames per second as num / den (both > 0); 25 / 1 unless set.
void OfflineSetFrameRate(int64_t num, int64_t den);
// Frames first..last are handed to the frame sink; frames before first are
// drawn with no fragment work; after last the show is asked to end.
// last 0: to the end of the show.
void OfflineSetFrameRange(int32_t first, int32_t last);
void OfflineSetSinks(OfflineFrameSink frames, OfflineSoundSink sound);
// While set, a swap reads nothing back and hands the frame sink null rows:
// for a frame the caller did not draw because it holds its picture already.
// The clock moves as for any other frame.
void OfflineSkipReadBack(bool skip);

// Samples played before the start of frame k: round-half-up of
// (k - 1) / fps x 44100.
int64_t OfflineSamplesBeforeFrame(int64_t frame);
// Index (from 1) of the frame whose span holds the time of refill j
// (j x SOUND_REFILL_MS), by the host's frame rule: the frame that is drawn
// last when refill j raises the end mark.
int64_t OfflineFrameOfRefill(int64_t refill);

// Sound alone, with no frames and no GL: advances the virtual clock from one
// refill to the next until the feeder thread has left its loop (the turn
// after the song's end mark), made maxRefills refills, or an interrupt came.
// Returns the number of refills it made.
int64_t OfflineRunSoundToEnd(int64_t maxRefills);
// Puts the virtual clock, the sound device and the frame count back to
// their start once a feeder has left its loop (after OfflineRunSoundToEnd
// reached the song's end), so the show can run again from its start. False
// while a feeder still runs.
bool OfflineRewind(void);
// From here on SIGINT, SIGTERM and SIGHUP ask the show to end instead of
// killing the process (start-up does this too).
void OfflineCatchInterrupts(void);
// True once one of those signals asked the show to end early.
bool OfflineInterrupted(void);
// The last such signal's number; 0 when none came.
int OfflineInterruptSignal(void);
// Frames swapped so far.
int32_t OfflineFramesDone(void);
// True once the system refused to start a feeder thread.
bool OfflineFeederRefused(void);
