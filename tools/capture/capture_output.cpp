#include "tools/capture/capture_output.h"

#include <errno.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

bool WritePng(const std::string& path, const uint8_t* rgb, int width, int height)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png ? png_create_info_struct(png) : NULL;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, (png_const_bytep)(rgb + (size_t)y * width * 3));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0;
}

static void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.push_back((uint8_t)(value >> (8 * i)));
}

bool WriteWav(const std::string& path, const int16_t* samples, size_t count)
{
    if (count > (0xFFFFFFFFu - 36) / 2)
        return false;
    uint32_t dataBytes = (uint32_t)(count * 2);
    std::vector<uint8_t> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    PutLE(header, 36 + dataBytes, 4);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(header, 16, 4);
    PutLE(header, 1, 2);         // PCM
    PutLE(header, 1, 2);         // mono
    PutLE(header, 44100, 4);     // samples per second
    PutLE(header, 88200, 4);     // bytes per second
    PutLE(header, 2, 2);         // block align
    PutLE(header, 16, 2);        // bits per sample
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    PutLE(header, dataBytes, 4);
    std::vector<uint8_t> data;
    data.reserve(dataBytes);
    for (size_t i = 0; i < count; i++)
        PutLE(data, (uint16_t)samples[i], 2);

    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(header.data(), 1, header.size(), file) == header.size() &&
              (data.empty() || fwrite(data.data(), 1, data.size(), file) == data.size());
    return fclose(file) == 0 && ok;
}

// ---- temporaries ----

static std::vector<std::string> temporaries;

std::string PartName(const std::string& path) { return path + ".part"; }

void TrackTemporary(const std::string& path) { temporaries.push_back(path); }

void UntrackTemporary(const std::string& path)
{
    for (size_t i = 0; i < temporaries.size(); i++)
        if (temporaries[i] == path) {
            temporaries.erase(temporaries.begin() + (long)i);
            return;
        }
}

void RemoveTemporaries(void)
{
    for (const std::string& path : temporaries)
        unlink(path.c_str());
    temporaries.clear();
}

bool Publish(const std::string& path)
{
    std::string part = PartName(path);
    UntrackTemporary(part);
    if (rename(part.c_str(), path.c_str()) != 0) {
        unlink(part.c_str());
        return false;
    }
    return true;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ParentDirectoryExists(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return true;
    return IsDirectory(slash == 0 ? "/" : path.substr(0, slash));
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

// ---- ffmpeg ----

static pid_t encoder = -1;
static FILE* encoderInput;

// Runs argv with standard input from inputFd (or inherited when -1).
static pid_t Spawn(const std::vector<std::string>& args, int inputFd, int closeFd)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
        posix_spawn_file_actions_addclose(&actions, inputFd);
    }
    if (closeFd >= 0)
        posix_spawn_file_actions_addclose(&actions, closeFd);
    // A group of its own: Ctrl+C in the terminal reaches the capture, which
    // then stops the encoder itself and removes its unfinished files.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

static bool Wait(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static std::string Rate(int64_t num, int64_t den)
{
    return std::to_string(num) + "/" + std::to_string(den);
}

bool VideoStart(const std::string& ffmpeg, const std::string& videoTemp, int width, int height, int64_t fpsNum,
                int64_t fpsDen)
{
    // A dead encoder must show up as a failed write, not kill the capture.
    signal(SIGPIPE, SIG_IGN);
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    // Standard input carries the frames, so ffmpeg reads no keys from it.
    std::vector<std::string> args = {ffmpeg, "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24",
                                     "-s", std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate", Rate(fpsNum, fpsDen), "-i", "pipe:0",
                                     "-c:v", "libx264", "-pix_fmt", "yuv420p",
                                     "-fflags", "+bitexact", "-flags:v", "+bitexact",
                                     "-f", "matroska", videoTemp};
    TrackTemporary(videoTemp);
    encoder = Spawn(args, fds[0], fds[1]);
    close(fds[0]);
    if (encoder < 0) {
        close(fds[1]);
        return false;
    }
    encoderInput = fdopen(fds[1], "wb");
    return encoderInput != nullptr;
}

bool VideoWriteFrame(const uint8_t* rgb, size_t bytes)
{
    return encoderInput && fwrite(rgb, 1, bytes, encoderInput) == bytes;
}

bool VideoFinish(void)
{
    if (encoder < 0)
        return false;
    bool ok = encoderInput && fclose(encoderInput) == 0;
    encoderInput = nullptr;
    ok = Wait(encoder) && ok;
    encoder = -1;
    return ok;
}

void VideoAbandon(void)
{
    if (encoder < 0)
        return;
    if (encoderInput)
        fclose(encoderInput);
    encoderInput = nullptr;
    kill(encoder, SIGTERM);
    Wait(encoder);
    encoder = -1;
}

bool VideoMux(const std::string& ffmpeg, const std::string& videoTemp, const std::string& audioRaw,
              const std::string& outTemp, bool mkv)
{
    std::vector<std::string> args = {ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                                     "-i", videoTemp,
                                     "-f", "s16le", "-ar", "44100", "-ac", "1", "-i", audioRaw,
                                     "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy",
                                     "-c:a", mkv ? "flac" : "aac",
                                     "-fflags", "+bitexact", "-flags:a", "+bitexact",
                                     "-f", mkv ? "matroska" : "mp4", outTemp};
    TrackTemporary(outTemp);
    pid_t pid = Spawn(args, -1, -1);
    return pid >= 0 && Wait(pid);
}
