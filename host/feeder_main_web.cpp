// The sound feeder's thread on the web: a second program, the show's own
// sound stream and song, run in a Web Worker (platform/web/feeder.js) on the
// worker's sound ring (platform/web/feeder_web.cpp).
//
// The page's thread cannot be the feeder: a slow frame (software WebGL takes
// a second or more per scene frame) holds it, and a refill can only make up
// one ring, about 93 ms, so the song would fall behind and break up. A page
// without cross-origin isolation cannot share memory between threads, so
// the worker runs its own instance of the audio code, as the desktop's
// feeder thread runs the same code beside the frame loop: it reads the play
// position the AudioWorklet reports, refills the ring with exactly the bytes
// played since its last turn, and posts them to the worklet. The song's end
// is posted to the page, whose frame loop then ends the show.
#include "audio/audio.h"
#include "audio/song_state.h"
#include "platform/web/feeder_web.h"
#include "state/shared.h"

#include <emscripten/emscripten.h>
#include <algorithm>

EM_JS(void, LogCatchUpCall, (int samples), {
    Module['catchUpCalls'].push(samples);
});

// A seek renders the song from its start in calls of a ring each, so the
// song's state after call j is the same at every seek: it is kept every
// KEPT_CALLS calls (about 6 s of song), and a seek goes on from the latest
// kept state at or before its position. Between the stream's turns the
// worker renders that sequence a little further (the frontier), so that
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
// ring started afresh from there. Silent when the page has no Web Audio,
// the ring then playing on the worker's clock.
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederStart(double from, int noAudio)
{
    WebFeederSilent(noAudio != 0);
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
    for (int32_t i = 0; i < calls; i++)
        LogCatchUpCall(SOUND_RING_SAMPLES);
    if (rest > 0) {
        RenderAudio(block, rest * SOUND_BYTES_PER_SAMPLE);
        LogCatchUpCall(rest);
    }
    WebFeederRestart();
    StartAudio(nullptr, RenderAudio);
}

// One turn of the feeder's loop; true once the song has reached its end
// mark (the loop then ends). The worklet counts every sample it plays, so a
// turn that sees no new count knows nothing was played (a suspended
// AudioContext) and leaves the stream alone: the stream itself would read a
// turn late by a ring's time (a busy machine's timer) as a whole ring taken.
extern "C" EMSCRIPTEN_KEEPALIVE int WebFeederTurn(void)
{
    if (QuitRequested())
        return 1;
    if (WebFeederOutputMoved())
        FillSoundBuffer();
    int end = QuitRequested() ? 1 : 0;
    RenderAhead();
    return end;
}

// The page hidden or shown again: the silent ring's clock stops and goes
// on with it (the worklet's stops with its AudioContext).
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederHold(int paused) { WebFeederPause(paused != 0); }

// How far the output's count of samples played runs ahead of the song.
extern "C" EMSCRIPTEN_KEEPALIVE double WebFeederBehind(void) { return WebFeederSongBehind(); }

int main() { return 0; }
