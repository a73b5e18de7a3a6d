// Linux sound ring on SDL2: a looping ring of 16-bit mono samples that the
// SDL device callback plays in small chunks, reporting how far it has taken.
//
// The feeder writes into a staging copy of the ring; Unlock copies the
// written regions into the played ring under the device lock, so the two
// threads never touch the same bytes at once. Where no device opens, a
// silent stand-in advances the play position from a monotonic clock, so the
// song and its end mark still keep real time.
#include "platform/platform.h"
#include "platform/sound_ring.h"

#include <SDL2/SDL.h>
#include <atomic>
#include <stdio.h>
#include <string.h>
#include <time.h>

static const int DEVICE_CHUNK_SAMPLES = 256;

static uint8_t ring[SOUND_RING_BYTES];    // what the device plays; device lock held
static uint8_t staging[SOUND_RING_BYTES]; // the feeder's side of the ring
static uint32_t ringSize = SOUND_RING_BYTES;
static uint32_t rate = SOUND_SAMPLE_RATE;
static SDL_AudioDeviceID device;
static bool started;
static bool silent;
static struct timespec silentStart;
// Offset up to which the device has taken data; written by the device
// callback only.
static std::atomic<uint32_t> playPosition;

static void SDLCALL PlayChunk(void*, Uint8* stream, int len)
{
    uint32_t pos = playPosition.load(std::memory_order_relaxed);
    uint32_t left = len > 0 ? (uint32_t)len : 0;
    while (left > 0) {
        uint32_t chunk = ringSize - pos;
        if (chunk > left)
            chunk = left;
        memcpy(stream, ring + pos, chunk);
        stream += chunk;
        left -= chunk;
        pos += chunk;
        if (pos >= ringSize)
            pos = 0;
    }
    playPosition.store(pos, std::memory_order_release);
}

static bool OpenDevice(void)
{
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

void PlatformSoundStart(PlatformWindow*, uint32_t ringBytes, uint32_t sampleRate)
{
    if (!RingStart(&started, ring, ringBytes, sampleRate, &ringSize, &rate))
        return;
    memset(staging, 0, sizeof staging);
    playPosition.store(0);

    if (OpenDevice()) {
        SDL_PauseAudioDevice(device, 0);
        return;
    }
    fprintf(stderr, "brinelux: no sound device (%s); the song plays silently\n", SDL_GetError());
    fflush(stderr);
    silent = true;
    clock_gettime(CLOCK_MONOTONIC, &silentStart);
}

uint32_t PlatformSoundPlayPosition(void)
{
    if (!started)
        return 0;
    if (!silent)
        return playPosition.load(std::memory_order_acquire);
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t ns = ((int64_t)now.tv_sec - (int64_t)silentStart.tv_sec) * 1000000000 +
                 ((int64_t)now.tv_nsec - (int64_t)silentStart.tv_nsec);
    return SilentPlayPosition((uint64_t)ns, 1000000000u, ringSize, rate);
}

bool PlatformSoundLock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1, void** p2, uint32_t* l2)
{
    if (!started) {
        *p1 = *p2 = NULL;
        *l1 = *l2 = 0;
        return false;
    }
    return RingLockRegions(staging, ringSize, offset, bytes, p1, l1, p2, l2);
}

// Copies one region of the staging ring into the played ring, if it is one
// that Lock could have handed out.
static void Publish(void* p, uint32_t len)
{
    if (!p || len == 0)
        return;
    uint8_t* at = (uint8_t*)p;
    if (at < staging || at >= staging + ringSize)
        return;
    uint32_t offset = (uint32_t)(at - staging);
    if (len > ringSize - offset)
        return;
    memcpy(ring + offset, staging + offset, len);
}

void PlatformSoundUnlock(void* p1, uint32_t l1, void* p2, uint32_t l2)
{
    if (!started)
        return;
    if (device)
        SDL_LockAudioDevice(device);
    Publish(p1, l1);
    Publish(p2, l2);
    if (device)
        SDL_UnlockAudioDevice(device);
}
