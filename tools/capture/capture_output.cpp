#include "tools/capture/capture_output.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <mutex>
#include <utility>

extern char** environ;

static bool (*interruptCheck)(void);

void SetInterruptCheck(bool (*interrupted)(void)) { interruptCheck = interrupted; }

static bool Interrupted() { return interruptCheck && interruptCheck(); }

static std::string Reason(int error) { return strerror(error); }

// ---- encoders into memory ----

static void PngToVector(png_structp png, png_bytep data, png_size_t length)
{
    std::vector<uint8_t>* out = (std::vector<uint8_t>*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + length);
}

static void PngFlush(png_structp) {}

bool EncodePng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* out)
{
    out->clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png ? png_create_info_struct(png) : NULL;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, PngToVector, PngFlush);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, (png_const_bytep)(rgb + (size_t)y * width * 3));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

static void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.push_back((uint8_t)(value >> (8 * i)));
}

bool EncodeWav(const int16_t* samples, size_t count, std::vector<uint8_t>* out)
{
    if (count > (0xFFFFFFFFu - 36) / 2)
        return false;
    uint32_t dataBytes = (uint32_t)(count * 2);
    out->clear();
    out->reserve(44 + (size_t)dataBytes);
    out->insert(out->end(), {'R', 'I', 'F', 'F'});
    PutLE(*out, 36 + dataBytes, 4);
    out->insert(out->end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(*out, 16, 4);
    PutLE(*out, 1, 2);         // PCM
    PutLE(*out, 1, 2);         // mono
    PutLE(*out, 44100, 4);     // samples per second
    PutLE(*out, 88200, 4);     // bytes per second
    PutLE(*out, 2, 2);         // block align
    PutLE(*out, 16, 2);        // bits per sample
    out->insert(out->end(), {'d', 'a', 't', 'a'});
    PutLE(*out, dataBytes, 4);
    for (size_t i = 0; i < count; i++)
        PutLE(*out, (uint16_t)samples[i], 2);
    return true;
}

// ---- descriptors and writes ----

// Writes all of data. A pipe, FIFO or device may stall: it is written only
// when poll says it takes more (no more than PIPE_BUF at a time, so the
// write cannot block), and an interrupt ends the wait.
static bool WriteAll(int fd, const uint8_t* data, size_t n)
{
    struct stat st;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (n > 0) {
        if (Interrupted()) {
            errno = EINTR;
            return false;
        }
        size_t chunk = n;
        if (!regular) {
            struct pollfd p = {fd, POLLOUT, 0};
            int ready = poll(&p, 1, 100);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            if (chunk > PIPE_BUF)
                chunk = PIPE_BUF;
        }
        ssize_t put = write(fd, data, chunk);
        if (put < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        data += put;
        n -= (size_t)put;
    }
    return true;
}

// ---- files this run must not overwrite ----

static std::vector<std::pair<dev_t, ino_t>> protectedFiles;

void ProtectFile(const std::string& path)
{
    struct stat st;
    if (!path.empty() && stat(path.c_str(), &st) == 0)
        protectedFiles.push_back({st.st_dev, st.st_ino});
}

static int ProtectLoaded(struct dl_phdr_info* info, size_t, void*)
{
    if (info->dlpi_name && info->dlpi_name[0])
        ProtectFile(info->dlpi_name);
    return 0;
}

static bool IsProtected(const struct stat& st)
{
    static bool listed;
    if (!listed) {
        listed = true;
        ProtectFile("/proc/self/exe");
        dl_iterate_phdr(ProtectLoaded, nullptr);
    }
    for (const std::pair<dev_t, ino_t>& file : protectedFiles)
        if (file.first == st.st_dev && file.second == st.st_ino)
            return true;
    return false;
}

// ---- temporaries ----

// The list and the encoder are also reached from the interrupt watch's
// thread, which may clean up while the run is stuck elsewhere.
static std::mutex temporariesLock;
static std::vector<std::string> temporaries;

static void Untrack(const std::string& path)
{
    std::lock_guard<std::mutex> lock(temporariesLock);
    for (size_t i = 0; i < temporaries.size(); i++)
        if (temporaries[i] == path) {
            temporaries.erase(temporaries.begin() + (long)i);
            return;
        }
}

bool MakeTemporary(const std::string& dir, std::string* path, std::string* why)
{
    // Short and fixed in length: any final name that fits the file system
    // has a temporary that fits too.
    std::string name = dir + "/.brinelux-XXXXXX";
    std::vector<char> text(name.begin(), name.end());
    text.push_back(0);
    int fd = mkostemp(text.data(), O_CLOEXEC);
    if (fd < 0) {
        *why = Reason(errno);
        return false;
    }
    close(fd);
    *path = text.data();
    std::lock_guard<std::mutex> lock(temporariesLock);
    temporaries.push_back(*path);
    return true;
}

bool CanWriteIn(const std::string& dir, std::string* why)
{
    std::string probe;
    if (!MakeTemporary(dir, &probe, why))
        return false;
    unlink(probe.c_str());
    Untrack(probe);
    return true;
}

void RemoveTemporaries(void)
{
    std::lock_guard<std::mutex> lock(temporariesLock);
    for (const std::string& path : temporaries)
        unlink(path.c_str());
    temporaries.clear();
}

std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static unsigned NewFileMode()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// ---- outputs ----

static std::string Shown(const OutputFile* out) { return out->fd == 1 ? "standard output" : out->name; }

// A FIFO is opened once someone reads it; till then the run waits, and an
// interrupt ends the wait.
static int OpenFifo(const std::string& path, std::string* why)
{
    bool said = false;
    for (;;) {
        int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO) {
            *why = Reason(errno);
            return -1;
        }
        if (Interrupted()) {
            *why = "interrupted while waiting for a reader";
            return -1;
        }
        if (!said) {
            fprintf(stderr, "brinelux-capture: waiting for a reader of the FIFO %s\n", path.c_str());
            said = true;
        }
        usleep(50000);
    }
}

bool PrepareOutput(const char* name, bool streamAllowed, OutputFile* out, std::string* why)
{
    out->name = name;
    out->path = name;
    out->temp.clear();
    out->fd = -1;
    out->mode = NewFileMode();
    if (strcmp(name, "-") == 0) {
        if (!streamAllowed) {
            *why = "a video cannot be written to standard output: name a file";
            return false;
        }
        out->fd = 1;
        return true;
    }
    struct stat st;
    if (lstat(name, &st) == 0 && S_ISLNK(st.st_mode)) {
        // Written through the link: the link stays, its file is replaced.
        char* real = realpath(name, nullptr);
        if (!real) {
            *why = std::string(name) + " is a symbolic link that leads nowhere writable: " + Reason(errno);
            return false;
        }
        out->path = real;
        free(real);
    }
    if (stat(out->path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            *why = std::string(name) + " is a directory";
            return false;
        }
        if (IsProtected(st)) {
            *why = std::string(name) + " is a file this program runs from; it is never overwritten";
            return false;
        }
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            if (!streamAllowed) {
                *why = std::string(name) + " is a device or FIFO; a video is written only to a regular file";
                return false;
            }
            out->fd = S_ISFIFO(st.st_mode) ? OpenFifo(out->path, why)
                                           : open(out->path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (out->fd < 0) {
                if (why->empty())
                    *why = Reason(errno);
                *why = "cannot write " + std::string(name) + ": " + *why;
                return false;
            }
            return true;
        }
        if (!S_ISREG(st.st_mode)) {
            *why = std::string(name) + " is neither a regular file nor a character device or FIFO";
            return false;
        }
        out->mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        *why = "cannot write " + std::string(name) + ": " + Reason(errno);
        return false;
    }
    std::string dir = DirectoryOf(out->path);
    if (!IsDirectory(dir)) {
        *why = "no directory " + dir + " to hold " + name;
        return false;
    }
    std::string reason;
    if (!MakeTemporary(dir, &out->temp, &reason)) {
        *why = "cannot write " + std::string(name) + " (in " + dir + "): " + reason;
        return false;
    }
    return true;
}

bool WriteOutput(OutputFile* out, const std::vector<uint8_t>& bytes, std::string* why)
{
    if (out->fd >= 0) {
        if (!WriteAll(out->fd, bytes.data(), bytes.size())) {
            *why = "cannot write " + Shown(out) + ": " + Reason(errno);
            return false;
        }
        return true;
    }
    int fd = open(out->temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool ok = fd >= 0 && WriteAll(fd, bytes.data(), bytes.size());
    int error = errno;
    if (fd >= 0 && close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        *why = "cannot write " + out->name + ": " + Reason(error);
    return ok;
}

bool PublishOutput(OutputFile* out, std::string* why)
{
    if (out->fd >= 0)
        return true;
    // Synced before the rename, so a crash can never leave a short file
    // under the final name.
    int fd = open(out->temp.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && fsync(fd) == 0 && fchmod(fd, out->mode) == 0;
    int error = errno;
    if (fd >= 0)
        close(fd);
    if (ok && rename(out->temp.c_str(), out->path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(out->temp.c_str());
        Untrack(out->temp);
        *why = "cannot write " + out->name + ": " + Reason(error);
        return false;
    }
    Untrack(out->temp);
    int dir = open(DirectoryOf(out->path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

bool CheckFrameName(const std::string& path, std::string* why)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        *why = "cannot write " + path + ": " + Reason(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = path + " exists and is not a regular file; frames only replace regular files";
        return false;
    }
    if (IsProtected(st)) {
        *why = path + " is a file this program runs from; it is never overwritten";
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* why)
{
    OutputFile out;
    out.name = out.path = path;
    out.fd = -1;
    out.mode = NewFileMode();
    std::string reason;
    if (!MakeTemporary(DirectoryOf(path), &out.temp, &reason)) {
        *why = "cannot write " + path + ": " + reason;
        return false;
    }
    return WriteOutput(&out, bytes, why) && PublishOutput(&out, why);
}

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
// its last line becomes part of our one line.
static int messages = -1;

static void ClearMessages()
{
    if (messages < 0)
        messages = memfd_create("ffmpeg-messages", MFD_CLOEXEC);
    if (messages >= 0 && ftruncate(messages, 0) == 0)
        lseek(messages, 0, SEEK_SET);
}

// The last line the child wrote, cut to its reason where it ends in one
// ("...: No space left on device").
static std::string LastMessage()
{
    if (messages < 0)
        return "";
    std::string text;
    char buffer[4096];
    ssize_t got;
    lseek(messages, 0, SEEK_SET);
    while ((got = read(messages, buffer, sizeof buffer)) > 0)
        text.append(buffer, (size_t)got);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    size_t start = text.find_last_of('\n');
    std::string line = start == std::string::npos ? text : text.substr(start + 1);
    size_t colon = line.rfind(": ");
    if (colon != std::string::npos && colon + 2 < line.size())
        line = line.substr(colon + 2);
    if (line.size() > 160)
        line = line.substr(0, 160) + "...";
    return line;
}

std::string LastChildMessage(void) { return LastMessage(); }

static std::string WhatFailed(const char* what)
{
    std::string said = LastMessage();
    return said.empty() ? std::string(what) : said + " (" + what + ")";
}

// Runs args with standard input from inputFd and standard output to
// outputFd (/dev/null where -1), standard error into the message file.
static pid_t Spawn(const std::vector<std::string>& args, int inputFd, int outputFd)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    ClearMessages();
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
    if (messages >= 0)
        posix_spawn_file_actions_adddup2(&actions, messages, 2);
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

// Waits for the child; an interrupt kills it at once (a stopped child too).
// True when it exited with status 0.
static bool WaitChild(pid_t pid)
{
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0 && errno != EINTR)
            return false;
        if (Interrupted()) {
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
                int64_t fpsDen, std::string* why)
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
                                     "-framerate", Rate(fpsNum, fpsDen), "-i", "pipe:0",
                                     "-c:v", "libx264", "-pix_fmt", "yuv420p",
                                     "-fflags", "+bitexact", "-flags:v", "+bitexact",
                                     "-f", "nut", AsFile(videoTemp)};
    encoder = Spawn(args, fds[0], -1);
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
    if (Interrupted()) {
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

bool VideoMux(const std::string& ffmpeg, const std::string& videoTemp, const std::string& audioRaw,
              const std::string& outTemp, bool mkv, std::string* why)
{
    std::vector<std::string> args = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                     "-i", AsFile(videoTemp),
                                     "-f", "s16le", "-ar", "44100", "-ac", "1", "-i", AsFile(audioRaw),
                                     "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy",
                                     "-c:a", mkv ? "flac" : "aac",
                                     "-fflags", "+bitexact", "-flags:a", "+bitexact",
                                     "-f", mkv ? "matroska" : "mp4", AsFile(outTemp)};
    // The index first: a browser or a video site can start playing an .mp4
    // before the whole file has arrived.
    if (!mkv)
        args.insert(args.end() - 3, {"-movflags", "+faststart"});
    pid_t pid = Spawn(args, -1, -1);
    if (pid < 0) {
        *why = "cannot start " + ffmpeg + ": " + Reason(errno);
        return false;
    }
    if (!WaitChild(pid)) {
        *why = Interrupted() ? "interrupted" : WhatFailed("ffmpeg failed");
        return false;
    }
    return true;
}

bool ProbePackets(const std::string& ffprobe, const std::string& path, int64_t* video, int64_t* audio)
{
    *video = *audio = 0;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    // Frames decoded, not packets counted: a packet that cannot be shown
    // is a lost frame.
    std::vector<std::string> args = {ffprobe, "-v", "error", "-count_frames", "-show_entries",
                                     "stream=codec_type,nb_read_frames", "-of", "csv=p=0", AsFile(path)};
    pid_t pid = Spawn(args, -1, fds[1]);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return false;
    }
    std::string text;
    char buffer[512];
    for (;;) {
        struct pollfd p = {fds[0], POLLIN, 0};
        if (Interrupted())
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
    if (!WaitChild(pid))
        return false;
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
