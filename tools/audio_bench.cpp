// How fast the song renders: the whole song in the live feeder's rhythm as a
// multiple of real time, the costliest full-ring call anywhere in the song
// against the feeder's 25 ms period, and a call with the whole voice pool
// sounding.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include "audio/audio.h"
#include "audio/song_state.h"
#include "platform/sound_ring.h"
#include "state/shared.h"

namespace {

int16_t out[SOUND_RING_SAMPLES];

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void WholeSongInFeederRhythm(benchmark::State& state)
{
    double songSeconds = 0.0, wallSeconds = 0.0;
    for (auto _ : state) {
        ResetSong();
        int64_t samples = 0, refills = 0;
        auto t0 = std::chrono::steady_clock::now();
        RenderSongRefills(&refills, &samples, INFINITY, INT64_MAX, nullptr, nullptr);
        wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        songSeconds += (double)samples / SOUND_SAMPLE_RATE;
        benchmark::ClobberMemory();
    }
    // Seconds of song per second of wall time.
    state.counters["x_realtime"] = songSeconds / wallSeconds;
    state.counters["song_s"] = songSeconds / (double)state.iterations();
}

// At every feeder call of the song, a full-ring call is tried from that
// point and undone. Each point keeps the fastest of three tries, since noise
// only ever adds time; the costliest point is the largest of those.
void CostliestFullRingCall(benchmark::State& state)
{
    double worst = 0.0, worstSong = 0.0;
    int worstVoices = 0;
    for (auto _ : state) {
        ResetSong();
        SongState here;
        worst = 0.0;
        for (int call = 0; !QuitRequested(); call++) {
            SaveSong(&here);
            double best = 1e9;
            int sounding = 0;
            for (int attempt = 0; attempt < 3; attempt++) {
                LoadSong(&here);
                auto t0 = std::chrono::steady_clock::now();
                RenderAudio(out, SOUND_RING_BYTES);
                best = std::min(best, Milliseconds(std::chrono::steady_clock::now() - t0));
            }
            // Voices that rendered in the last try.
            for (int j = 0; j < VOICE_COUNT; j++)
                sounding += voices[j].samplePos != here.voices[j].samplePos ? 1 : 0;
            if (best > worst) {
                worst = best;
                worstSong = here.audioTime;
                worstVoices = sounding;
            }
            LoadSong(&here);
            RenderAudio(out, SoundRefillSamples(call) * 2);
        }
    }
    state.counters["costliest_ms"] = worst;
    state.counters["at_song_s"] = worstSong;
    state.counters["voices_there"] = worstVoices;
    state.counters["budget_ms"] = 25.0;
}

// The design's limit: all 32 voices sounding through one full-ring call.
void FullPoolFullRingCall(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        ResetSong();
        audioTime = 1.0f; // no row starts: the pool stays as set
        rowCount = 100;
        for (int j = 0; j < VOICE_COUNT; j++) {
            voices[j].active = 1;
            voices[j].instrument = &instruments[j % 2 ? 1 : 3];
            voices[j].freq = NoteToFrequency((uint8_t)(30 + j));
            voices[j].gain = 0.05f;
            voices[j].samplePos = 0;
        }
        state.ResumeTiming();
        RenderAudio(out, SOUND_RING_BYTES);
        benchmark::ClobberMemory();
    }
    state.counters["budget_ms"] = 25.0;
}

} // namespace

BENCHMARK(WholeSongInFeederRhythm)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(CostliestFullRingCall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(FullPoolFullRingCall)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
