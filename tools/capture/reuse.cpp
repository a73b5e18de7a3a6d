#include "tools/capture/reuse.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <algorithm>
#include <unordered_map>

#include "host/pace.h"
#include "host/show.h"
#include "tools/capture/encode.h"
#include "tools/capture/picture.h"
#include "tools/capture/publish.h"
#include "tools/capture/run.h"

static uint64_t PictureKey(ShowPart part, float clock)
{
    uint32_t bits;
    memcpy(&bits, &clock, sizeof bits);
    return (uint64_t)part << 32 | bits;
}

int32_t NumberPictures(const ShowPart* parts, const float* clocks, int32_t count, int32_t* numbers)
{
    std::unordered_map<uint64_t, int32_t> seen;
    for (int32_t i = 0; i < count; i++)
        numbers[i] = parts[i] == PART_COUNT
                         ? -1
                         : seen.emplace(PictureKey(parts[i], clocks[i]), (int32_t)seen.size()).first->second;
    return (int32_t)seen.size();
}

int32_t CountPictures(const ShowPart* parts, const float* clocks, int32_t count)
{
    std::vector<int32_t> numbers((size_t)count);
    return NumberPictures(parts, clocks, count, numbers.data());
}

// ---- the plan: frame i of the run is frame first + i of the show ----

static ReusePlan plan;
static std::vector<bool> seenBefore;     // an earlier frame of the run showed it
static std::vector<int32_t> pictureOf;   // the picture's number
// A later frame of the run needs the picture's rows (it is encoded) or its
// PNG bytes.
static std::vector<bool> rowsLater;
static std::vector<bool> pngLater;
static std::vector<VideoStretch> stretches;
static std::vector<int32_t> stretchOf;   // the encoded stretch of a frame the video encodes, else -1
static std::vector<ShowPart> partOf;     // the part each frame shows

// ---- the costs measured so far, for the time left ----

// The writer's queue's lock, which also guards the costs.
static std::mutex& queueLock = *new std::mutex;
static std::condition_variable& queueChanged = *new std::condition_variable;

// The writer's kinds of frame besides the drawn ones: written from a kept
// picture into the video, anything else (a copy's PNG, nothing at all).
enum { WRITE_KEPT, WRITE_OTHER, WRITE_KINDS };

struct Costs {
    // By part: the main thread's time drawing, the writer's on the frames
    // drawn, how many so far and how many planned.
    double drawSeconds[PART_COUNT + 1];
    double writeDrawnSeconds[PART_COUNT + 1];
    int32_t drawn[PART_COUNT + 1];
    // A part's first picture carries the driver's compile of its program
    // (seconds on a software renderer): drawn, but not in the part's mean.
    int32_t measured[PART_COUNT + 1];
    int32_t drawnWritten[PART_COUNT + 1];
    int32_t toDraw[PART_COUNT + 1];
    int32_t latestPart = -1;             // of the picture measured last
    double writeSeconds[WRITE_KINDS];    // the writer's time on the other frames
    int32_t written[WRITE_KINDS];
    int32_t toWrite[WRITE_KINDS];        // planned
};

static Costs costs;
static Clock::time_point lastQueued;

// Of a frame not drawn.
static int WriteKind(size_t i) { return plan.rgb && stretchOf[i] >= 0 ? WRITE_KEPT : WRITE_OTHER; }

// Smooth motion's pictures, frame j of the video showing the show's frame
// due at its time with that frame's clock moved on.
static void PlanSmoothFrames(std::vector<ShowPart>* parts, std::vector<float>* clocks)
{
    double since = 0.0;
    int32_t shown = SmoothVideoFrame(plan.last, plan.fpsNum, plan.fpsDen, &since);
    std::vector<ShowPart> showParts((size_t)shown);
    std::vector<float> showFrameClocks((size_t)shown);
    PlanShowFrames(shown, showParts.data(), showFrameClocks.data());
    for (int32_t j = 1; j <= plan.last; j++) {
        size_t k = (size_t)SmoothVideoFrame(j, plan.fpsNum, plan.fpsDen, &since) - 1;
        (*parts)[(size_t)j - 1] = showParts[k];
        (*clocks)[(size_t)j - 1] = SmoothClockOf(showParts[k], showFrameClocks[k], since);
    }
}

