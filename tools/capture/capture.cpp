// brinelux-capture: the show rendered deterministically with no display, to
// video, PNG frames, a WAV of the song, single stills or a benchmark table.
//
// The show runs through its own start-up, frame loop, timeline, scene pass,
// text and sound stream; only the platform backend differs (no window, a
// virtual clock, a virtual sound device), so what comes out is what the
// show draws and plays, frame for frame and sample for sample.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "state/shared.h"
#include "host/show.h"
#include "platform/headless/headless_gl.h"
#include "platform/offline/offline.h"
#include "platform/posix/descriptors.h"
#include "render/render.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_output.h"

static const int WIDTH = 1024;
static const int HEIGHT = 768;
// The song ends near 117 s; anything far beyond means it never will.
static const int64_t MAX_REFILLS = 40 * 60 * 10;

static CaptureOptions options;
static std::string ffmpeg;
static std::string ffprobe;
static std::vector<int16_t> sound;
static int64_t soundFirst;
static int64_t soundEnd = -1;
static int32_t framesWritten;
static int32_t framesWanted;
// --out and its two intermediates (the H.264 stream and the raw sound),
// each beside the final file.
static OutputFile outFile;
static std::string videoTemp;
static std::string audioTemp;
// --png-dir when this run made it: removed again if it stays empty.
static bool madePngDir;
// Summary lines go to standard output unless an output is written there.
static FILE* report = stdout;

typedef std::chrono::steady_clock Clock;

static double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

static bool progressPending;

// Takes away everything unfinished: the encoder, the temporaries, a frame
// directory this run made and left empty.
static void Cleanup()
{
    VideoAbandon();
    RemoveTemporaries();
    if (madePngDir && options.pngDir)
        rmdir(options.pngDir);
}

static int InterruptStatus() { return 128 + OfflineInterruptSignal(); }

// One line on standard error, after a progress line still open on a
// terminal.
static void Say(const std::string& line)
{
    fprintf(stderr, "%sbrinelux-capture: %s\n", progressPending ? "\n" : "", line.c_str());
    progressPending = false;
    fflush(stderr);
}

static int Refuse(const std::string& why)
{
    Cleanup();
    Say(why);
    return 2;
}

static int Interrupted()
{
    Cleanup();
    Say("interrupted; unfinished files removed");
    return InterruptStatus();
}

// An interrupt must end the run within a second or two, also while the show
// compiles its programs or draws a slow frame, neither of which can be cut
// short: when the run has not ended by itself 1.5 s after the signal, this
// thread cleans up and ends it.
static void WatchInterrupts()
{
    while (!OfflineInterrupted())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Cleanup();
    Say("interrupted; unfinished files removed");
    fflush(stdout);
    _exit(InterruptStatus());
}

[[noreturn]] static void Abort(const std::string& why)
{
    // A write that failed because the run was being interrupted is the
    // interruption, not a fault of its own.
    bool interrupted = OfflineInterrupted();
    Cleanup();
    Say(interrupted ? "interrupted; unfinished files removed" : why);
    fflush(stdout);
    _exit(interrupted ? InterruptStatus() : 1);
}



// ---- progress ----

static Clock::time_point progressStart;
static Clock::time_point progressShown;
static bool progressOnTerminal;

static std::string Duration(double seconds)
{
    char text[32];
    long s = (long)(seconds + 0.5);
    if (s >= 3600)
        snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, s / 60 % 60);
    else if (s >= 60)
        snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
    else
        snprintf(text, sizeof text, "%lds", s);
    return text;
}

