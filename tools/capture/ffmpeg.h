// The ffmpeg and ffprobe processes of brinelux-capture.
//
// The video goes through ffmpeg in two passes: raw RGB frames piped into an
// H.264 stream in a temporary file (one for each encoded stretch, see
// stretches.h), then the stream (or the stretches joined in order) copied
// together with the raw sound into the final container. Both passes are byte-for-byte
// repeatable. The paths handed to ffmpeg are always read as files. A child
// runs in a process group of its own and is killed at once when the run is
// interrupted (the check set by SetInterruptCheck).
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <string>
#include <vector>

// Full path of an executable found on PATH, or "" when there is none.
std::string FindProgram(const char* name);

// codec: the output options that encode the video stream from RGB24.
bool VideoStart(const std::string& ffmpeg, const std::string& videoTemp, int width, int height, int64_t fpsNum,
                int64_t fpsDen, const std::vector<std::string>& codec, std::string* why);
bool VideoWriteFrame(const uint8_t* rgb, size_t bytes, std::string* why);
// Closes the pipe and waits for the encoder; false when it failed.
bool VideoFinish(std::string* why);
// Kills the encoder of an unfinished video, if one runs, at once: a stopped
// or stalled encoder must not hold the run.
void VideoAbandon(void);
// streams: the output options for the copied video's tags and the sound's
// encoder (from 16-bit mono samples).
bool VideoMux(const std::string& ffmpeg, const std::string& videoTemp, const std::string& audioRaw,
              const std::string& outTemp, bool mkv, const std::vector<std::string>& streams, std::string* why);
// The list of files the join reads (ffmpeg's concat demuxer): names (of
// letters, digits, '.' and '-' only) in a directory the join runs in, each
// of frames[i] frames at the rate.
std::string JoinList(const std::vector<std::string>& names, const std::vector<int64_t>& frames, int64_t fpsNum,
                     int64_t fpsDen);
// As VideoMux, the video joined from the files listName lists, each copied
// as it stands; run in dir, where each name is.
bool VideoJoinMux(const std::string& ffmpeg, const std::string& dir, const std::string& listName,
                  const std::string& audioName, const std::string& outName, bool mkv,
                  const std::vector<std::string>& streams, std::string* why);
// The last line ffmpeg wrote on standard error in its latest run, or else
// the last ffprobe wrote, cut to its reason ("No space left on device");
// "" when neither said anything.
std::string LastChildMessage(void);
// Counts the frames of each kind in a media file by decoding it with
// ffprobe: false when it cannot be read at all; false with a reason when
// ffprobe cannot be started or stalls (no processor time used for 20 s, or
// still at work a minute plus a second a megabyte after it started; it is
// then killed).
bool ProbePackets(const std::string& ffprobe, const std::string& path, int64_t* video, int64_t* audio,
                  std::string* why);
