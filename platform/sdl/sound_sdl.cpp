// Linux sound ring: a looping ring of 16-bit mono samples that the sound
// server (through libpulse) or SDL's audio device takes in small chunks,
// reporting how far it has taken and when.
//
// The feeder writes into a staging copy of the ring; Unlock copies the
// written regions into the played ring under the ring's lock, so the two
// threads never touch the same bytes at once. The device is opened on a
// thread of its own: a sound server that does not answer holds only that
// thread. Where no device opens, a silent stand-in advances the play
// position from a monotonic clock, so the song and its end mark still keep
// real time.
#include "platform/platform.h"
#include "platform/sdl/sound_pulse.h"
#include "platform/sound_ring.h"

#include <SDL2/SDL.h>
#include <atomic>
#include <dlfcn.h>
#include <mutex>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const int DEVICE_CHUNK_SAMPLES = 256;

static uint8_t ring[SOUND_RING_BYTES];    // what the device plays; ringLock held
static uint8_t staging[SOUND_RING_BYTES]; // the feeder's side of the ring
static std::mutex ringLock;
static uint32_t rate = SOUND_SAMPLE_RATE;
static SDL_AudioDeviceID device;
static bool started;
static std::atomic<int> state{PLATFORM_SOUND_OPENING};
// The viewer's pause, and where it is carried out: asked before the device
// opened, the opener applies it. The lock also keeps the silent clock's
// calls apart.
static std::mutex pauseLock;
static bool pauseWanted;
static bool onServer;
// Offset up to which the device has taken data; written by the device's
// thread only.
static std::atomic<uint32_t> playPosition;

// The latest take, written by the device's thread, read whole by others.
static std::mutex takeLock;
static PlatformSoundTake lastTake;

static int64_t MonotonicNs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

// Copies the next len bytes of the ring out, moving the play position on.
static void Pull(uint8_t* out, uint32_t len)
{
    std::lock_guard<std::mutex> hold(ringLock);
    uint32_t pos = playPosition.load(std::memory_order_relaxed);
    while (len > 0) {
        uint32_t chunk = SOUND_RING_BYTES - pos;
        if (chunk > len)
            chunk = len;
        memcpy(out, ring + pos, chunk);
        out += chunk;
        len -= chunk;
        pos += chunk;
        if (pos >= SOUND_RING_BYTES)
            pos = 0;
    }
    playPosition.store(pos, std::memory_order_release);
}

static void Took(uint32_t bytes, uint64_t latencyUs)
{
    std::lock_guard<std::mutex> hold(takeLock);
    lastTake.position = playPosition.load(std::memory_order_relaxed);
    lastTake.bytes = bytes;
    lastTake.atUs = (uint64_t)(MonotonicNs() / 1000);
    lastTake.latencyUs = latencyUs;
    lastTake.count++;
}

static void SDLCALL PlayChunk(void*, Uint8* stream, int len)
{
    uint32_t bytes = len > 0 ? (uint32_t)len : 0;
    Pull(stream, bytes);
    // SDL says nothing of what lies beyond its callback.
    Took(bytes, 0);
}

// libasound writes its own lines on standard error when there is no card;
// the show says it in one line of its own.
typedef void (*AlsaErrorHandler)(const char*, int, const char*, int, const char*, ...);
static void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

static void QuietenAlsa(void)
{
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa)
        return;
    int (*setHandler)(AlsaErrorHandler) = (int (*)(AlsaErrorHandler))dlsym(alsa, "snd_lib_error_set_handler");
    if (setHandler)
        setHandler(QuietAlsa);
}

static bool OpenSdlDevice(void)
{
    QuietenAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec want;
    SDL_AudioSpec have;
    memset(&want, 0, sizeof want);
    want.freq = (int)rate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    // Small chunks keep the reported position close to what is heard.
    want.samples = DEVICE_CHUNK_SAMPLES;
    want.callback = PlayChunk;
    // No changes allowed: SDL converts to whatever the hardware wants.
    device = SDL_OpenAudioDevice(NULL, 0, &want, &have, 0);
    return device != 0;
}

