// The page's own clock for the song, kept where the feeder's worker is lost
// (or never ran): the song rendered unheard on the page's time.
#pragma once

// Renders the song a ring ahead of the page's clock, once the page keeps it.
void KeepSongTime();
// Holds the page's clock while the page is hidden, and lets it go on.
void SongClockPause(bool paused);
// Back to no clock, for watching the show again.
void SongClockReset();