static void MakePlan()
{
    int32_t frames = plan.last - plan.first + 1;
    std::vector<ShowPart> parts((size_t)plan.last);
    std::vector<float> clocks((size_t)plan.last);
    if (plan.smooth)
        PlanSmoothFrames(&parts, &clocks);
    else
        PlanShowFrames(plan.last, parts.data(), clocks.data());
    seenBefore.assign((size_t)frames, false);
    pictureOf.assign((size_t)frames, -1);
    partOf.assign(parts.begin() + (plan.first - 1), parts.end());
    std::unordered_map<uint64_t, int32_t> numbers;
    for (int32_t i = 0; i < frames; i++) {
        int32_t k = plan.first - 1 + i;
        // A frame that shows nothing has no picture to share.
        if (plan.drawAll || parts[(size_t)k] == PART_COUNT)
            continue;
        auto found = numbers.emplace(PictureKey(parts[(size_t)k], clocks[(size_t)k]), (int32_t)numbers.size());
        pictureOf[(size_t)i] = found.first->second;
        seenBefore[(size_t)i] = !found.second;
    }
    stretches.clear();
    stretchOf.assign((size_t)frames, -1);
    if (plan.rgb) {
        PlanStretches(pictureOf.data(), frames, plan.drawAll ? CopyRule{0, 0} : plan.copies, &stretches);
        for (const VideoStretch& s : stretches)
            for (int32_t i = s.first; i < s.first + s.count && !s.copy; i++)
                stretchOf[(size_t)i] = s.encoded;
    }
    // Backwards: what the frames after each one need of its picture.
    rowsLater.assign((size_t)frames, false);
    pngLater.assign((size_t)frames, false);
    std::vector<bool> rowsAfter(numbers.size(), false), shownAfter(numbers.size(), false);
    for (int32_t i = frames - 1; i >= 0; i--) {
        int32_t n = pictureOf[(size_t)i];
        if (n < 0)
            continue;
        rowsLater[(size_t)i] = rowsAfter[(size_t)n];
        pngLater[(size_t)i] = plan.png && shownAfter[(size_t)n];
        rowsAfter[(size_t)n] = rowsAfter[(size_t)n] || stretchOf[(size_t)i] >= 0;
        shownAfter[(size_t)n] = true;
    }
    costs = Costs();
    for (int32_t i = 0; i < frames; i++) {
        if (!seenBefore[(size_t)i])
            costs.toDraw[partOf[(size_t)i]]++;
        else
            costs.toWrite[WriteKind((size_t)i)]++;
    }
}

static double Mean(double seconds, int32_t count) { return count > 0 ? seconds / count : 0.0; }

double WorkSecondsLeft(void)
{
    std::lock_guard<std::mutex> lock(queueLock);
    double left = 0.0;
    for (int p = 0; p <= PART_COUNT; p++) {
        // A part not drawn yet costs what the latest drawn did. The writer
        // works on a drawn frame while the next is drawn: the slower of the
        // two sets the pace.
        int q = costs.measured[p] > 0 ? p : costs.latestPart;
        if (q >= 0)
            left += std::max(0, costs.toDraw[p] - costs.drawn[p]) *
                    std::max(Mean(costs.drawSeconds[q], costs.measured[q]),
                             Mean(costs.writeDrawnSeconds[q], costs.drawnWritten[q]));
    }
    // Frames not drawn wait for the writer alone.
    for (int k = 0; k < WRITE_KINDS; k++) {
        int q = costs.written[k] > 0 ? k : (int)WRITE_KEPT;
        left += std::max(0, costs.toWrite[k] - costs.written[k]) * Mean(costs.writeSeconds[q], costs.written[q]);
    }
    return left;
}

const std::vector<VideoStretch>& PlannedStretches(void) { return stretches; }

bool EncodedStretchOf(int32_t frame, int32_t* number, bool* first, bool* last)
{
    int64_t i = (int64_t)frame - plan.first;
    if (i < 0 || i >= (int64_t)stretchOf.size() || stretchOf[(size_t)i] < 0)
        return false;
    *number = stretchOf[(size_t)i];
    *first = i == 0 || stretchOf[(size_t)i - 1] != *number;
    *last = i + 1 == (int64_t)stretchOf.size() || stretchOf[(size_t)i + 1] != *number;
    return true;
}

bool PictureKept(int32_t frame)
{
    int64_t i = (int64_t)frame - plan.first;
    return i >= 0 && i < (int64_t)seenBefore.size() && seenBefore[(size_t)i];
}

// ---- the kept pictures ----

struct Kept {
    std::vector<uint8_t> rgb;  // in memory
    std::vector<uint8_t> png;
    int64_t at = -1;           // or in the file from here: rgb, then png
    size_t rgbBytes = 0;
    size_t pngBytes = 0;
};

