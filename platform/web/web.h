// What the web entries need from the web backend beyond platform.h.
#pragma once

// Drops key presses seen before the show started listening.
void WebForgetKeys(void);
// Stops the sound at the end of the show.
void WebSoundStop(void);
// The feeder's worker: plays its ring on the worker's clock instead of the
// worklet's reports (a page without Web Audio).
void WebFeederSilent(bool noAudio);
// The feeder's worker: whether the output has played anything since the
// previous call (always at the first, and for the silent ring).
bool WebFeederOutputMoved(void);
