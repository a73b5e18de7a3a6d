// Without the feeder's worker (it did not load, or died) the song is
// rendered here, unheard, on the page's clock: in the refills the worker's
// silent ring makes, a ring ahead, from where the worker left it, so that
// its end mark ends the show on time. A second's song costs milliseconds.
#include "host/song_clock_web.h"

#include "audio/audio.h"

#include <emscripten/emscripten.h>
#include <stdint.h>

static double clockStartMs = -1.0;
static double clockPausedAt = -1.0;
static double clockFromSamples;
static int64_t clockRefills;
static int64_t clockSamples;
static const int64_t NO_LIMIT = INT64_MAX;

EM_JS(void, LogSongBlock, (const int16_t* samples, int count), {
    if (Module['soundLog']) Module['soundLog'].push(HEAP16.slice(samples >> 1, (samples >> 1) + count));
});

// Called by the page when the worker is lost after the show's sound started
// (songSamples: how far it had rendered the song), or when the sound starts
// without one (0).
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederLost(double songSamples)
{
    if (clockStartMs >= 0.0)
        return;
    clockStartMs = emscripten_get_now();
    clockFromSamples = songSamples;
}

// Called by the page when the viewer seeks while the page keeps the song's
// time: the song from its start, rendered here up to `samples` and on.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSongSeek(double samples)
{
    if (clockStartMs < 0.0)
        return;
    ResetSong();
    clockSamples = 0;
    clockRefills = 0;
    clockFromSamples = samples;
    clockStartMs = emscripten_get_now();
    if (clockPausedAt >= 0.0)
        clockPausedAt = clockStartMs;
}

void SongClockPause(bool paused)
{
    double now = emscripten_get_now();
    if (paused && clockPausedAt < 0.0) {
        clockPausedAt = now;
    } else if (!paused && clockPausedAt >= 0.0) {
        if (clockStartMs >= 0.0)
            clockStartMs += now - clockPausedAt;
        clockPausedAt = -1.0;
    }
}

void SongClockReset()
{
    clockStartMs = clockPausedAt = -1.0;
    clockSamples = clockRefills = 0;
}

// The sound log goes on from where the worker's ended.
static void LogFromWorkersEnd(int64_t first, const int16_t* block, int32_t count)
{
    if ((double)first >= clockFromSamples)
        LogSongBlock(block, count);
}

void KeepSongTime()
{
    if (clockStartMs < 0.0)
        return;
    double now = clockPausedAt >= 0.0 ? clockPausedAt : emscripten_get_now();
    double due = clockFromSamples + (now - clockStartMs) * SOUND_SAMPLE_RATE / 1000.0 + SOUND_RING_SAMPLES;
    RenderSongRefills(&clockRefills, &clockSamples, due, NO_LIMIT, nullptr, LogFromWorkersEnd);
}
