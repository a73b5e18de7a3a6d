// A capture of frames: the show's frames to a video through ffmpeg, to PNG
// files, or both, with the song's sound beside the video.
#include <errno.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <algorithm>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "host/pace.h"
#include "host/show.h"
#include "platform/offline/offline.h"
#include "render/render.h"
#include "tools/capture/encode.h"
#include "tools/capture/ffmpeg.h"
#include "tools/capture/picture.h"
#include "tools/capture/publish.h"
#include "tools/capture/reuse.h"
#include "tools/capture/run.h"
#include "tools/capture/video_format.h"

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
// The encoded stretches' files, in their order (videoTemp first), and the
// encoder's state: stretches checked so far, the decoder's pace found.
static std::vector<std::string> stretchFiles;
static bool encoding;
static int64_t stretchFrames;
static int32_t framesChecked;
static double checkPace = -1.0;  // seconds a frame, the least found

// ---- the song's length, learnt ahead ----

// The frame in which the song's end mark is reached at this frame rate: the
// song rendered once on the virtual clock (about a second), then the song
// and the clock put back to their start for the capture itself.
int64_t LastFrameOfShow()
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

static void CheckDecoded(const std::string& path, int64_t frames, bool withSound);

// The next encoded stretch: a file and an encoder of its own.
static void StartStretch()
{
    std::string path, why;
    if (!MakeTemporary(DirectoryOf(outFile.path), &path, &why))
        Abort("cannot write " + std::string(options.out) + ": " + why);
    stretchFiles.push_back(path);
    if (!VideoStart(ffmpeg, path, frameLayout.width, frameLayout.height, options.fpsNum, options.fpsDen,
                    VideoCodecArgs(options), &why))
        Abort(why);
    encoding = true;
    stretchFrames = 0;
}

// A stretch's encoder finished and its file decoded to all its frames.
static void EndStretch(int64_t frames)
{
    std::string why;
    encoding = false;
    if (!VideoFinish(&why))
        Abort("cannot write " + std::string(options.out) + ": " + EncoderFailure(DirectoryOf(outFile.path), why));
    Clock::time_point start = Clock::now();
    CheckDecoded(stretchFiles.back(), frames, false);
    // The prober's start weighs on a short stretch: the least a frame is
    // nearest what the long final check will take.
    double pace = Seconds(start) / (double)std::max<int64_t>(frames, 1);
    checkPace = checkPace < 0.0 ? pace : std::min(checkPace, pace);
    framesChecked += (int32_t)frames;
}

// What is left once the frames are written: the stretches still to check
// and the final file, at the pace the checks so far decoded.
static double FinishSecondsLeft()
{
    int32_t encoded = EncodedFrames(PlannedStretches());
    return checkPace > 0.0 ? (encoded - framesChecked + framesWanted) * checkPace : 0.0;
}

// A finished frame, on the writer thread: its PNG file, its frame of video.
static void WriteOut(int32_t frame, const uint8_t* rgb, const std::vector<uint8_t>* png)
{
    std::string why;
    if (png) {
        char name[32];
        snprintf(name, sizeof name, "/frame-%06d.png", frame);
        if (!WriteFileAtomically(std::string(options.pngDir) + name, *png, &why))
            Abort(why);
    }
    if (rgb) {
        int32_t number = 0;
        bool first = false, last = false;
        bool planned = EncodedStretchOf(frame, &number, &first, &last);
        if (planned && first && number > 0)
            StartStretch();
        size_t bytes = (size_t)frameLayout.width * frameLayout.height * 3;
        if (!VideoWriteFrame(rgb, bytes, &why))
            Abort("cannot write " + std::string(options.out) + ": " + EncoderFailure(DirectoryOf(outFile.path), why));
        stretchFrames++;
        if (planned && last)
            EndStretch(stretchFrames);
    }
    framesWritten++;
    double left = WorkSecondsLeft() + (options.out ? FinishSecondsLeft() : 0.0);
    Progress(framesWritten, framesWanted, PicturesDrawn(), left);
}

static void OnFrame(int32_t frame, const uint8_t* drawn, int, int) { QueueFrame(frame, drawn); }

