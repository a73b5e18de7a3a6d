#include "tools/capture/ffmpeg.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>

#include "platform/sound_ring.h"
#include "tools/capture/publish.h"

extern char** environ;

std::string FindProgram(const char* name)
{
    const char* path = getenv("PATH");
    if (!path || !*path)
        return "";
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string full = (dir.empty() ? "." : dir) + "/" + name;
        if (access(full.c_str(), X_OK) == 0 && !IsDirectory(full))
            return full;
        start = end + 1;
    }
    return "";
}

// ---- ffmpeg and ffprobe ----

// What a child said on standard error goes to a file in memory: on failure
// its last line becomes part of our one line. ffmpeg and ffprobe have one
// each: when ffmpeg writes a short file and says why but still reports
// success, the probe that finds it short must not wipe out the reason.
enum Speaker { ENCODER, PROBER };
static int messages[2] = {-1, -1};

static void ClearMessages(Speaker who)
{
    if (messages[who] < 0)
        messages[who] = memfd_create(who == ENCODER ? "ffmpeg-messages" : "ffprobe-messages", MFD_CLOEXEC);
    if (messages[who] >= 0 && ftruncate(messages[who], 0) == 0)
        lseek(messages[who], 0, SEEK_SET);
}

// The last line the child wrote, cut to its reason where it ends in one
// ("...: No space left on device").
static std::string LastMessage(Speaker who)
{
    if (messages[who] < 0)
        return "";
    std::string text;
    char buffer[4096];
    ssize_t got;
    lseek(messages[who], 0, SEEK_SET);
    while ((got = read(messages[who], buffer, sizeof buffer)) > 0)
        text.append(buffer, (size_t)got);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    size_t start = text.find_last_of('\n');
    std::string line = start == std::string::npos ? text : text.substr(start + 1);
    // ffmpeg closes with a generic line when an encoder refuses its settings;
    // the encoder's own reason is its last "[name @ address] ..." line before.
    if (line.find("maybe incorrect parameters") != std::string::npos || line == "Conversion failed!") {
        for (size_t end = start; end != std::string::npos && end > 0;) {
            size_t from = text.find_last_of('\n', end - 1);
            from = from == std::string::npos ? 0 : from + 1;
            std::string earlier = text.substr(from, end - from);
            size_t close = earlier.find("] ");
            if (earlier.compare(0, 1, "[") == 0 && earlier.find(" @ ") < close && close != std::string::npos) {
                line = earlier.substr(close + 2);
                break;
            }
            end = from > 0 ? from - 1 : std::string::npos;
        }
    }
    size_t colon = line.rfind(": ");
    if (colon != std::string::npos && colon + 2 < line.size())
        line = line.substr(colon + 2);
    if (line.size() > 160)
        line = line.substr(0, 160) + "...";
    return line;
}

std::string LastChildMessage(void)
{
    std::string said = LastMessage(ENCODER);
    return said.empty() ? LastMessage(PROBER) : said;
}

static std::string WhatFailed(const char* what)
{
    std::string said = LastMessage(ENCODER);
    return said.empty() ? std::string(what) : said + " (" + what + ")";
}

// Runs args with standard input from inputFd and standard output to
// outputFd (/dev/null where -1), standard error into who's message file;
// in directory dir where one is given.
static pid_t Spawn(const std::vector<std::string>& args, int inputFd, int outputFd, Speaker who,
                   const std::string& dir = "")
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    ClearMessages(who);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (messages[who] >= 0)
        posix_spawn_file_actions_adddup2(&actions, messages[who], 2);
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    // A group of its own: Ctrl+C or a hangup reaches the capture, which then
    // stops the child itself and removes its unfinished files.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    // The child starts with default signal actions, whatever we ignore.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

static void Reap(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

typedef std::chrono::steady_clock Clock;

// Processor time a process has used so far, in clock ticks; -1 when it
// cannot be read.
static long long ProcessorTicks(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* file = fopen(path, "re");
    if (!file)
        return -1;
    char text[1024];
    size_t n = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[n] = 0;
    // The name in parentheses may hold anything; the fields follow the last
    // ')': state, five numbers, flags and four fault counts, then the user
    // and system times.
    const char* after = strrchr(text, ')');
    unsigned long long user = 0, system = 0;
    if (!after || sscanf(after + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2)
        return -1;
    return (long long)(user + system);
}

// A child that may stall: given up when it has used no processor time for
// a while (stopped, sleeping, waiting on something that never comes), or
// when it is still at work long past any reasonable time.
struct Watch {
    pid_t pid;
    Clock::time_point start;
    Clock::time_point lastWork;
    long long ticks;
    Clock::time_point deadline;
    std::string verdict;  // why it was given up
};

static const double IDLE_SECONDS = 20.0;

static void StartWatch(Watch* watch, pid_t pid, double limitSeconds)
{
    watch->pid = pid;
    watch->start = watch->lastWork = Clock::now();
    watch->ticks = ProcessorTicks(pid);
    watch->deadline =
        watch->start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limitSeconds));
    watch->verdict.clear();
}

