// Files and encoders of brinelux-capture. Every output is written under a
// temporary name beside its final one and renamed only when complete.
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <string>

// RGB rows top first.
bool WritePng(const std::string& path, const uint8_t* rgb, int width, int height);
// 16-bit mono PCM at 44100 Hz.
bool WriteWav(const std::string& path, const int16_t* samples, size_t count);

// The temporary name of an output: the final name with ".part" added.
std::string PartName(const std::string& path);
// Remembers a temporary file so RemoveTemporaries can take it away.
void TrackTemporary(const std::string& path);
void UntrackTemporary(const std::string& path);
void RemoveTemporaries(void);
// Renames the temporary of path to path; false (and the temporary removed)
// when that fails.
bool Publish(const std::string& path);

// True when the directory that would hold path exists.
bool ParentDirectoryExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Full path of an executable found on PATH, or "" when there is none.
std::string FindProgram(const char* name);

// The video through ffmpeg, in two passes: raw RGB frames piped into an
// H.264 stream in a temporary file, then that stream copied together with
// the raw sound into the final container. Both passes are byte-for-byte
// repeatable.
bool VideoStart(const std::string& ffmpeg, const std::string& videoTemp, int width, int height, int64_t fpsNum,
                int64_t fpsDen);
bool VideoWriteFrame(const uint8_t* rgb, size_t bytes);
// Closes the pipe and waits for the encoder; false when it failed.
bool VideoFinish(void);
// Stops the encoder of an unfinished video, if one runs.
void VideoAbandon(void);
bool VideoMux(const std::string& ffmpeg, const std::string& videoTemp, const std::string& audioRaw,
              const std::string& outTemp, bool mkv);
