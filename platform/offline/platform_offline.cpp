// Offline backend of the platform layer: the show rendered with no window,
// no display and no sound device, on a virtual clock.
//
// The "screen" is the headless framebuffer object; the swap hands the frame
// to the capture and moves the clock to the next frame's start. The feeder
// thread is a real thread, but its sleep waits on the virtual clock: the swap
// wakes it for every refill that falls before the next frame and waits until
// it sleeps again, so exactly one of the two threads runs at any moment and
// the order of frames and refills is fixed by virtual time alone.
#include "platform/offline/offline.h"
#include "platform/platform.h"
#include "platform/sound_ring.h"

#include <condition_variable>
#include <mutex>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <thread>
#include <unistd.h>
#include <atomic>
#include "platform/headless/headless_gl.h"
#include "platform/posix/process.h"
#include "platform/posix/signals.h"

struct PlatformWindow {
    int width;
    int height;
};

enum FeederState { FEEDER_NONE, FEEDER_RUNNING, FEEDER_ASLEEP, FEEDER_DONE };

static const int64_t SAMPLE_RATE = SOUND_SAMPLE_RATE;

static PlatformWindow offlineWindow;

static int64_t fpsNum = 25, fpsDen = 1;
static int32_t firstFrame = 1, lastFrame = 0;
static OfflineFrameSink frameSink;
static OfflineSoundSink soundSink;
static bool skipReadBack;
static std::atomic<int32_t> framesDone;
static std::atomic<bool> terminationRequested;
static std::atomic<int> interruptSignal;

// The virtual sound device.
static uint8_t ring[SOUND_RING_BYTES];
static bool soundStarted;
static int64_t samplesPlayed;

// The virtual clock, in ticks of 1 / (1000 x fpsNum) s: frame starts and the
// feeder's 1 ms steps are then both whole numbers of ticks. Everything below
// is guarded by clockLock.
// Never destroyed: the feeder may still wait on them while the process
// exits, and a destroyed condition variable would hang the exit.
static std::mutex& clockLock = *new std::mutex;
static std::condition_variable& clockChanged = *new std::condition_variable;
static int64_t clockTicks;
static FeederState feederState = FEEDER_NONE;
static int64_t feederWake;
static int64_t refillsDone;
static std::thread::id feederId;
static void (*feederFn)(void*);
static void* feederArg;
// A feeder the system would not start (no memory for its stack): the song
// then never plays, which the capture must not take for its end.
static bool feederRefused;

// The read-back of a frame and the same rows top first, made with the
// window at the framebuffer's size.
static uint8_t* readBack;
static uint8_t* topDown;

static int64_t TicksPerSecond() { return 1000 * fpsNum; }
static int64_t (*framePeriodsBefore)(int64_t frame);
static int64_t FrameStartTicks(int64_t frame) { return framePeriodsBefore(frame) * fpsDen * 1000; }

// Samples whose time n / 44100 lies before t, rounding half up.
static int64_t SamplesAt(int64_t ticks)
{
    int64_t d = TicksPerSecond();
    return (2 * ticks * SAMPLE_RATE + d) / (2 * d);
}

void OfflineSetFrameRule(int64_t (*periodsBefore)(int64_t frame)) { framePeriodsBefore = periodsBefore; }

void OfflineSetFrameRate(int64_t num, int64_t den)
{
    if (num > 0 && den > 0) {
        fpsNum = num;
        fpsDen = den;
    }
}

void OfflineSetFrameRange(int32_t first, int32_t last)
{
    firstFrame = first > 0 ? first : 1;
    lastFrame = last > 0 ? last : 0;
}

void OfflineSetSinks(OfflineFrameSink frames, OfflineSoundSink sound)
{
    frameSink = frames;
    soundSink = sound;
}

void OfflineSkipReadBack(bool skip) { skipReadBack = skip; }

int64_t OfflineSamplesBeforeFrame(int64_t frame) { return SamplesAt(FrameStartTicks(frame)); }

int64_t OfflineFrameOfRefill(int64_t refill)
{
    // The last frame that starts at or before the refill's time, by the
    // host's rule, found by doubling and then halving.
    int64_t ticks = refill * SOUND_REFILL_MS * fpsNum, low = 1, high = 2;
    while (FrameStartTicks(high) <= ticks)
        high *= 2;
    while (high - low > 1) {
        int64_t middle = low + (high - low) / 2;
        (FrameStartTicks(middle) <= ticks ? low : high) = middle;
    }
    return low;
}

int32_t OfflineFramesDone(void) { return framesDone; }

bool OfflineFeederRefused(void)
{
    std::lock_guard<std::mutex> lock(clockLock);
    return feederRefused;
}

