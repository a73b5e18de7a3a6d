// The desktop show: its window as the command line asks, and the frame loop
// that shows the frame due at the song's play position.
#pragma once

#include "platform/platform.h"

// Start-up with the window showOptions asks for.
PlatformWindow* StartDesktop();
// Runs the show until it must end: the frame due at the song's position
// (frames behind run unseen, none ahead, a wait where the next is not yet
// due), or with --pace display one frame per buffer swap. F11 switches
// between window and full screen.
void DesktopLoop(PlatformWindow* window);
