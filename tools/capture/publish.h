// How brinelux-capture publishes its files.
//
// A regular file is written under a unique temporary name in the directory
// that will hold it, synced, checked, and only then renamed over its final
// name: until that rename an earlier file of the name is untouched, and two
// runs writing the same name never share a temporary. What is not a regular
// file (a character device, a FIFO, "-" for standard output) is written in
// place as a stream, never replaced; so is a descriptor named as a file
// (/dev/stdout, /dev/fd/N, ...), which is written itself, not opened again.
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <sys/stat.h>
#include <string>
#include <vector>

// The system's words for an errno value, for the one-line reasons.
std::string Reason(int error);

// Set once, before any output is prepared: the check that tells a long
// write or wait to give up because the run was interrupted.
void SetInterruptCheck(bool (*interrupted)(void));
// That check's answer now; false while none is set.
bool InterruptRequested(void);

// Writes all of data. A pipe, FIFO or device may stall: it is written only
// when poll says it takes more (no more than PIPE_BUF at a time, so the
// write cannot block), and an interrupt ends the wait.
bool WriteAll(int fd, const uint8_t* data, size_t n);

struct OutputFile {
    std::string name;  // as the user gave it, for messages
    std::string path;  // the file published: a symbolic link is followed
    std::string temp;  // the unique temporary beside path; "" for a stream
    int fd;            // a stream's descriptor, else -1
    bool toStdout;     // that stream is standard output: summaries go elsewhere
    unsigned mode;     // permissions the published file gets
};

// Checks where name may be written and, for a regular file, creates its
// temporary. streamAllowed: a device, FIFO or "-" is written in place;
// otherwise it is refused. False with a one-line reason (no trailing
// newline) when the name cannot be written: no such directory, a directory,
// a file this program runs from, permission, ...
bool PrepareOutput(const char* name, bool streamAllowed, OutputFile* out, std::string* why);
// Writes the whole content: into the temporary, or down the stream.
bool WriteOutput(OutputFile* out, const std::vector<uint8_t>& bytes, std::string* why);
// Syncs the temporary (whoever filled it) and renames it over the final
// name. Nothing for a stream. False with a reason when that fails; the
// temporary is then removed.
bool PublishOutput(OutputFile* out, std::string* why);

// A unique empty temporary in directory dir (which must exist); its path is
// remembered until published or removed.
bool MakeTemporary(const std::string& dir, std::string* path, std::string* why);
// Removes every temporary not yet published.
void RemoveTemporaries(void);
// Stops tracking the temporary at path (published, or given up), removing
// the file too when asked.
void Untrack(const std::string& path, bool remove);
// True when a new file can be made in dir; else false with the reason.
bool CanWriteIn(const std::string& dir, std::string* why);

// The directory that holds path ("." for a bare name).
std::string DirectoryOf(const std::string& path);
bool IsDirectory(const std::string& path);
// A frame of --png-dir: refuses a name that exists as anything but a
// regular file (a link, a device, a directory).
bool CheckFrameName(const std::string& path, std::string* why);
// Writes bytes to path through a temporary in its directory, then renames.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* why);
// Refuses outputs onto the programs the run needs (this one, its libraries,
// ffmpeg and ffprobe): call before preparing outputs.
void ProtectFile(const std::string& path);
// True when st is one of those files (this program and its libraries are
// listed at the first call).
bool IsProtected(const struct stat& st);
