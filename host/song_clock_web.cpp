// Without sound (no Web Audio, the feeder's program lost, or an audio
// context still starting) the song is rendered here, unheard, on the page's
// clock: in the refills a silent ring makes, a ring ahead, from where the
// sound left it, so that its end mark ends the show on time. A second's
// song costs milliseconds.
#include "host/song_clock_web.h"

#include "audio/audio.h"
#include "state/held_clock.h"

#include <emscripten/emscripten.h>
#include <stdint.h>

static HeldClock songClock;
static double clockFromSamples;
static int64_t clockRefills;
static int64_t clockSamples;
static const int64_t NO_LIMIT = INT64_MAX;

EM_JS(void, LogSongBlock, (const int16_t* samples, int count), {
    if (Module['soundLog']) Module['soundLog'].push(HEAP16.slice(samples >> 1, (samples >> 1) + count));
});

// Called by the page when the sound is lost after the show's sound started
// (songSamples: where the song was), or when the sound starts without it.
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederLost(double songSamples)
{
    if (HeldClockStarted(&songClock))
        return;
    HeldClockStart(&songClock, emscripten_get_now());
    clockFromSamples = songSamples;
}

// Called by the page when the viewer seeks while the page keeps the song's
// time: the song from its start, rendered here up to `samples` and on.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSongSeek(double samples)
{
    if (!HeldClockStarted(&songClock))
        return;
    ResetSong();
    clockSamples = 0;
    clockRefills = 0;
    clockFromSamples = samples;
    HeldClockStart(&songClock, emscripten_get_now());
}

// Called by the page when the sound joins the song (a late audio context):
// the worklet keeps the song's time from there. A page held stays held.
extern "C" EMSCRIPTEN_KEEPALIVE void WebSongClockStop(void)
{
    bool held = songClock.heldAt >= 0.0;
    SongClockReset();
    HeldClockHold(&songClock, held, emscripten_get_now());
}

// The song's position in seconds while the page keeps its time: the page
// reads it here rather than keep a clock of its own.
extern "C" EMSCRIPTEN_KEEPALIVE double WebPageSongSeconds(void)
{
    return clockFromSamples / SOUND_SAMPLE_RATE + HeldClockMs(&songClock, emscripten_get_now()) / 1000.0;
}

// The song's samples a second, for the page's arithmetic in samples.
extern "C" EMSCRIPTEN_KEEPALIVE int WebSampleRate(void) { return SOUND_SAMPLE_RATE; }

void SongClockPause(bool paused) { HeldClockHold(&songClock, paused, emscripten_get_now()); }

void SongClockReset()
{
    songClock = HeldClock();
    clockSamples = clockRefills = 0;
}

// The sound log goes on from where the sound's ended.
static void LogFromSoundsEnd(int64_t first, const int16_t* block, int32_t count)
{
    if ((double)first >= clockFromSamples)
        LogSongBlock(block, count);
}

void KeepSongTime()
{
    if (!HeldClockStarted(&songClock))
        return;
    double ms = HeldClockMs(&songClock, emscripten_get_now());
    double due = clockFromSamples + ms * SOUND_SAMPLE_RATE / 1000.0 + SOUND_RING_SAMPLES;
    RenderSongRefills(&clockRefills, &clockSamples, due, NO_LIMIT, nullptr, LogFromSoundsEnd);
}