// Rewritten in place on a terminal; a plain line every few seconds otherwise.
// The rate is that of the last half minute or so: the cards take
// milliseconds a frame and the spheres seconds, so the whole run's average
// would promise far too early an end.
static void Progress(int32_t done, int32_t total)
{
    static Clock::time_point markTime;
    static int32_t markDone;
    static Clock::time_point lastTime;
    static int32_t lastDone;
    static double rate;
    Clock::time_point now = Clock::now();
    if (markDone == 0 && markTime == Clock::time_point()) {
        markTime = lastTime = progressStart;
    }
    double window = std::chrono::duration<double>(now - markTime).count();
    if (window > 0.0)
        rate = (done - markDone) / window;
    if (window > 30.0) {
        // Slide the window: the last stretch becomes its start.
        markTime = lastTime;
        markDone = lastDone;
    }
    if (std::chrono::duration<double>(now - lastTime).count() >= 10.0) {
        lastTime = now;
        lastDone = done;
    }

    double sinceShown = std::chrono::duration<double>(now - progressShown).count();
    bool last = done >= total;
    if (!last && sinceShown < (progressOnTerminal ? 0.25 : 5.0))
        return;
    progressShown = now;
    std::string left = rate > 0.0 ? Duration((total - done) / rate) : "?";
    fprintf(stderr, "%sframe %d of %d (%.1f%%), %.2f frames/s, %s left%s", progressOnTerminal ? "\r" : "",
            done, total, total > 0 ? 100.0 * done / total : 100.0, rate, left.c_str(),
            progressOnTerminal ? (last ? "   \n" : "   ") : "\n");
    progressPending = progressOnTerminal && !last;
    fflush(stderr);
}

// ---- the song's length, learnt ahead ----

// The frame in which the song's end mark is reached at this frame rate: the
// song rendered once on the virtual clock (about a second), then the song
// and the clock put back to their start for the capture itself.
static int64_t LastFrameOfShow()
{
    ResetSong();
    StartAudio(nullptr, RenderAudio);
    int64_t refills = OfflineRunSoundToEnd(MAX_REFILLS);
    int64_t frame = QuitRequested() ? OfflineFrameOfRefill(refills - 1) : -1;
    if (!OfflineRewind())
        return -1;
    ResetSong();
    return frame;
}

// ---- frames: video and PNGs ----

// Why ffmpeg failed, or wrote an incomplete file while saying it did not:
// most often a full disk, which it may report as bad input on the next
// pass, or as a mere warning.
static std::string EncoderFailure(const std::string& dir, const std::string& fallback)
{
    struct statvfs fs;
    if (statvfs(dir.c_str(), &fs) == 0 && (double)fs.f_bavail * fs.f_frsize < 4.0 * 1024 * 1024)
        return strerror(ENOSPC);
    std::string said = LastChildMessage();
    return said.empty() ? fallback : said;
}

static std::vector<uint8_t> encoded;

static void OnFrame(int32_t frame, const uint8_t* rgb, int width, int height)
{
    std::string why;
    if (options.pngDir) {
        char name[32];
        snprintf(name, sizeof name, "/frame-%06d.png", frame);
        std::string path = std::string(options.pngDir) + name;
        if (!EncodePng(rgb, width, height, &encoded))
            Abort("cannot encode " + path + " as PNG");
        if (!WriteFileAtomically(path, encoded, &why))
            Abort(why);
    }
    if (options.out && !VideoWriteFrame(rgb, (size_t)width * height * 3, &why))
        Abort("cannot write " + std::string(options.out) + ": " + EncoderFailure(DirectoryOf(outFile.path), why));
    framesWritten++;
    Progress(framesWritten, framesWanted);
}

static void OnSound(int64_t first, const int16_t* samples, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        int64_t n = first + i;
        if (n >= soundFirst && (soundEnd < 0 || n < soundEnd))
            sound.push_back(samples[i]);
    }
}

// The video's last steps: the sound beside the frames, the encoder's end,
// the mux, each result checked by decoding it, then the rename.
static void FinishVideo()
{
    std::string out = options.out, why;
    std::string dir = DirectoryOf(outFile.path);
    std::vector<uint8_t> raw;
    raw.reserve(sound.size() * 2);
    for (int16_t sample : sound) {
        raw.push_back((uint8_t)((uint16_t)sample & 0xFF));
        raw.push_back((uint8_t)((uint16_t)sample >> 8));
    }
    OutputFile audio = outFile;
    audio.temp = audioTemp;
    if (!WriteOutput(&audio, raw, &why))
        Abort(why);
    if (!VideoFinish(&why))
        Abort("cannot write " + out + ": " + EncoderFailure(dir, why));
    int64_t video = 0, audioFrames = 0;
    std::string holds = "ffmpeg's output holds fewer frames than it was given";
    if (!ProbePackets(ffprobe, videoTemp, &video, &audioFrames) || video != framesWritten)
        Abort("cannot write " + out + ": " + EncoderFailure(dir, holds));
    if (!VideoMux(ffmpeg, videoTemp, audioTemp, outFile.temp, options.outIsMkv, &why))
        Abort("cannot write " + out + ": " + EncoderFailure(dir, why));
    if (!ProbePackets(ffprobe, outFile.temp, &video, &audioFrames) || video != framesWritten ||
        (!sound.empty() && audioFrames == 0))
        Abort("cannot write " + out + ": " + EncoderFailure(dir, holds));
    if (OfflineInterrupted())
        Abort("");
    if (!PublishOutput(&outFile, &why))
        Abort(why);
    RemoveTemporaries();
}