// The show's frame loop, except that a frame whose picture the run holds
// already only moves the timeline and the clock.
static void CaptureLoop(PlatformWindow* window)
{
    while (!ShowShouldEnd()) {
        if (!PictureKept(OfflineFramesDone() + 1)) {
            RunFrame(window);
            continue;
        }
        OfflineSkipReadBack(true);
        SkipFrame(window);
        PlatformSwapBuffers(window);
        OfflineSkipReadBack(false);
    }
}

// Smooth motion: video frame j is the picture at song time (j - 1) / fps,
// which the swap's virtual clock keeps; the show's frames behind it are
// run unseen, and a picture the run holds already is not drawn again.
static void SmoothLoop(PlatformWindow* window)
{
    bool scene = false;
    while (!ShowShouldEnd()) {
        int32_t video = OfflineFramesDone() + 1;
        ShowPass pass = VideoPass(video, options.fpsNum, options.fpsDen);
        if (!PictureKept(video)) {
            RunPass(window, pass, nullptr, nullptr, &scene);
            continue;
        }
        if (!RunUnseenTo(window, pass.due))
            return;
        OfflineSkipReadBack(true);
        PlatformSwapBuffers(window);
        OfflineSkipReadBack(false);
    }
}

static void OnSound(int64_t first, const int16_t* samples, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        int64_t n = first + i;
        if (n >= soundFirst && (soundEnd < 0 || n < soundEnd))
            sound.push_back(samples[i]);
    }
}

// Ends the run unless path decodes to its frames (and some sound, where the
// video has any).
static void CheckDecoded(const std::string& path, int64_t frames, bool withSound)
{
    int64_t video = 0, audio = 0;
    std::string why;
    bool read = ProbePackets(ffprobe, path, &video, &audio, &why);
    std::string out = options.out;
    if (!read && !why.empty())
        Abort("cannot write " + out + ": " + why);
    if (!read || video != frames || (withSound && !sound.empty() && audio == 0))
        Abort("cannot write " + out + ": " +
              EncoderFailure(DirectoryOf(outFile.path), "ffmpeg's output holds fewer frames than it was given"));
}

static std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The video's last steps: the sound beside the frames, the last encoder's
// end, the mux (joining the stretches where there are several), each result
// checked by decoding it, then the rename.
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
    if (encoding)
        EndStretch(stretchFrames);
    const std::vector<VideoStretch>& stretches = PlannedStretches();
    if (stretches.size() <= 1) {
        if (!VideoMux(ffmpeg, videoTemp, audioTemp, outFile.temp, options.outIsMkv, MuxArgs(options), &why))
            Abort("cannot write " + out + ": " + EncoderFailure(dir, why));
    } else {
        if (stretchFiles.size() != (size_t)EncodedStretches(stretches) || framesWritten != framesWanted)
            Abort("cannot write " + out + ": the show ended at frame " +
                  std::to_string(options.firstFrame + framesWritten - 1) + ", not where it was planned to");
        std::vector<std::string> names;
        std::vector<int64_t> frames;
        for (const VideoStretch& stretch : stretches) {
            names.push_back(NameOf(stretchFiles[(size_t)stretch.encoded]));
            frames.push_back(stretch.count);
        }
        std::string text = JoinList(names, frames, options.fpsNum, options.fpsDen);
        OutputFile list = outFile;
        if (!MakeTemporary(dir, &list.temp, &why) || !WriteOutput(&list, std::vector<uint8_t>(text.begin(), text.end()), &why))
            Abort("cannot write " + out + ": " + why);
        if (!VideoJoinMux(ffmpeg, dir, NameOf(list.temp), NameOf(audioTemp), NameOf(outFile.temp), options.outIsMkv,
                          MuxArgs(options), &why))
            Abort("cannot write " + out + ": " + EncoderFailure(dir, why));
    }
    CheckDecoded(outFile.temp, framesWritten, true);
    if (OfflineInterrupted())
        Abort("");
    if (!PublishOutput(&outFile, &why))
        Abort(why);
    RemoveTemporaries();
}

