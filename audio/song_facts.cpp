// Facts of the song every front end and tool needs the same way: its length,
// and the song rendered on in the live feeder's refills.
#include "audio/audio.h"
#include "state/shared.h"

double SongLengthSeconds(void)
{
    int32_t steps = 0;
    while (steps < ORDER_LENGTH && orderList[steps] != END_MARK)
        steps++;
    return (double)(steps * 16 + 1) * (double)rowLength;
}

int64_t RenderSongRefills(int64_t* refills, int64_t* samples, double upTo, int64_t maxRefills, bool (*stop)(void),
                          SongBlockSink sink)
{
    // A ring is the most a refill asks for.
    static int16_t block[SOUND_RING_SAMPLES];
    int64_t made = 0;
    while (!QuitRequested() && (double)*samples < upTo && *refills < maxRefills && !(stop && stop())) {
        int32_t n = SoundRefillSamples((*refills)++);
        RenderAudio(block, n * SOUND_BYTES_PER_SAMPLE);
        if (sink)
            sink(*samples, block, n);
        *samples += n;
        made++;
    }
    return made;
}
