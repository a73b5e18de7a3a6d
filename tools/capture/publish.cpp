#include "tools/capture/publish.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

static bool (*interruptCheck)(void);

void SetInterruptCheck(bool (*interrupted)(void)) { interruptCheck = interrupted; }

bool InterruptRequested(void) { return interruptCheck && interruptCheck(); }

std::string Reason(int error) { return strerror(error); }

// ---- descriptors and writes ----

// Writes all of data. A pipe, FIFO or device may stall: it is written only
// when poll says it takes more (no more than PIPE_BUF at a time, so the
// write cannot block), and an interrupt ends the wait.
bool WriteAll(int fd, const uint8_t* data, size_t n)
{
    struct stat st;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (n > 0) {
        if (InterruptRequested()) {
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

static std::string Shown(const OutputFile* out) { return out->name == "-" ? "standard output" : out->name; }

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
        if (InterruptRequested()) {
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

// The names of a descriptor this process already holds: /dev/stdin,
// /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N (N in decimal, no
// leading zero, as the kernel reads it). -1 for any other name.
static int DescriptorOfName(const char* name)
{
    static const char* const standard[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
    for (int fd = 0; fd < 3; fd++)
        if (strcmp(name, standard[fd]) == 0)
            return fd;
    const char* digits = nullptr;
    if (strncmp(name, "/dev/fd/", 8) == 0)
        digits = name + 8;
    else if (strncmp(name, "/proc/self/fd/", 14) == 0)
        digits = name + 14;
    if (!digits || digits[0] < '0' || digits[0] > '9' || (digits[0] == '0' && digits[1] != 0))
        return -1;
    long fd = 0;
    for (const char* c = digits; *c; c++) {
        if (*c < '0' || *c > '9' || fd > INT_MAX / 10)
            return -1;
        fd = fd * 10 + (*c - '0');
    }
    return fd <= INT_MAX ? (int)fd : -1;
}

// Opening such a name anew would make a second, independent opening: a
// pipe works, but a file opened for appending would be replaced or written
// from its start. The descriptor itself is written instead, as a stream,
// like "-".
static bool PrepareDescriptor(const char* name, int fd, bool streamAllowed, OutputFile* out, std::string* why)
{
    if (!streamAllowed) {
        *why = std::string(name) + " is a descriptor; a video is written only to a regular file";
        return false;
    }
    int flags = fcntl(fd, F_GETFL);
    struct stat st;
    if (flags < 0 || fstat(fd, &st) != 0) {
        *why = "cannot write " + std::string(name) + ": " + Reason(errno);
        return false;
    }
    if ((flags & O_ACCMODE) == O_RDONLY) {
        *why = "cannot write " + std::string(name) + ": the descriptor is open for reading only";
        return false;
    }
    if (IsProtected(st)) {
        *why = std::string(name) + " is a file this program runs from; it is never overwritten";
        return false;
    }
    struct stat standardOut;
    out->fd = fd;
    out->toStdout = fd == 1 || (fstat(1, &standardOut) == 0 && standardOut.st_dev == st.st_dev &&
                                standardOut.st_ino == st.st_ino);
    return true;
}

bool PrepareOutput(const char* name, bool streamAllowed, OutputFile* out, std::string* why)
{
    out->name = name;
    out->path = name;
    out->temp.clear();
    out->fd = -1;
    out->toStdout = false;
    out->mode = NewFileMode();
    if (strcmp(name, "-") == 0) {
        if (!streamAllowed) {
            *why = "a video cannot be written to standard output: name a file";
            return false;
        }
        out->fd = 1;
        out->toStdout = true;
        return true;
    }
    int descriptor = DescriptorOfName(name);
    if (descriptor >= 0)
        return PrepareDescriptor(name, descriptor, streamAllowed, out, why);
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
        // The permissions, never set-user-ID, set-group-ID or sticky: an
        // image or a song must not become a program that runs as its owner.
        out->mode = st.st_mode & 0777;
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
        Untrack(out->temp, true);
        *why = "cannot write " + out->name + ": " + Reason(error);
        return false;
    }
    Untrack(out->temp, false);
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
    out.toStdout = false;
    out.mode = NewFileMode();
    std::string reason;
    if (!MakeTemporary(DirectoryOf(path), &out.temp, &reason)) {
        *why = "cannot write " + path + ": " + reason;
        return false;
    }
    return WriteOutput(&out, bytes, why) && PublishOutput(&out, why);
}
