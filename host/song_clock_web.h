// The page's own clock for the song, kept while the song has no sound (none
// to be had, or an audio context still starting): the song rendered unheard
// on the page's time.
#pragma once

// Renders the song a ring ahead of the page's clock, once the page keeps it.
void KeepSongTime();
// Holds the page's clock while the page is hidden, and lets it go on.
void SongClockPause(bool paused);
// Back to no clock, for watching the show again.
void SongClockReset();
