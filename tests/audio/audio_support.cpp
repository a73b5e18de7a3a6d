// Test support: real threads that can be joined, a sleep the test can watch
// and shorten, and the reset of the song's state between cases.
#include "platform/platform.h"
#include "tests/audio/audio_fakes.h"

#include <chrono>
#include <string.h>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "state/shared.h"

void (*fakeSleepHook)(uint32_t milliseconds);
std::atomic<uint32_t> fakeSleepRealMs{1};
std::atomic<int> fakeSleepCount;
static std::vector<std::thread> started;

bool PlatformStartThread(void (*fn)(void*), void* arg)
{
    started.emplace_back(fn, arg);
    return true;
}

void PlatformSleep(uint32_t milliseconds)
{
    fakeSleepCount++;
    if (fakeSleepHook)
        fakeSleepHook(milliseconds);
    uint32_t ms = fakeSleepRealMs.load();
    if (ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    else
        std::this_thread::yield();
}

std::atomic<uint64_t> fakeTimeMs;

uint64_t PlatformTimeMs(void) { return fakeTimeMs.load(); }

void JoinFakeThreads(void)
{
    for (std::thread& t : started)
        t.join();
    started.clear();
}

void ResetSongAndFakes(void)
{
    ResetSong();
    fakeSleepHook = nullptr;
    fakeSleepRealMs = 1;
    fakeSleepCount = 0;
    fakeTimeMs = 0;
    lastLookMs = -1;
    lastPlayPos = 0;
    lastLookMoved = false;
    outputStandIn = false;
    audioOffsetMs = 0;
    ForgetTakes();
}