// Plays the ring up to time t: the samples it passes go to the sound sink in
// order. Before the ring starts the device plays silence.
static void PlayTo(int64_t ticks)
{
    static const int16_t silence[1024] = {0};
    int64_t target = SamplesAt(ticks);
    while (samplesPlayed < target) {
        int64_t left = target - samplesPlayed;
        const int16_t* from = silence;
        int64_t chunk = sizeof silence / sizeof silence[0];
        if (soundStarted) {
            uint32_t offset = (uint32_t)((samplesPlayed * 2) % SOUND_RING_BYTES);
            from = (const int16_t*)(ring + offset);
            chunk = (SOUND_RING_BYTES - offset) / 2;
        }
        if (chunk > left)
            chunk = left;
        if (soundSink)
            soundSink(samplesPlayed, from, (int32_t)chunk);
        samplesPlayed += chunk;
    }
}

// Moves the clock to the sleeping feeder's wake time and lets it run its
// refill. Called with clockLock held.
static void WakeFeeder()
{
    clockTicks = feederWake;
    PlayTo(clockTicks);
    feederState = FEEDER_RUNNING;
    clockChanged.notify_all();
}

// Moves the clock to t, waking the feeder for each of its refills that falls
// before t and waiting for it to finish that refill.
static void AdvanceTo(int64_t ticks)
{
    std::unique_lock<std::mutex> lock(clockLock);
    for (;;) {
        clockChanged.wait(lock, [] { return feederState != FEEDER_RUNNING; });
        if (feederState != FEEDER_ASLEEP || feederWake >= ticks)
            break;
        WakeFeeder();
    }
    if (ticks > clockTicks) {
        clockTicks = ticks;
        PlayTo(clockTicks);
    }
}

int64_t OfflineRunSoundToEnd(int64_t maxRefills)
{
    std::unique_lock<std::mutex> lock(clockLock);
    // The feeder leaves its loop at the first turn after the end mark.
    for (;;) {
        clockChanged.wait(lock, [] { return feederState != FEEDER_RUNNING; });
        if (feederState != FEEDER_ASLEEP || refillsDone >= maxRefills || OfflineInterrupted())
            break;
        WakeFeeder();
    }
    return refillsDone;
}

bool OfflineRewind(void)
{
    std::lock_guard<std::mutex> lock(clockLock);
    // Only a feeder that has left its loop can be forgotten.
    if (feederState == FEEDER_RUNNING || feederState == FEEDER_ASLEEP)
        return false;
    feederState = FEEDER_NONE;
    clockTicks = 0;
    samplesPlayed = 0;
    refillsDone = 0;
    soundStarted = false;
    framesDone = 0;
    return true;
}

// ---- display, window and context ----

static void OnTerminationSignal(int signal)
{
    interruptSignal.store(signal);
    terminationRequested.store(true);
}

bool OfflineInterrupted(void) { return interruptSignal.load() != 0; }
int OfflineInterruptSignal(void) { return interruptSignal.load(); }

void OfflineCatchInterrupts(void)
{
    // Reads, writes and waits carry on; the flag is looked at between frames.
    CatchTerminationSignals(OnTerminationSignal, true);
}

// A capture interrupted from the terminal ends like the show asked to stop,
// so the capture can remove what it had not finished. Its tool has kept
// descriptors 0-2 open itself, before anything else.
void PlatformStartProcess(void) { OfflineCatchInterrupts(); }

void PlatformUseScreen(PlatformScreenUse) {}
// Nothing to open: the capture draws into its own framebuffer.
bool PlatformOpenDisplay(void) { return true; }
void PlatformSetDisplayMode(int, int, int) {}

void PlatformRestoreDisplayMode(void) {}
void PlatformShowCursor(bool) {}

// Frames before the first captured one cost no fragment work: an empty
// scissor box discards every fragment of the clear, the quad and the text.
static void SetFragmentWork(int32_t frame)
{
    if (frame < firstFrame) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 0, 0);
    } else {
        glDisable(GL_SCISSOR_TEST);
    }
}

PlatformWindow* PlatformCreateWindow(int, int, int width, int height)
{
    // One context for the process: a tool that made the window before the
    // show's start-up, at whatever size it draws, gets the same one back.
    if (offlineWindow.width != 0)
        return &offlineWindow;
    if (framePeriodsBefore == NULL) {
        SetPlatformError("no frame rule: the host must set one before the offline window");
        return NULL;
    }
    size_t bytes = (size_t)(width > 0 ? width : 0) * (size_t)(height > 0 ? height : 0) * 3;
    if (bytes == 0) {
        SetPlatformError("no %dx%d offline framebuffer", width, height);
        return NULL;
    }
    if (!HeadlessCreateContext(width, height)) {
        SetPlatformError("no headless OpenGL context: %s", HeadlessError());
        return NULL;
    }
    readBack = (uint8_t*)malloc(bytes);
    topDown = (uint8_t*)malloc(bytes);
    if (readBack == NULL || topDown == NULL) {
        SetPlatformError("no memory for %dx%d frames", width, height);
        return NULL;
    }
    offlineWindow.width = width;
    offlineWindow.height = height;
    SetFragmentWork(1);
    return &offlineWindow;
}