static bool GiveUp(Watch* watch)
{
    if (!watch)
        return false;
    Clock::time_point now = Clock::now();
    long long ticks = ProcessorTicks(watch->pid);
    if (ticks != watch->ticks) {
        watch->ticks = ticks;
        watch->lastWork = now;
    }
    if (ticks >= 0 && now - watch->lastWork > std::chrono::duration<double>(IDLE_SECONDS))
        watch->verdict = "no progress for " + std::to_string((int)IDLE_SECONDS) + " s";
    else if (now > watch->deadline)
        watch->verdict =
            "still at it after " + std::to_string((long long)std::chrono::duration<double>(now - watch->start).count()) +
            " s";
    return !watch->verdict.empty();
}

// Waits for the child; an interrupt kills it at once (a stopped child too),
// and so does a watch that gives it up. True when it exited with status 0.
static bool WaitChild(pid_t pid, Watch* watch = nullptr)
{
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0 && errno != EINTR)
            return false;
        if (InterruptRequested() || GiveUp(watch)) {
            kill(pid, SIGKILL);
            Reap(pid);
            return false;
        }
        usleep(10000);
    }
}

// "file:" makes ffmpeg read any path as a file: no protocol, no option.
static std::string AsFile(const std::string& path) { return "file:" + path; }

static pid_t encoder = -1;
static int encoderInput = -1;

static std::string Rate(int64_t num, int64_t den) { return std::to_string(num) + "/" + std::to_string(den); }

bool VideoStart(const std::string& ffmpeg, const std::string& videoTemp, int width, int height, int64_t fpsNum,
                int64_t fpsDen, const std::vector<std::string>& codec, std::string* why)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *why = Reason(errno);
        return false;
    }
    // NUT keeps the exact 1/fps time base: a container of milliseconds
    // here would merge frames at the highest rates.
    std::vector<std::string> args = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24",
                                     "-s", std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate", Rate(fpsNum, fpsDen), "-i", "pipe:0"};
    args.insert(args.end(), codec.begin(), codec.end());
    args.insert(args.end(), {"-fflags", "+bitexact", "-flags:v", "+bitexact", "-f", "nut", AsFile(videoTemp)});
    encoder = Spawn(args, fds[0], -1, ENCODER);
    int error = errno;
    close(fds[0]);
    if (encoder < 0) {
        close(fds[1]);
        *why = "cannot start " + ffmpeg + ": " + Reason(error);
        return false;
    }
    encoderInput = fds[1];
    return true;
}

bool VideoWriteFrame(const uint8_t* rgb, size_t bytes, std::string* why)
{
    if (encoderInput >= 0 && WriteAll(encoderInput, rgb, bytes))
        return true;
    if (InterruptRequested()) {
        *why = "interrupted";
        return false;
    }
    // The encoder stopped reading: most likely it died; its reason is the
    // best one to give.
    close(encoderInput);
    encoderInput = -1;
    WaitChild(encoder);
    encoder = -1;
    *why = WhatFailed("ffmpeg stopped taking frames");
    return false;
}

bool VideoFinish(std::string* why)
{
    if (encoder < 0) {
        *why = "no encoder";
        return false;
    }
    close(encoderInput);
    encoderInput = -1;
    bool ok = WaitChild(encoder);
    encoder = -1;
    if (!ok)
        *why = WhatFailed("ffmpeg failed");
    return ok;
}

void VideoAbandon(void)
{
    // Killed, not closed: the pipe may be in use by a write that the kill
    // ends; the descriptor goes with the process.
    pid_t pid = encoder;
    if (pid > 0) {
        kill(pid, SIGKILL);
        Reap(pid);
    }
}