// What a capture of frames ends with, once the show's loop is over.
static int FinishFrames(int status)
{
    if (OfflineInterrupted()) {
        Cleanup();
        Say("interrupted after " + std::to_string(framesWritten) + " frames" +
            (options.out ? "; no video written" : ""));
        return InterruptStatus();
    }
    if (status != 0) {
        Cleanup();
        // Without an OpenGL error the show ended at start-up and said why.
        if (glErrorReported)
            Say("the show reported an OpenGL error (line above); capture stopped");
        return 1;
    }
    if (options.out) {
        FinishVideo();
        fprintf(report, "wrote %s: %d frames at %lld/%lld frames per second, %.3f s of sound\n", options.out,
                framesWritten, (long long)options.fpsNum, (long long)options.fpsDen, sound.size() / 44100.0);
    }
    if (options.pngDir)
        fprintf(report, "wrote %d frames to %s/frame-%06d.png ... frame-%06d.png\n", framesWritten,
                options.pngDir, options.firstFrame, options.firstFrame + framesWritten - 1);
    return 0;
}

// The show's start-up ends the process when it gets no OpenGL context: the
// context is made first here, so a failure still cleans up after itself.
// Start-up then gets the same one.
static int OpenContext()
{
    if (PlatformCreateWindow(0, 0, WIDTH, HEIGHT))
        return 0;
    Cleanup();
    Say(PlatformLastError());
    return 1;
}

// Everything a capture of frames will write is checked before the first
// frame: a name that cannot be written must not cost a whole render.
static int PrepareFrameOutputs()
{
    std::string why;
    if (options.out) {
        ffmpeg = FindProgram("ffmpeg");
        ffprobe = FindProgram("ffprobe");
        if (ffmpeg.empty() || ffprobe.empty())
            return Refuse("--out needs the ffmpeg and ffprobe programs (Debian package ffmpeg), which are not on "
                          "PATH");
        ProtectFile(ffmpeg);
        ProtectFile(ffprobe);
        if (!PrepareOutput(options.out, false, &outFile, &why))
            return Refuse(why);
        std::string dir = DirectoryOf(outFile.path);
        if (!MakeTemporary(dir, &videoTemp, &why) || !MakeTemporary(dir, &audioTemp, &why))
            return Refuse("cannot write " + std::string(options.out) + " (in " + dir + "): " + why);
    }
    if (options.pngDir) {
        struct stat st;
        if (stat(options.pngDir, &st) == 0 && !S_ISDIR(st.st_mode))
            return Refuse(std::string(options.pngDir) + " exists and is not a directory");
    }
    return 0;
}