// The framebuffer keeps the size it was made at.
void PlatformDrawableSize(PlatformWindow* window, int* width, int* height)
{
    *width = window->width;
    *height = window->height;
}
void PlatformSetFullscreen(PlatformWindow*, bool) {}
void PlatformFocusWindow(PlatformWindow*) {}

void PlatformSwapBuffers(PlatformWindow* window)
{
    // A refill started during this frame (the first one, right after the
    // sound starts) belongs to it: let it finish before the frame ends.
    {
        std::unique_lock<std::mutex> lock(clockLock);
        clockChanged.wait(lock, [] { return feederState != FEEDER_RUNNING; });
    }
    int32_t frame = ++framesDone;
    bool wanted = frame >= firstFrame && (lastFrame == 0 || frame <= lastFrame);
    if (wanted && frameSink && skipReadBack) {
        frameSink(frame, nullptr, window->width, window->height);
    } else if (wanted && frameSink) {
        int w = window->width, h = window->height;
        size_t row = (size_t)w * 3;
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, readBack);
        // GL rows come bottom first.
        for (int y = 0; y < h; y++)
            memcpy(topDown + (size_t)y * row, readBack + (size_t)(h - 1 - y) * row, row);
        frameSink(frame, topDown, w, h);
    }
    AdvanceTo(FrameStartTicks((int64_t)frame + 1));
    SetFragmentWork(frame + 1);
    if (lastFrame != 0 && frame >= lastFrame)
        terminationRequested.store(true);
}

void PlatformReleaseContext(PlatformWindow*) {}

// No keyboard: a capture runs to its end.
// No monitors: the capture draws offscreen.
int32_t PlatformDisplays(char* text, uint32_t size)
{
    if (size > 0)
        text[0] = 0;
    return 0;
}
void PlatformUseDisplay(int32_t) {}

int32_t PlatformKeyPresses(PlatformKey) { return 0; }
bool PlatformKeyPressed(PlatformKey) { return false; }
void PlatformRemoveOneMessage(void) {}
bool PlatformTerminationRequested(void) { return terminationRequested.load(); }

// ---- sound ring ----

void PlatformSoundStart(PlatformWindow*, uint32_t)
{
    std::lock_guard<std::mutex> lock(clockLock);
    memset(ring, 0, sizeof ring);
    // The play position is counted from the start of frame 1, which is where
    // the show starts its sound; a later start keeps the counting.
    soundStarted = true;
}

uint32_t PlatformSoundPlayPosition(void)
{
    std::lock_guard<std::mutex> lock(clockLock);
    return (uint32_t)((SamplesAt(clockTicks) * 2) % SOUND_RING_BYTES);
}

// Nothing plays here to pause: the clock that drives it is held instead.
void PlatformSoundPause(bool) {}

PlatformSoundState PlatformSoundClock(PlatformSoundTake* take)
{
    // The virtual clock has no takes of its own: the position tells.
    *take = PlatformSoundTake();
    return PLATFORM_SOUND_PLAYING;
}

bool PlatformSoundLock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1, void** p2, uint32_t* l2)
{
    if (!soundStarted) {
        *p1 = *p2 = NULL;
        *l1 = *l2 = 0;
        return false;
    }
    return RingLockRegions(ring, SOUND_RING_BYTES, offset, bytes, p1, l1, p2, l2);
}

void PlatformSoundUnlock(void*, uint32_t, void*, uint32_t) {}

// ---- threads, time, diagnostics, process ----

static void RunFeeder()
{
    feederFn(feederArg);
    std::lock_guard<std::mutex> lock(clockLock);
    feederState = FEEDER_DONE;
    clockChanged.notify_all();
}

bool PlatformStartThread(void (*fn)(void*), void* arg)
{
    std::lock_guard<std::mutex> lock(clockLock);
    // The lock step knows one feeder.
    if (feederState != FEEDER_NONE)
        return false;
    feederFn = fn;
    feederArg = arg;
    feederWake = clockTicks;
    feederState = FEEDER_RUNNING;
    try {
        std::thread t(RunFeeder);
        feederId = t.get_id();
        t.detach();
    } catch (...) {
        feederState = FEEDER_NONE;
        feederRefused = true;
        return false;
    }
    return true;
}

// The virtual clock: its ticks are 1 / fpsNum ms.
uint64_t PlatformTimeMs(void)
{
    std::lock_guard<std::mutex> lock(clockLock);
    return (uint64_t)(clockTicks / fpsNum);
}

void PlatformSleep(uint32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(clockLock);
    // Only the feeder sleeps on the virtual clock; anyone else has nothing
    // to wait for.
    if (std::this_thread::get_id() != feederId)
        return;
    feederWake += (int64_t)milliseconds * fpsNum;
    feederState = FEEDER_ASLEEP;
    refillsDone++;
    clockChanged.notify_all();
    clockChanged.wait(lock, [] { return feederState == FEEDER_RUNNING; });
}