static std::vector<Kept> kept;
static size_t heldBytes;
static int storeFd = -1;
// The file's name, so that it goes when the run ends, however it ends.
static std::string storePath;
static int64_t storeEnd;
// Stretches of the file whose pictures are no longer needed.
static std::vector<std::pair<int64_t, int64_t>> storeHoles;
static std::atomic<int32_t> inFile;

static void FailStore(const char* doing, int error)
{
    Abort(std::string("cannot ") + doing + " the pictures kept in " + plan.storeDir + ": " + strerror(error));
}

static int64_t StoreSpace(int64_t bytes)
{
    for (std::pair<int64_t, int64_t>& hole : storeHoles)
        if (hole.second >= bytes) {
            int64_t at = hole.first;
            hole.first += bytes;
            hole.second -= bytes;
            return at;
        }
    int64_t at = storeEnd;
    storeEnd += bytes;
    return at;
}

static void StoreWrite(const uint8_t* data, size_t n, int64_t at)
{
    while (n > 0) {
        ssize_t done = pwrite(storeFd, data, n, (off_t)at);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            FailStore("write", done < 0 ? errno : ENOSPC);
        data += done;
        n -= (size_t)done;
        at += done;
    }
}

static void StoreRead(std::vector<uint8_t>* out, size_t n, int64_t at)
{
    out->resize(n);
    uint8_t* data = out->data();
    while (n > 0) {
        ssize_t done = pread(storeFd, data, n, (off_t)at);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            FailStore("read", done < 0 ? errno : EIO);
        data += done;
        n -= (size_t)done;
        at += done;
    }
}

static void Keep(int32_t n, const uint8_t* rgb, const std::vector<uint8_t>* png)
{
    Kept& k = kept[(size_t)n];
    k.rgbBytes = rgb ? (size_t)plan.width * plan.height * 3 : 0;
    k.pngBytes = png ? png->size() : 0;
    size_t bytes = k.rgbBytes + k.pngBytes;
    if (heldBytes + bytes <= plan.budget) {
        if (rgb)
            k.rgb.assign(rgb, rgb + k.rgbBytes);
        if (png)
            k.png = *png;
        heldBytes += bytes;
        return;
    }
    if (storeFd < 0) {
        std::string why;
        if (!MakeTemporary(plan.storeDir, &storePath, &why))
            Abort("cannot keep pictures in " + plan.storeDir + ": " + why);
        storeFd = open(storePath.c_str(), O_RDWR | O_CLOEXEC);
        if (storeFd < 0)
            FailStore("open", errno);
    }
    k.at = StoreSpace((int64_t)bytes);
    if (rgb)
        StoreWrite(rgb, k.rgbBytes, k.at);
    if (png)
        StoreWrite(png->data(), k.pngBytes, k.at + (int64_t)k.rgbBytes);
    inFile++;
}

static std::vector<uint8_t> readRgb;
static std::vector<uint8_t> readPng;

static void Fetch(int32_t n, const uint8_t** rgb, const std::vector<uint8_t>** png)
{
    Kept& k = kept[(size_t)n];
    if (k.at < 0) {
        *rgb = k.rgbBytes ? k.rgb.data() : nullptr;
        *png = k.pngBytes ? &k.png : nullptr;
        return;
    }
    if (k.rgbBytes)
        StoreRead(&readRgb, k.rgbBytes, k.at);
    if (k.pngBytes)
        StoreRead(&readPng, k.pngBytes, k.at + (int64_t)k.rgbBytes);
    *rgb = k.rgbBytes ? readRgb.data() : nullptr;
    *png = k.pngBytes ? &readPng : nullptr;
}

static void Release(int32_t n)
{
    Kept& k = kept[(size_t)n];
    if (k.at >= 0) {
        storeHoles.push_back({k.at, (int64_t)(k.rgbBytes + k.pngBytes)});
    } else {
        heldBytes -= k.rgbBytes + k.pngBytes;
        std::vector<uint8_t>().swap(k.rgb);
        std::vector<uint8_t>().swap(k.png);
    }
    k = Kept();
}

// ---- the writer ----

// Frames drawn and waiting: a few, so the drawing never waits on one slow
// encode, and memory stays a few frames beyond the kept pictures.
static const int SLOTS = 3;
static const int JOBS = 64;

struct Job {
    int32_t frame;
    int32_t slot;  // the drawn frame's rows, or -1 for a kept picture
};

static Job jobs[JOBS];
static int jobHead, jobCount;
static std::vector<uint8_t> slots[SLOTS];
static bool slotBusy[SLOTS];
static bool stopping, draining;
static std::thread writer;
static std::atomic<int32_t> drawn;