// The stand-in plays from now on.
static void GoSilent(void)
{
    std::lock_guard<std::mutex> hold(pauseLock);
    SilentClockStart((uint64_t)MonotonicNs(), 1000000000u);
    state.store(PLATFORM_SOUND_SILENT);
}

// The sound server first, where SDL is not told to use a driver of its own
// choosing; SDL's audio for everything else (ALSA alone, its other drivers).
static void* OpenDevice(void*)
{
    const char* driver = getenv("SDL_AUDIODRIVER");
    char why[256] = "";
    if (!(driver && *driver) &&
        PulseOpen(rate, DEVICE_CHUNK_SAMPLES * SOUND_BYTES_PER_SAMPLE, Pull, Took, why, sizeof why)) {
        std::lock_guard<std::mutex> hold(pauseLock);
        onServer = true;
        if (pauseWanted)
            PulsePause(true);
        state.store(PLATFORM_SOUND_PLAYING);
        return NULL;
    }
    if (OpenSdlDevice()) {
        std::lock_guard<std::mutex> hold(pauseLock);
        state.store(PLATFORM_SOUND_PLAYING);
        SDL_PauseAudioDevice(device, pauseWanted ? 1 : 0);
        return NULL;
    }
    fprintf(stderr, "brinelux: no sound device (%s); the song plays silently\n", SDL_GetError());
    fflush(stderr);
    GoSilent();
    return NULL;
}

static bool noDevice;

void PlatformSoundNone(void) { noDevice = true; }

void PlatformSoundStart(PlatformWindow*, uint32_t sampleRate)
{
    if (!RingStart(&started, ring, sampleRate, &rate))
        return;
    memset(staging, 0, sizeof staging);
    playPosition.store(0);
    if (noDevice)
        return GoSilent();
    pthread_t opener;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (pthread_create(&opener, &attr, OpenDevice, NULL) != 0)
        OpenDevice(NULL);
    pthread_attr_destroy(&attr);
}

void PlatformSoundPause(bool pause)
{
    std::lock_guard<std::mutex> hold(pauseLock);
    if (pause == pauseWanted)
        return;
    pauseWanted = pause;
    SilentClockPause(pause, (uint64_t)MonotonicNs());
    if (state.load() != PLATFORM_SOUND_PLAYING)
        return;
    if (onServer)
        PulsePause(pause);
    else if (device)
        SDL_PauseAudioDevice(device, pause ? 1 : 0);
}

uint32_t PlatformSoundPlayPosition(void)
{
    if (!started)
        return 0;
    if (state.load() != PLATFORM_SOUND_SILENT)
        return playPosition.load(std::memory_order_acquire);
    std::lock_guard<std::mutex> hold(pauseLock);
    return SilentClockPosition((uint64_t)MonotonicNs(), rate);
}

PlatformSoundState PlatformSoundClock(PlatformSoundTake* take)
{
    *take = PlatformSoundTake();
    PlatformSoundState now = (PlatformSoundState)state.load();
    if (now == PLATFORM_SOUND_PLAYING) {
        std::lock_guard<std::mutex> hold(takeLock);
        *take = lastTake;
    }
    take->nowUs = (uint64_t)(MonotonicNs() / 1000);
    return now;
}

bool PlatformSoundLock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1, void** p2, uint32_t* l2)
{
    if (!started) {
        *p1 = *p2 = NULL;
        *l1 = *l2 = 0;
        return false;
    }
    return RingLockRegions(staging, SOUND_RING_BYTES, offset, bytes, p1, l1, p2, l2);
}

// Copies one region of the staging ring into the played ring, if it is one
// that Lock could have handed out.
static void Publish(void* p, uint32_t len)
{
    if (!p || len == 0)
        return;
    uint8_t* at = (uint8_t*)p;
    if (at < staging || at >= staging + SOUND_RING_BYTES)
        return;
    uint32_t offset = (uint32_t)(at - staging);
    if (len > SOUND_RING_BYTES - offset)
        return;
    memcpy(ring + offset, staging + offset, len);
}

void PlatformSoundUnlock(void* p1, uint32_t l1, void* p2, uint32_t l2)
{
    if (!started)
        return;
    std::lock_guard<std::mutex> hold(ringLock);
    Publish(p1, l1);
    Publish(p2, l2);
}
