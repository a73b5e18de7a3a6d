// What the feeder's program in the page's AudioWorklet needs from its sound
// ring beyond platform.h (feeder_web.cpp).
#pragma once

#include <stdint.h>

// A fresh ring, played from its start, for the next sound start (a seek).
void WebFeederRestart(void);
// The output's count of ring samples played since the stream started, as
// the worklet gives it before each turn.
void WebFeederSetPlayed(int64_t samples);
// Samples the output has played beyond the song's place in it (what late
// refills lost), so that the song's position is the output's count less it.
double WebFeederSongBehind(void);
// Samples refilled since the stream started.
int64_t WebFeederRefilled(void);
// The ring the worklet plays, its size in samples, and the regions the last
// turn refilled: {count, offset, samples, offset, samples} in samples.
const int16_t* WebFeederRingSamples(void);
int32_t WebFeederRingLength(void);
const int32_t* WebFeederLastRefill(void);