// The final pass: the video from input (its options), the sound from the
// raw samples, into outTemp.
static bool Mux(const std::string& ffmpeg, const std::vector<std::string>& input, const std::string& audioRaw,
                const std::string& outTemp, bool mkv, const std::vector<std::string>& streams, const std::string& dir,
                std::string* why)
{
    std::vector<std::string> args = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    args.insert(args.end(), input.begin(), input.end());
    args.insert(args.end(), {"-f", "s16le", "-ar", std::to_string(SOUND_SAMPLE_RATE), "-ac", "1", "-i", AsFile(audioRaw),
                             "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy"});
    args.insert(args.end(), streams.begin(), streams.end());
    args.insert(args.end(), {"-fflags", "+bitexact", "-flags:a", "+bitexact", "-f", mkv ? "matroska" : "mp4",
                             AsFile(outTemp)});
    // The index first: a browser or a video site can start playing an .mp4
    // before the whole file has arrived.
    if (!mkv)
        args.insert(args.end() - 3, {"-movflags", "+faststart"});
    pid_t pid = Spawn(args, -1, -1, ENCODER, dir);
    if (pid < 0) {
        *why = "cannot start " + ffmpeg + ": " + Reason(errno);
        return false;
    }
    if (!WaitChild(pid)) {
        *why = InterruptRequested() ? "interrupted" : WhatFailed("ffmpeg failed");
        return false;
    }
    return true;
}

bool VideoMux(const std::string& ffmpeg, const std::string& videoTemp, const std::string& audioRaw,
              const std::string& outTemp, bool mkv, const std::vector<std::string>& streams, std::string* why)
{
    return Mux(ffmpeg, {"-i", AsFile(videoTemp)}, audioRaw, outTemp, mkv, streams, "", why);
}

std::string JoinList(const std::vector<std::string>& names, const std::vector<int64_t>& frames, int64_t fpsNum,
                     int64_t fpsDen)
{
    // Each file's length rounded where it ends, not on its own: the joins
    // stay within half a microsecond of the frames' own times.
    std::string list = "ffconcat version 1.0\n";
    int64_t done = 0, endUs = 0;
    for (size_t i = 0; i < names.size() && i < frames.size(); i++) {
        done += frames[i];
        int64_t startUs = endUs;
        endUs = (int64_t)(((__int128)done * fpsDen * 2000000 + fpsNum) / (2 * fpsNum));
        char length[48];
        snprintf(length, sizeof length, "%lld.%06lld", (long long)((endUs - startUs) / 1000000),
                 (long long)((endUs - startUs) % 1000000));
        list += "file 'file:" + names[i] + "'\nduration " + length + "\n";
    }
    return list;
}

bool VideoJoinMux(const std::string& ffmpeg, const std::string& dir, const std::string& listName,
                  const std::string& audioName, const std::string& outName, bool mkv,
                  const std::vector<std::string>& streams, std::string* why)
{
    return Mux(ffmpeg, {"-f", "concat", "-safe", "0", "-i", AsFile(listName)}, audioName, outName, mkv, streams, dir,
               why);
}

bool ProbePackets(const std::string& ffprobe, const std::string& path, int64_t* video, int64_t* audio,
                  std::string* why)
{
    *video = *audio = 0;
    why->clear();
    // Decoding takes well under a second a megabyte: a prober at work for
    // a minute plus that much has gone wrong, however busy it looks.
    struct stat st;
    double limitSeconds = 60.0 + (stat(path.c_str(), &st) == 0 ? st.st_size / 1.0e6 : 0.0);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *why = Reason(errno);
        return false;
    }
    // Frames decoded, not packets counted: a packet that cannot be shown
    // is a lost frame.
    std::vector<std::string> args = {ffprobe, "-v", "error", "-count_frames", "-show_entries",
                                     "stream=codec_type,nb_read_frames", "-of", "csv=p=0", AsFile(path)};
    pid_t pid = Spawn(args, -1, fds[1], PROBER);
    int error = errno;
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        *why = "cannot start " + ffprobe + ": " + Reason(error);
        return false;
    }
    Watch watch;
    StartWatch(&watch, pid, limitSeconds);
    std::string text;
    char buffer[512];
    for (;;) {
        struct pollfd p = {fds[0], POLLIN, 0};
        if (InterruptRequested() || GiveUp(&watch))
            break;
        if (poll(&p, 1, 100) <= 0)
            continue;
        ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, (size_t)got);
    }
    close(fds[0]);
    if (!WaitChild(pid, &watch)) {
        if (!watch.verdict.empty())
            *why = ffprobe + " did not finish checking the video: " + watch.verdict + "; killed";
        return false;
    }
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        size_t comma = line.find(',');
        if (comma != std::string::npos) {
            int64_t count = atoll(line.c_str() + comma + 1);
            if (line.compare(0, comma, "video") == 0)
                *video += count;
            else if (line.compare(0, comma, "audio") == 0)
                *audio += count;
        }
        at = end + 1;
    }
    return true;
}