static int CaptureFrames()
{
    if (int refused = PrepareFrameOutputs())
        return refused;
    if (int failed = OpenContext())
        return failed;
    OfflineSetFrameRate(options.fpsNum, options.fpsDen);
    int64_t lastOfShow = LastFrameOfShow();
    if (OfflineInterrupted())
        return Interrupted();
    if (lastOfShow < 1) {
        Cleanup();
        Say("the song's end could not be found");
        return 1;
    }
    if (options.firstFrame > lastOfShow)
        return Refuse("--frames starts after the show's last frame, " + std::to_string(lastOfShow) +
                      " at this rate");
    int64_t last = options.lastFrame > 0 ? std::min<int64_t>(options.lastFrame, lastOfShow) : lastOfShow;
    framesWanted = (int32_t)(last - options.firstFrame + 1);
    if (options.pngDir) {
        std::string why;
        if (!IsDirectory(options.pngDir)) {
            if (mkdir(options.pngDir, 0777) != 0)
                return Refuse("cannot make the directory " + std::string(options.pngDir) + ": " + strerror(errno));
            madePngDir = true;
        }
        if (!CanWriteIn(options.pngDir, &why))
            return Refuse("cannot write in " + std::string(options.pngDir) + ": " + why);
        for (int64_t k = options.firstFrame; k <= last; k++) {
            char name[32];
            snprintf(name, sizeof name, "/frame-%06lld.png", (long long)k);
            if (!CheckFrameName(std::string(options.pngDir) + name, &why))
                return Refuse(why);
        }
    }

    OfflineSetFrameRange(options.firstFrame, options.lastFrame);
    soundFirst = OfflineSamplesBeforeFrame(options.firstFrame);
    soundEnd = OfflineSamplesBeforeFrame(last + 1);
    sound.reserve((size_t)(soundEnd - soundFirst));
    OfflineSetSinks(OnFrame, OnSound);

    std::string why;
    if (options.out && !VideoStart(ffmpeg, videoTemp, WIDTH, HEIGHT, options.fpsNum, options.fpsDen, &why))
        Abort(why);
    fprintf(stderr, "capturing frames %d to %lld of the show at %lld/%lld frames per second\n",
            options.firstFrame, (long long)last, (long long)options.fpsNum, (long long)options.fpsDen);
    progressStart = progressShown = Clock::now();
    progressOnTerminal = isatty(2);

    PlatformWindow* window = StartUp();
    FrameLoop(window);
    return FinishFrames(EndShow(window));
}

// ---- the song as WAV ----

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

static int WriteSong()
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

// ---- one still ----

static OutputFile stillFile;
static std::vector<uint8_t> stillPng;

static void OnStill(int32_t, const uint8_t* rgb, int width, int height)
{
    if (!EncodePng(rgb, width, height, &stillPng))
        Abort(std::string("cannot encode ") + options.png + " as PNG");
}

static int WriteStill()
{
    std::string why;
    if (!PrepareOutput(options.png, true, &stillFile, &why))
        return Refuse(why);
    if (stillFile.fd == 1)
        report = stderr;
    OfflineSetFrameRange(1, 1);
    OfflineSetSinks(OnStill, nullptr);
    if (int failed = OpenContext())
        return failed;
    PlatformWindow* window = StartUp();
    ShowPart part = options.still;
    float shown = RunPartFrame(window, part, options.time);
    int status = EndShow(window);

    if (OfflineInterrupted())
        return Interrupted();
    if (status != 0) {
        Cleanup();
        Say("the show reported an OpenGL error (line above); no still written");
        return 1;
    }
    if (stillPng.empty() || !WriteOutput(&stillFile, stillPng, &why) || !PublishOutput(&stillFile, &why)) {
        if (OfflineInterrupted())
            return Interrupted();
        Cleanup();
        Say(why.empty() ? std::string("no frame was drawn for ") + options.png : why);
        return 1;
    }
    if (part == PART_TITLE || part == PART_THANKS)
        fprintf(report, "wrote %s: the %s card\n", options.png, showPartNames[part]);
    else if (shown == options.time)
        fprintf(report, "wrote %s: %s at iGlobalTime %.9g\n", options.png, showPartNames[part], (double)shown);
    else
        fprintf(report, "wrote %s: %s at iGlobalTime %.9g, the nearest to %.9g that the scene clock's 0.04 s "
                        "step reaches\n",
                options.png, showPartNames[part], (double)shown, (double)options.time);
    return 0;
}

// ---- benchmark ----

struct PartTimes {
    const char* name = "";
    double firstMs = 0.0;
    std::vector<double> ms;
};

static double Ms(Clock::time_point since) { return Seconds(since) * 1000.0; }

static double NowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }
static void Finish() { glFinish(); }

static void TimePart(PlatformWindow* window, PartTimes& part, ShowPart which, float timeFrom, float timeTo)
{
    // The first frame carries the driver's deferred work and is shown apart;
    // the rest spread over the part's scene time.
    const int frames = 8;
    part.ms.assign(frames, 0.0);
    RunPartFrames(window, which, timeFrom, timeTo, frames, NowMs, Finish, part.ms.data(), &part.firstMs);
}

static Clock::time_point stepStart;
static double stepMs[GRAPHICS_STEP_COUNT];

static void TimeStep(int32_t step)
{
    glFinish();
    stepMs[step] = Ms(stepStart);
    stepStart = Clock::now();
}