static std::string Frames(int32_t count) { return std::to_string(count) + (count == 1 ? " frame" : " frames"); }

// What a capture of frames ends with, once the show's loop is over.
static int FinishFrames(int status)
{
    StopReuse(!OfflineInterrupted() && status == 0);
    if (OfflineInterrupted()) {
        Cleanup();
        Say("interrupted after " + Frames(framesWritten) +
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
    // The show's own start of its sound refused: its frames are right, but
    // a video's sound would be silence.
    if (options.out && OfflineFeederRefused()) {
        Cleanup();
        Say(FEEDER_REFUSED);
        return 1;
    }
    int32_t inFile = PicturesInFile();
    fprintf(stderr, "drew %d pictures for %s%s\n", PicturesDrawn(), Frames(framesWritten).c_str(),
            inFile ? (", " + std::to_string(inFile) + " of them kept in a temporary file").c_str() : "");
    const std::vector<VideoStretch>& stretches = PlannedStretches();
    if (options.out && stretches.size() > 1) {
        int32_t encoded = EncodedStretches(stretches), copies = (int32_t)stretches.size() - encoded;
        fprintf(stderr, "encoded %d of the %s in %d %s, joined with %d %s\n", EncodedFrames(stretches),
                Frames(framesWritten).c_str(), encoded, encoded == 1 ? "stretch" : "stretches", copies,
                copies == 1 ? "copy" : "copies");
    }
    if (options.out) {
        FinishVideo();
        fprintf(report, "wrote %s: %s at %lld/%lld frames per second, %.3f s of sound; %s%s\n", options.out,
                Frames(framesWritten).c_str(), (long long)options.fpsNum, (long long)options.fpsDen,
                sound.size() / (double)SOUND_SAMPLE_RATE, DescribeCodecs(options).c_str(), DescribeFrames(frameLayout).c_str());
    }
    if (options.pngDir && framesWritten == 1)
        fprintf(report, "wrote 1 frame to %s/frame-%06d.png%s\n", options.pngDir, options.firstFrame,
                DescribeFrames(frameLayout).c_str());
    else if (options.pngDir)
        fprintf(report, "wrote %d frames to %s/frame-%06d.png ... frame-%06d.png%s\n", framesWritten,
                options.pngDir, options.firstFrame, options.firstFrame + framesWritten - 1,
                DescribeFrames(frameLayout).c_str());
    return 0;
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

int CaptureFrames()
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
        Say(OfflineFeederRefused() ? FEEDER_REFUSED : "the song's end could not be found");
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
    if (options.out && !VideoStart(ffmpeg, videoTemp, frameLayout.width, frameLayout.height, options.fpsNum,
                                   options.fpsDen, VideoCodecArgs(options), &why))
        Abort(why);
    fprintf(stderr, "capturing frames %d to %lld of the show at %lld/%lld frames per second\n",
            options.firstFrame, (long long)last, (long long)options.fpsNum, (long long)options.fpsDen);
    StartProgress();

    PlatformWindow* window = StartUp();
    ReusePlan plan;
    plan.first = options.firstFrame;
    plan.last = (int32_t)last;
    plan.width = frameLayout.width;
    plan.height = frameLayout.height;
    plan.rgb = options.out != nullptr;
    plan.png = options.pngDir != nullptr;
    // Every frame drawn, as before pictures were kept: for comparing the two.
    const char* drawAll = getenv("BRINELUX_CAPTURE_DRAW_ALL");
    plan.drawAll = drawAll && strcmp(drawAll, "1") == 0;
    plan.budget = (size_t)options.cacheMb << 20;
    plan.storeDir = options.out ? DirectoryOf(outFile.path) : std::string(options.pngDir);
    plan.write = WriteOut;
    plan.smooth = options.smooth;
    plan.fpsNum = options.fpsNum;
    plan.fpsDen = options.fpsDen;
    plan.copies = StretchCopyRule(options);
    if (options.out) {
        stretchFiles.push_back(videoTemp);
        encoding = true;
    }
    StartReuse(plan);
    if (options.smooth)
        SmoothLoop(window);
    else
        CaptureLoop(window);
    return FinishFrames(EndShow(window));
}
