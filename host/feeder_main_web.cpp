// The sound feeder's thread on the web: a second program, the show's own
// sound stream and song, run in the page's AudioWorklet
// (platform/web/worklet.js) on the ring it plays (platform/web/feeder_web.cpp).
//
// The page's main thread cannot be the feeder: a slow frame (software WebGL
// takes a second or more per scene frame) holds it, and a refill can only
// make up one ring, about 93 ms. A worker cannot be either: in some engines
// the messages between a worker and the worklet pass through the main
// thread and stop while it is busy. So the audio thread runs the song: the
// worklet turns the feeder each time its output has played one refill
// period, handing it the samples played at the period's end, so the refills
// are exactly the desktop feeder's (the whole ring, then 1103, 1102 ...
// samples) and the song is the desktop's sample for sample.
#include "audio/audio.h"
#include "audio/song_state.h"
#include "platform/sound_ring.h"
#include "platform/web/feeder_web.h"
#include "state/shared.h"

#include <emscripten/emscripten.h>
#include <algorithm>

// The latest start's catch-up: whole-ring calls, then the rest.
static int32_t catchUpCalls;
static int32_t catchUpRest;
// The refill period the next turn waits for, and the output's count at its
// end.
static int64_t refills;
static int64_t periodEnd;
// The frontier moved on once in each period, in a block without a turn.
static bool aheadDone;

// A seek renders the song from its start in calls of a ring each, so the
// song's state after call j is the same at every seek: it is kept every
// KEPT_CALLS calls (about 6 s of song), and a seek goes on from the latest
// kept state at or before its position. Between the stream's turns the
// worklet renders that sequence a little further (the frontier), so that
// soon after the show starts any seek costs at most KEPT_CALLS calls.
enum { KEPT_CALLS = 64, KEPT_COUNT = 64, AHEAD_CALLS = 2 };
static SongState kept[KEPT_COUNT];
static int32_t keptCount;
static SongState frontier;
static int32_t frontierCalls;
static int16_t block[SOUND_RING_SAMPLES];

// Renders the seek's sequence from call `at` (the song in the state after
// it) up to call `to`, keeping the states at its boundaries on the way.
static void RenderCalls(int32_t at, int32_t to, bool keep)
{
    for (; at < to; at++) {
        RenderAudio(block, SOUND_RING_BYTES);
        if (keep && (at + 1) % KEPT_CALLS == 0 && (at + 1) / KEPT_CALLS == keptCount && keptCount < KEPT_COUNT)
            SaveSong(&kept[keptCount++]);
    }
}

// Between turns: the frontier a few calls further, the live song untouched.
static void RenderAhead(void)
{
    if (keptCount == 0 || frontier.quit || keptCount >= KEPT_COUNT)
        return;
    SongState live;
    SaveSong(&live);
    LoadSong(&frontier);
    RenderCalls(frontierCalls, frontierCalls + AHEAD_CALLS, true);
    frontierCalls += AHEAD_CALLS;
    SaveSong(&frontier);
    LoadSong(&live);
}

// Starts the stream at sample `from` of the song (0, or where the viewer
// seeked): the song as its start put it, rendered up to there unheard in
// calls of a ring each (the most a refill asks for) and the rest, then the
// ring started afresh from there.
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederStart(double from)
{
    // The song where the show's start-up puts it (the noise generator seeded).
    ResetSong();
    if (keptCount == 0) {
        SaveSong(&kept[0]);
        frontier = kept[0];
        keptCount = 1;
    }
    int32_t calls = (int32_t)(from / SOUND_RING_SAMPLES);
    int32_t rest = (int32_t)(from - (double)calls * SOUND_RING_SAMPLES);
    if (calls >= frontierCalls) {
        LoadSong(&frontier);
        RenderCalls(frontierCalls, calls, true);
        frontierCalls = calls;
        SaveSong(&frontier);
    } else {
        int32_t j = std::min(calls / KEPT_CALLS, keptCount - 1);
        LoadSong(&kept[j]);
        RenderCalls(j * KEPT_CALLS, calls, false);
    }
    catchUpCalls = calls;
    catchUpRest = rest;
    if (rest > 0)
        RenderAudio(block, rest * SOUND_BYTES_PER_SAMPLE);
    WebFeederRestart();
    refills = 0;
    periodEnd = 0;
    aheadDone = false;
    StartAudio(nullptr, RenderAudio);
}

extern "C" EMSCRIPTEN_KEEPALIVE int WebFeederCatchUpCalls(void) { return catchUpCalls; }
extern "C" EMSCRIPTEN_KEEPALIVE int WebFeederCatchUpRest(void) { return catchUpRest; }

// Called by the worklet before each block it plays, with the output's count
// of ring samples played so far: at the end of each refill period the
// feeder's turn, handed the count at that period's end (the desktop's
// schedule), and between turns the seeks' frontier a little further. 1 when
// this call refilled the ring, 2 once the song has reached its end mark (the
// turns then end), else 0.
extern "C" EMSCRIPTEN_KEEPALIVE int WebFeederProcess(double played)
{
    if (QuitRequested())
        return 2;
    if ((int64_t)played < periodEnd) {
        if (!aheadDone)
            RenderAhead();
        aheadDone = true;
        return 0;
    }
    int64_t before = WebFeederRefilled();
    WebFeederSetPlayed(periodEnd);
    FillSoundBuffer();
    periodEnd += SoundRefillSamples(++refills);
    aheadDone = false;
    if (QuitRequested())
        return 2;
    return WebFeederRefilled() != before ? 1 : 0;
}

// How far the output's count of samples played runs ahead of the song.
extern "C" EMSCRIPTEN_KEEPALIVE double WebFeederBehind(void) { return WebFeederSongBehind(); }

// Samples refilled since the stream started.
extern "C" EMSCRIPTEN_KEEPALIVE double WebFeederSong(void) { return (double)WebFeederRefilled(); }

extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* WebFeederRing(void) { return WebFeederRingSamples(); }
extern "C" EMSCRIPTEN_KEEPALIVE int WebFeederRingSize(void) { return WebFeederRingLength(); }
extern "C" EMSCRIPTEN_KEEPALIVE const int32_t* WebFeederRefill(void) { return WebFeederLastRefill(); }
