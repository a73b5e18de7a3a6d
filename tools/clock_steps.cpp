// How smoothly the song's clock moves as a display reads it: the show's
// sound started on the real output (the sound server, or SDL's audio), the
// clock looked at every half millisecond for a while, then read back as 60
// and 144 Hz displays would read it, once at each refresh. Each refresh's
// step against the time that passed between the two looks (so that the
// looks' own lateness on a busy machine does not count) is printed for the
// clock the pictures follow, and for the position taken in whole device
// takes beside it.
//   clock_steps [SECONDS]
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <vector>

#include "audio/audio.h"
#include "platform/platform.h"
#include "state/shared.h"

static double Now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

struct Look {
    double at;
    double smooth;   // what the pictures follow
    double taken;    // seconds taken by the device, in whole takes
    double latency;  // ms
};

static void Report(const std::vector<Look>& looks, double hz, bool smooth)
{
    double period = 1.0 / hz, start = looks.front().at + 2.0;
    std::vector<double> steps;
    size_t i = 0;
    double previous = -1e10;
    for (double t = start; t < looks.back().at; t += period) {
        while (i + 1 < looks.size() && looks[i + 1].at <= t)
            i++;
        // The clock against the wall clock: a steady clock keeps this still.
        double v = (smooth ? looks[i].smooth : looks[i].taken) - looks[i].at;
        if (previous > -1e9)
            steps.push_back((v - previous) * 1000.0 + period * 1000.0);
        previous = v;
    }
    double sum = 0.0, squares = 0.0, worst = 0.0;
    int off1 = 0, off3 = 0;
    for (double s : steps) {
        double d = s - period * 1000.0;
        sum += d;
        squares += d * d;
        worst = fabs(d) > worst ? fabs(d) : worst;
        off1 += fabs(d) > 1.0;
        off3 += fabs(d) > 3.0;
    }
    size_t n = steps.size();
    printf("%6.0f Hz %-18s steps %5zu  ideal %6.2f ms  rms error %6.2f ms  worst %6.2f ms  off by >1 ms %5.1f%%  "
           ">3 ms %5.1f%%\n",
           hz, smooth ? "smooth clock" : "whole takes", n, period * 1000.0, sqrt(squares / (double)n), worst,
           100.0 * off1 / (double)n, 100.0 * off3 / (double)n);
    (void)sum;
}

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? atof(argv[1]) : 10.0;
    outputStandIn = true;
    StartAudio(nullptr, RenderAudio);
    std::vector<Look> looks;
    looks.reserve((size_t)(seconds * 2000.0) + 16);
    double end = Now() + seconds;
    uint64_t lastCount = 0;
    int64_t taken = 0;
    uint32_t lastPos = 0;
    double latencySum = 0.0;
    int latencyReads = 0;
    while (Now() < end) {
        PlatformSoundTake take;
        PlatformSoundState state = PlatformSoundClock(&take);
        Look look;
        look.at = Now();
        look.smooth = SongPlaySeconds();
        if (state == PLATFORM_SOUND_PLAYING && take.count != lastCount) {
            taken += (take.position + SOUND_RING_BYTES - lastPos) % SOUND_RING_BYTES;
            lastPos = take.position;
            lastCount = take.count;
        }
        look.taken = (double)(taken / 2) / SOUND_SAMPLE_RATE;
        look.latency = SongOutputLatencyMs();
        if (look.latency > 0.0) {
            latencySum += look.latency;
            latencyReads++;
        }
        looks.push_back(look);
        struct timespec half = {0, 500000};
        nanosleep(&half, nullptr);
    }
    printf("latency taken off: %.1f ms on average (%d reads)\n", latencyReads ? latencySum / latencyReads : 0.0,
           latencyReads);
    for (double hz : {60.0, 144.0})
        for (bool smooth : {false, true})
            Report(looks, hz, smooth);
    PlatformExit(0);
}
