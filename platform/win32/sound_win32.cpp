// Windows sound ring on DirectSound: a looping secondary buffer that the
// feeder locks and writes behind the play cursor.
//
// Every set-up call is checked. Where one fails (no sound device, a refused
// format, no buffer) a silent stand-in takes over whose play position
// advances from the performance counter, so the song and its end mark still
// keep real time.
#include <windows.h>
#include <dsound.h>

#include <stdio.h>
#include <string.h>
#include "platform/platform.h"
#include "platform/sound_ring.h"
#include "platform/win32/window_win32.h"

static const uint32_t BYTES_PER_SAMPLE = SOUND_BYTES_PER_SAMPLE;

// 36 bytes on the show's 32-bit target; the format pointer widens on 64-bit.
static_assert(sizeof(DSBUFFERDESC) == 32 + sizeof(void*), "DSBUFFERDESC");
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX");

static IDirectSoundBuffer* m_pSecondary;
static DSBUFFERDESC bufferDesc;
static WAVEFORMATEX waveFormat;
static uint32_t rate = SOUND_SAMPLE_RATE;
static bool started;
// The silent stand-in: the feeder writes here and nothing plays it.
static bool silent;
// Asked for before the start: no device at all, and nothing said of it.
static bool noDevice;
static uint8_t silentRing[SOUND_RING_BYTES];
// DirectSound calls back nothing: a take is a move of the play cursor, seen
// by whichever thread looks first, stamped when it was seen.
static CRITICAL_SECTION takeLock;
// The viewer's pause: the buffer stopped, or the silent clock held. The
// main thread holds that clock while the feeder's reads it.
static bool paused;
static CRITICAL_SECTION clockLock;
static PlatformSoundTake lastTake;

static uint64_t CounterNow(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (uint64_t)now.QuadPart;
}

static void StartSilentClock(void)
{
    silent = true;
    LARGE_INTEGER counterRate;
    QueryPerformanceFrequency(&counterRate);
    SilentClockStart(CounterNow(), (uint64_t)counterRate.QuadPart);
}

static void GoSilent(const char* step, HRESULT result, IDirectSound* device, IDirectSoundBuffer* primary)
{
    fprintf(stderr, "brinelux: no sound (%s failed, 0x%08lX); the song plays silently\n", step,
            (unsigned long)result);
    fflush(stderr);
    // Nothing half-made is kept: the device is free for others.
    if (m_pSecondary) {
        m_pSecondary->Release();
        m_pSecondary = NULL;
    }
    if (primary)
        primary->Release();
    if (device)
        device->Release();
    StartSilentClock();
}

void PlatformSoundNone(void) { noDevice = true; }

void PlatformSoundStart(PlatformWindow* window, uint32_t sampleRate)
{
    if (!RingStart(&started, silentRing, sampleRate, &rate))
        return;
    InitializeCriticalSection(&takeLock);
    InitializeCriticalSection(&clockLock);
    if (noDevice)
        return StartSilentClock();
    HWND hwnd = window ? window->window : NULL;

    waveFormat.wFormatTag = WAVE_FORMAT_PCM;
    waveFormat.nChannels = 1;
    waveFormat.nSamplesPerSec = rate;
    waveFormat.nAvgBytesPerSec = rate * BYTES_PER_SAMPLE;
    waveFormat.nBlockAlign = BYTES_PER_SAMPLE;
    waveFormat.wBitsPerSample = 16;
    waveFormat.cbSize = 0;

    IDirectSound* m_pDS = NULL;
    IDirectSoundBuffer* m_pPrimary = NULL;
    HRESULT hr = DirectSoundCreate(NULL, &m_pDS, NULL);
    if (FAILED(hr) || !m_pDS)
        return GoSilent("DirectSoundCreate", hr, NULL, NULL);
    hr = m_pDS->SetCooperativeLevel(hwnd, DSSCL_EXCLUSIVE);
    if (FAILED(hr))
        return GoSilent("SetCooperativeLevel", hr, m_pDS, NULL);

    memset(&bufferDesc, 0, sizeof bufferDesc);
    bufferDesc.dwSize = sizeof bufferDesc;
    bufferDesc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    bufferDesc.dwBufferBytes = 0;
    bufferDesc.lpwfxFormat = NULL;
    hr = m_pDS->CreateSoundBuffer(&bufferDesc, &m_pPrimary, NULL);
    if (FAILED(hr) || !m_pPrimary)
        return GoSilent("CreateSoundBuffer (primary)", hr, m_pDS, NULL);
    hr = m_pPrimary->SetFormat(&waveFormat);
    if (FAILED(hr))
        return GoSilent("SetFormat", hr, m_pDS, m_pPrimary);

    bufferDesc.dwFlags = DSBCAPS_GETCURRENTPOSITION2;
    bufferDesc.dwBufferBytes = SOUND_RING_BYTES;
    bufferDesc.lpwfxFormat = &waveFormat;
    hr = m_pDS->CreateSoundBuffer(&bufferDesc, &m_pSecondary, NULL);
    if (FAILED(hr) || !m_pSecondary) {
        m_pSecondary = NULL;
        return GoSilent("CreateSoundBuffer (secondary)", hr, m_pDS, m_pPrimary);
    }
    hr = m_pSecondary->Play(0, 0, DSBPLAY_LOOPING);
    if (FAILED(hr))
        return GoSilent("Play", hr, m_pDS, m_pPrimary);
    // The device and primary buffer live on with the process, unreleased.
}

