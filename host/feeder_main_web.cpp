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
#include "platform/web/web.h"
#include "state/shared.h"

#include <emscripten/emscripten.h>

// Starts the stream; silent when the page has no Web Audio, the ring then
// playing on the worker's clock.
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederStart(int noAudio)
{
    WebFeederSilent(noAudio != 0);
    // The song where the show's start-up puts it (the noise generator seeded).
    ResetSong();
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
    return QuitRequested() ? 1 : 0;
}

// The page hidden or shown again: the silent ring's clock stops and goes
// on with it (the worklet's stops with its AudioContext).
extern "C" EMSCRIPTEN_KEEPALIVE void WebFeederHold(int paused) { WebFeederPause(paused != 0); }

// How far the output's count of samples played runs ahead of the song.
extern "C" EMSCRIPTEN_KEEPALIVE double WebFeederBehind(void) { return WebFeederSongBehind(); }

int main() { return 0; }
