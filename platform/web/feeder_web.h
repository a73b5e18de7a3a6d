// What the feeder's worker program needs from its sound ring beyond
// platform.h (feeder_web.cpp).
#pragma once

// Plays the ring on the worker's clock instead of the worklet's reports (a
// page without Web Audio).
void WebFeederSilent(bool noAudio);
// A fresh ring, played from its start by a fresh worklet, for the next sound
// start (a seek).
void WebFeederRestart(void);
// Whether the output has played anything since the previous call (always at
// the first, and for the silent ring).
bool WebFeederOutputMoved(void);
// Stops the silent ring's clock while the page is hidden, and starts it again
// from where it stood.
void WebFeederPause(bool paused);
// Samples the output has played beyond the song's place in it (the ring the
// song plays behind its refills, and what late refills lost), so that the
// song's position is the output's count less it.
double WebFeederSongBehind(void);