uint32_t PlatformSoundPlayPosition(void)
{
    if (!started)
        return 0;
    if (silent) {
        EnterCriticalSection(&clockLock);
        uint32_t at = SilentClockPosition(CounterNow(), rate);
        LeaveCriticalSection(&clockLock);
        return at;
    }
    DWORD playPos = 0;
    // A failed query reads as position 0, as an unwritten one would.
    if (FAILED(m_pSecondary->GetCurrentPosition(&playPos, NULL)))
        return 0;
    return playPos;
}

bool PlatformSoundLock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* l1, void** p2, uint32_t* l2)
{
    *p1 = NULL;
    *l1 = 0;
    *p2 = NULL;
    *l2 = 0;
    if (!started || offset >= SOUND_RING_BYTES || bytes == 0 || bytes > SOUND_RING_BYTES)
        return false;
    if (silent)
        return RingLockRegions(silentRing, SOUND_RING_BYTES, offset, bytes, p1, l1, p2, l2);
    void* a1 = NULL;
    void* a2 = NULL;
    DWORD n1 = 0, n2 = 0;
    HRESULT hr = m_pSecondary->Lock(offset, bytes, &a1, &n1, &a2, &n2, 0);
    if (hr == DSERR_BUFFERLOST) {
        // Another program took the device for a while: get the memory back
        // and play on; this refill is skipped and the next one writes.
        if (SUCCEEDED(m_pSecondary->Restore()))
            m_pSecondary->Play(0, 0, DSBPLAY_LOOPING);
        return false;
    }
    if (FAILED(hr))
        return false;
    *p1 = a1;
    *l1 = n1;
    *p2 = a2;
    *l2 = n2;
    return true;
}

void PlatformSoundUnlock(void* p1, uint32_t l1, void* p2, uint32_t l2)
{
    if (!started || silent || !m_pSecondary)
        return;
    m_pSecondary->Unlock(p1, l1, p2, l2);
}

static uint64_t NowUs(void)
{
    LARGE_INTEGER now, freq;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&now);
    return (uint64_t)(now.QuadPart / freq.QuadPart) * 1000000u +
           (uint64_t)(now.QuadPart % freq.QuadPart) * 1000000u / (uint64_t)freq.QuadPart;
}

PlatformSoundState PlatformSoundClock(PlatformSoundTake* take)
{
    *take = PlatformSoundTake();
    take->nowUs = NowUs();
    if (!started)
        return PLATFORM_SOUND_OPENING;
    if (silent || !m_pSecondary)
        return PLATFORM_SOUND_SILENT;
    DWORD playPos = 0;
    if (FAILED(m_pSecondary->GetCurrentPosition(&playPos, NULL)))
        return PLATFORM_SOUND_PLAYING;
    uint64_t now = take->nowUs;
    EnterCriticalSection(&takeLock);
    if (lastTake.count == 0 || playPos != lastTake.position) {
        lastTake.bytes = lastTake.count == 0 ? 0 : (playPos + SOUND_RING_BYTES - lastTake.position) % SOUND_RING_BYTES;
        lastTake.position = playPos;
        lastTake.atUs = now;
        lastTake.count++;
    }
    *take = lastTake;
    LeaveCriticalSection(&takeLock);
    take->nowUs = now;
    return PLATFORM_SOUND_PLAYING;
}

void PlatformSoundPause(bool pause)
{
    if (!started || pause == paused)
        return;
    paused = pause;
    if (silent) {
        EnterCriticalSection(&clockLock);
        SilentClockPause(pause, CounterNow());
        LeaveCriticalSection(&clockLock);
        return;
    }
    if (!m_pSecondary)
        return;
    if (pause)
        m_pSecondary->Stop();
    else
        m_pSecondary->Play(0, 0, DSBPLAY_LOOPING);
}