static int Bench()
{
    PlatformWindow* window = PlatformCreateWindow(0, 0, WIDTH, HEIGHT);
    if (!window) {
        fprintf(stderr, "brinelux-capture: %s\n", PlatformLastError());
        return 1;
    }
    fprintf(stderr, "benchmarking on %s\n", HeadlessRenderer());
    // The show's own start-up, each step timed to its end.
    stepStart = Clock::now();
    BuildShowGraphics(TimeStep);
    const double* ms = stepMs;

    PartTimes parts[PART_COUNT];
    // Each scene's frames spread over its own span of scene time.
    const float ends[PART_COUNT] = {0.0f, 0.0f, 5.0f, 14.0f};
    for (int p = 0; p < PART_COUNT; p++) {
        parts[p].name = showPartNames[p];
        fprintf(stderr, "  %s ...\n", parts[p].name);
        TimePart(window, parts[p], (ShowPart)p, 0.04f, ends[p]);
        if (OfflineInterrupted())
            return Interrupted();
    }
    if (QuitRequested()) {
        fprintf(stderr, "brinelux-capture: OpenGL reported an error during the benchmark (line above)\n");
        return 1;
    }

    // The whole song in the live feeder's refills.
    fprintf(stderr, "  song ...\n");
    static int16_t block[SOUND_RING_SAMPLES];
    int64_t samples = 0;
    ResetSong();
    Clock::time_point t = Clock::now();
    for (int64_t call = 0; !QuitRequested() && !OfflineInterrupted() && call < MAX_REFILLS; call++) {
        int32_t n = SoundRefillSamples(call);
        RenderAudio(block, n * 2);
        samples += n;
    }
    if (OfflineInterrupted())
        return Interrupted();
    double songWall = Seconds(t);
    double songSeconds = samples / 44100.0;

    printf("brinelux-capture --bench, %dx%d, renderer: %s\n", WIDTH, HEIGHT, HeadlessRenderer());
    printf("start-up: texture %.1f ms, programs %.1f ms (vertex %.1f, water %.1f, spheres %.1f), font %.1f ms\n",
           ms[GRAPHICS_STEP_TEXTURE], ms[GRAPHICS_STEP_VERTEX] + ms[GRAPHICS_STEP_WATER] + ms[GRAPHICS_STEP_SPHERES],
           ms[GRAPHICS_STEP_VERTEX], ms[GRAPHICS_STEP_WATER], ms[GRAPHICS_STEP_SPHERES], ms[GRAPHICS_STEP_FONT]);
    printf("(the driver may finish compiling a program at its first draw: see first ms)\n");
    printf("%-8s %7s %10s %8s %8s %10s\n", "part", "frames", "median ms", "min ms", "max ms", "first ms");
    for (PartTimes& part : parts) {
        std::vector<double> ms = part.ms;
        std::sort(ms.begin(), ms.end());
        size_t n = ms.size();
        double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2.0;
        printf("%-8s %7zu %10.1f %8.1f %8.1f %10.1f\n", part.name, n, median, ms.front(), ms.back(), part.firstMs);
    }
    printf("song: %.2f s rendered in %.3f s, %.1fx real time\n", songSeconds, songWall,
           songWall > 0.0 ? songSeconds / songWall : 0.0);
    return 0;
}

int main(int argc, char** argv)
{
    // Before anything is opened: a pipe to the encoder must never become
    // standard output or standard error.
    KeepStandardDescriptorsOpen();
    // A reader that goes away shows up as a failed write, not a death.
    signal(SIGPIPE, SIG_IGN);
    OfflineCatchInterrupts();
    SetInterruptCheck(OfflineInterrupted);
    const char* error = ParseCaptureOptions(argc, argv, &options);
    if (error) {
        fprintf(stderr, "brinelux-capture: %s\n", error);
        return 2;
    }
    if (options.mode != MODE_HELP)
        std::thread(WatchInterrupts).detach();
    switch (options.mode) {
    case MODE_HELP:
        fputs(CaptureUsage(), stdout);
        return 0;
    case MODE_FRAMES:
        return CaptureFrames();
    case MODE_WAV:
        return WriteSong();
    case MODE_STILL:
        return WriteStill();
    case MODE_BENCH:
        return Bench();
    default:
        return 2;
    }
}
