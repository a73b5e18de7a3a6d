// The song's whole state between two calls of its renderer (each call clears
// the mix buffer itself), for the programs that keep it and go back to it:
// the web's sound worker (kept states to seek from) and the audio bench.
#pragma once

#include <string.h>
#include "audio/audio.h"
#include "state/shared.h"

struct SongState {
    float audioTime;
    float rowLength;
    int32_t rowCount;
    int32_t row;
    int32_t orderPos;
    uint32_t randomSeed;
    uint8_t quit;
    Voice voices[VOICE_COUNT];
};

inline void SaveSong(SongState* s)
{
    s->audioTime = audioTime;
    s->rowLength = rowLength;
    s->rowCount = rowCount;
    s->row = row;
    s->orderPos = orderPos;
    s->randomSeed = randomSeed;
    s->quit = QuitRequested() ? 1 : 0;
    memcpy(s->voices, voices, sizeof voices);
}

inline void LoadSong(const SongState* s)
{
    audioTime = s->audioTime;
    rowLength = s->rowLength;
    rowCount = s->rowCount;
    row = s->row;
    orderPos = s->orderPos;
    randomSeed = s->randomSeed;
    quitRequested.store(s->quit);
    memcpy(voices, s->voices, sizeof voices);
}
