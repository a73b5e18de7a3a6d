// A jump of the song to any sample: rendered unheard from its start in calls
// of a ring each, so the song's state after call j is the same at every
// jump; it is kept every KEPT_CALLS calls (about 6 s of song), and a jump
// goes on from the latest kept state at or before its sample. The first
// jump far into the song pays for the ones after it.
#include "audio/audio.h"
#include "audio/song_state.h"
#include "state/shared.h"

enum { KEPT_CALLS = 64, KEPT_COUNT = 64 };
static SongState kept[KEPT_COUNT];
static int32_t keptCount;
static int16_t block[SOUND_RING_SAMPLES];

bool songLoops;

void SongJumpTo(int64_t sample)
{
    // A quit already raised (an OpenGL error) stays raised.
    bool quit = QuitRequested();
    if (keptCount == 0) {
        ResetSong();
        SaveSong(&kept[0]);
        keptCount = 1;
    }
    if (sample < 0)
        sample = 0;
    int64_t calls = sample / SOUND_RING_SAMPLES;
    int32_t rest = (int32_t)(sample - calls * SOUND_RING_SAMPLES);
    int64_t at = calls / KEPT_CALLS < keptCount ? calls / KEPT_CALLS : keptCount - 1;
    LoadSong(&kept[at]);
    for (at *= KEPT_CALLS; at < calls; at++) {
        RenderAudio(block, SOUND_RING_BYTES);
        if ((at + 1) % KEPT_CALLS == 0 && (at + 1) / KEPT_CALLS == keptCount && keptCount < KEPT_COUNT)
            SaveSong(&kept[keptCount++]);
    }
    if (rest > 0)
        RenderAudio(block, rest * SOUND_BYTES_PER_SAMPLE);
    if (quit)
        RequestQuit();
}