static void WriteJob(const Job& job, std::vector<uint8_t>* encoded)
{
    size_t i = (size_t)(job.frame - plan.first);
    // A frame past the plan (the show ran longer than learnt) is drawn,
    // encoded and kept for nothing.
    bool planned = i < pictureOf.size();
    int32_t n = planned ? pictureOf[i] : -1;
    bool rowsNeeded = planned && rowsLater[i];
    bool pngNeeded = planned && pngLater[i];
    // A frame of a copied stretch is in the video already.
    bool video = plan.rgb && (!planned || stretchOf[i] >= 0);
    Clock::time_point start = Clock::now();
    const uint8_t* rgb = nullptr;
    const std::vector<uint8_t>* png = nullptr;
    if (job.slot >= 0) {
        rgb = slots[job.slot].data();
        if (plan.png) {
            if (!EncodePng(rgb, plan.width, plan.height, encoded))
                Abort("cannot encode frame " + std::to_string(job.frame) + " as PNG");
            png = encoded;
        }
        if (n >= 0 && (rowsNeeded || pngNeeded))
            Keep(n, plan.rgb && rowsNeeded ? rgb : nullptr, pngNeeded ? png : nullptr);
    } else {
        Fetch(n, &rgb, &png);
    }
    plan.write(job.frame, video ? rgb : nullptr, png);
    if (job.slot < 0 && !rowsNeeded && !pngNeeded)
        Release(n);
    double seconds = Seconds(start);
    if (planned) {
        std::lock_guard<std::mutex> lock(queueLock);
        if (job.slot >= 0) {
            costs.writeDrawnSeconds[partOf[i]] += seconds;
            costs.drawnWritten[partOf[i]]++;
        } else {
            costs.writeSeconds[WriteKind(i)] += seconds;
            costs.written[WriteKind(i)]++;
        }
    }
}

static void WriteFrames()
{
    std::vector<uint8_t> encoded;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(queueLock);
            queueChanged.wait(lock, [] { return jobCount > 0 || stopping; });
            if (stopping && (!draining || jobCount == 0))
                return;
            job = jobs[jobHead];
        }
        WriteJob(job, &encoded);
        std::lock_guard<std::mutex> lock(queueLock);
        jobHead = (jobHead + 1) % JOBS;
        jobCount--;
        if (job.slot >= 0)
            slotBusy[job.slot] = false;
        queueChanged.notify_all();
    }
}

void StartReuse(const ReusePlan& settings)
{
    plan = settings;
    MakePlan();
    int32_t pictures = 0;
    for (int32_t n : pictureOf)
        pictures = std::max(pictures, n + 1);
    kept.resize((size_t)pictures);
    for (std::vector<uint8_t>& slot : slots)
        slot.resize((size_t)plan.width * plan.height * 3);
    lastQueued = Clock::now();
    writer = std::thread(WriteFrames);
}

void QueueFrame(int32_t frame, const uint8_t* surface)
{
    Clock::time_point now = Clock::now();
    std::unique_lock<std::mutex> lock(queueLock);
    int slot = -1;
    size_t i = (size_t)(frame - plan.first);
    if (surface && i < partOf.size()) {
        // From the end of the last frame's queueing: the time spent drawing
        // this one, and moving the clock over the frames kept before it.
        int part = partOf[i];
        if (costs.drawn[part]++ > 0) {
            costs.drawSeconds[part] += std::chrono::duration<double>(now - lastQueued).count();
            costs.measured[part]++;
            costs.latestPart = part;
        }
    }
    if (surface) {
        queueChanged.wait(lock, [&slot] {
            for (slot = 0; slot < SLOTS && slotBusy[slot]; slot++) {
            }
            return slot < SLOTS;
        });
        slotBusy[slot] = true;
        // Composed here: the slot then holds only the frame, whatever the
        // supersample.
        lock.unlock();
        ComposeFrame(frameLayout, surface, slots[slot].data());
        drawn++;
        lock.lock();
    }
    queueChanged.wait(lock, [] { return jobCount < JOBS; });
    jobs[(jobHead + jobCount) % JOBS] = {frame, slot};
    jobCount++;
    queueChanged.notify_all();
    lastQueued = Clock::now();
}

void StopReuse(bool drain)
{
    if (!writer.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(queueLock);
        stopping = true;
        draining = drain;
        queueChanged.notify_all();
    }
    writer.join();
    if (storeFd >= 0)
        close(storeFd);
    storeFd = -1;
    // Every picture the run needs from it has been read back by now.
    if (!storePath.empty())
        Untrack(storePath, true);
    storePath.clear();
}

int32_t PicturesDrawn(void) { return drawn; }
int32_t PicturesInFile(void) { return inFile; }
