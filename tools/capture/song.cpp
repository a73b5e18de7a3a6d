// The song alone as a WAV file (--wav): in the live feeder's refills, in
// blocks of one size, or in a logged schedule of calls.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
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
static const int64_t MAX_SONG_SAMPLES = 40LL * 60 * SOUND_SAMPLE_RATE;
static int32_t renderCalls;

static void RecordingRender(int16_t* out, int32_t byteCount)
{
    RenderAudio(out, byteCount);
    sound.insert(sound.end(), out, out + byteCount / 2);
    renderCalls++;
}

// A schedule of the whole song in calls of one sample, one to a line with
// CR LF, is about 16 MB; a file beyond this is no schedule, whatever it is
// (a device that never ends, a wrong file).
static const int64_t MAX_SCHEDULE_BYTES = 32LL * 1024 * 1024;
// The longest count ("4096") with room for leading zeros.
static const size_t MAX_TOKEN = 12;

// A token as it can be shown in one line: other bytes as '?'.
static std::string Shown(const std::string& token)
{
    std::string shown;
    for (char c : token)
        shown += c > ' ' && c < 127 ? c : '?';
    return shown;
}

// A schedule of renderer calls, one sample count per call, as a web page
// logs what its feeder asked for: whitespace-separated decimal counts, each
// a ring region at most. False with the reason when the file is not one;
// a bad token or too large a file ends the reading at once.
static bool ReadSchedule(const char* path, std::vector<int32_t>* calls, std::string* why)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = std::string("cannot read ") + path + ": " + strerror(errno);
        return false;
    }
    std::string token;
    int64_t total = 0;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR && !OfflineInterrupted())
            continue;
        if (got < 0) {
            *why = std::string("cannot read ") + path + ": " + strerror(errno);
            close(fd);
            return false;
        }
        total += got;
        if (total > MAX_SCHEDULE_BYTES) {
            *why = std::string(path) + " is larger than " + std::to_string(MAX_SCHEDULE_BYTES >> 20) +
                   " MiB: not a schedule of calls";
            close(fd);
            return false;
        }
        // The end of the file ends its last token, as a blank would.
        size_t count = got > 0 ? (size_t)got : 1;
        if (got == 0)
            buffer[0] = ' ';
        for (size_t i = 0; i < count; i++) {
            char c = buffer[i];
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                token += c;
                if (token.size() <= MAX_TOKEN)
                    continue;
            } else if (token.empty()) {
                continue;
            }
            char* end = nullptr;
            long n = token.size() <= MAX_TOKEN ? strtol(token.c_str(), &end, 10) : 0;
            if (token.size() > MAX_TOKEN || token[0] < '0' || token[0] > '9' || *end != 0 || n < 1 ||
                n > SOUND_RING_SAMPLES) {
                *why = std::string(path) + ": call " + std::to_string(calls->size() + 1) + " ('" +
                       Shown(token.substr(0, MAX_TOKEN)) + (token.size() > MAX_TOKEN ? "..." : "") +
                       "') is not a sample count from 1 to " + std::to_string(SOUND_RING_SAMPLES);
                close(fd);
                return false;
            }
            calls->push_back((int32_t)n);
            token.clear();
        }
        if (got == 0)
            break;
    }
    close(fd);
    if (calls->empty()) {
        *why = std::string(path) + ": lists no calls";
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
        return OfflineInterrupted() ? Interrupted() : Refuse(why);
    if (!PrepareOutput(options.wav, true, &wav, &why))
        return Refuse(why);
    if (wav.toStdout)
        report = stderr;
    sound.reserve(SOUND_SAMPLE_RATE * 125);
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
        Say(OfflineFeederRefused() ? FEEDER_REFUSED : "the song never reached its end mark");
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
            options.wav, sound.size(), sound.size() / (double)SOUND_SAMPLE_RATE, renderCalls, (double)audioTime,
            QuitRequested() ? "" : " (the schedule ends before the song's end mark)");
    return 0;
}
