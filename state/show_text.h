// Text a person gives the show's entries (the capture's command line, the
// page's address) for a still: the part's name and a scene time. Both read
// it by the same rule, so a value one refuses the other refuses too.
#pragma once

#include <stddef.h>
#include "state/shared.h"

// The longest scene time taken, in characters: any double's shortest
// decimal form fits many times over, and the page reads it into a buffer.
enum { SCENE_TIME_MAX_LENGTH = 63 };

// The part named exactly so (title, thanks, water, spheres). False for
// anything else, with *part left alone.
bool FindShowPart(const char* name, ShowPart* part);

// Seconds of scene time: a decimal number from -1e6 to 1e6 of at most
// SCENE_TIME_MAX_LENGTH characters (one too small to represent is 0).
// False when the text is anything else, with *seconds left alone.
bool ParseSceneTime(const char* text, double* seconds);
