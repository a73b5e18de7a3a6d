// What the web entry needs from the web backend beyond platform.h.
#pragma once

// Drops key presses seen before the show started listening.
void WebForgetKeys(void);
// Stops the sound at the end of the show.
void WebSoundStop(void);
