// What the web entry needs from the web backend beyond platform.h.
#pragma once

// Drops key presses seen before the show started listening.
void WebForgetKeys(void);
// True once the show asked for its feeder (PlatformStartThread): the page's
// 25 ms timer then runs the refills.
bool WebFeederWanted(void);
// Stops the sound at the end of the show.
void WebSoundStop(void);
