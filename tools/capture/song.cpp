// The song alone as a WAV file (--wav): in the live feeder's refills, in
// blocks of one size, or in a logged schedule of calls.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "platform/offline/offline.h"
#include "state/shared.h"
#include "tools/capture/encode.h"
#include "tools/capture/publish.h"
#include "tools/capture/run.h"

static std::vector<int16_t> sound;

// The song's end mark comes near 117 s; forty minutes of samples means it
// never will.
static const int64_t MAX_SONG_SAMPLES = 40LL * 60 * 44100;
static int32_t renderCalls;

static void RecordingRender(int16_t* out, int32_t byteCount)
{
    RenderAudio(out, byteCount);
    sound.insert(sound.end(), out, out + byteCount / 2);
    renderCalls++;
}

// A schedule of renderer calls, one sample count per call, as a web page
// logs what its feeder asked for: whitespace-separated decimal counts, each
// a ring region at most. False with the reason when the file is not one.
static bool ReadSchedule(const char* path, std::vector<int32_t>* calls, std::string* why)
{
    FILE* file = fopen(path, "rb");
    if (!file) {
        *why = std::string("cannot read ") + path + ": " + strerror(errno);
        return false;
    }
    std::string token;
    bool ok = true;
    for (int c = fgetc(file);; c = fgetc(file)) {
        if (c != EOF && c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            token += (char)c;
            if (token.size() > 12)
                ok = false;
            continue;
        }
        if (!token.empty()) {
            char* end = nullptr;
            long n = strtol(token.c_str(), &end, 10);
            if (!ok || token[0] < '0' || token[0] > '9' || *end != 0 || n < 1 || n > SOUND_RING_SAMPLES) {
                *why = std::string(path) + ": call " + std::to_string(calls->size() + 1) + " ('" +
                       token.substr(0, 12) + "') is not a sample count from 1 to " +
                       std::to_string(SOUND_RING_SAMPLES);
                fclose(file);
                return false;
            }
            calls->push_back((int32_t)n);
            token.clear();
        }
        if (c == EOF)
            break;
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed || calls->empty()) {
        *why = std::string(path) + (failed ? ": read error" : ": lists no calls");
        return false;
    }
    return true;
}

int WriteSong()
{
    OutputFile wav;
    std::string why;
    std::vector<int32_t> schedule;
    if (options.audioSchedule && !ReadSchedule(options.audioSchedule, &schedule, &why))
        return Refuse(why);
    if (!PrepareOutput(options.wav, true, &wav, &why))
        return Refuse(why);
    if (wav.fd == 1)
        report = stderr;
    sound.reserve(44100 * 125);
    // The song alone starts where the show's start-up puts it.
    ResetSong();
    static int16_t block[SOUND_RING_SAMPLES];
    if (options.audioBlock > 0) {
        while (!QuitRequested() && !OfflineInterrupted() && (int64_t)sound.size() < MAX_SONG_SAMPLES)
            RecordingRender(block, options.audioBlock * 2);
    } else if (!schedule.empty()) {
        // The feeder stops calling once the end mark is reached; so does this.
        for (size_t i = 0; i < schedule.size() && !QuitRequested() && !OfflineInterrupted(); i++)
            RecordingRender(block, schedule[i] * 2);
    } else {
        // The live feeder's schedule: the show's own stream, refilled every
        // 25 ms of virtual time from a virtual device.
        StartAudio(nullptr, RecordingRender);
        OfflineRunSoundToEnd(MAX_REFILLS);
    }
    if (OfflineInterrupted())
        return Interrupted();
    // A schedule may stop short of the end: its WAV is the song so far.
    if (!QuitRequested() && schedule.empty()) {
        Cleanup();
        Say("the song never reached its end mark");
        return 1;
    }
    std::vector<uint8_t> bytes;
    if (!EncodeWav(sound.data(), sound.size(), &bytes) || !WriteOutput(&wav, bytes, &why) ||
        !PublishOutput(&wav, &why)) {
        if (OfflineInterrupted())
            return Interrupted();
        Cleanup();
        Say(why.empty() ? "the song is too long for a WAV file" : why);
        return 1;
    }
    fprintf(report, "wrote %s: %zu samples (%.3f s) in %d calls of the song's renderer, song clock %.4f s%s\n",
            options.wav, sound.size(), sound.size() / 44100.0, renderCalls, (double)audioTime,
            QuitRequested() ? "" : " (the schedule ends before the song's end mark)");
    return 0;
}
