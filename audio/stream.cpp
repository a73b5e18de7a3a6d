// Sound output stream: a looping ring (platform/sound_ring.h) that a feeder thread
// refills every 25 ms with exactly the bytes the device has taken since its
// previous visit.
#include "audio/audio.h"

#include "state/shared.h"

AudioCallback renderCallback;
uint32_t writePos;
int64_t lastLookMs = -1;
uint32_t lastPlayPos;
bool lastLookMoved;

void StartAudio(PlatformWindow* window, AudioCallback callback)
{
    writePos = 0;
    lastLookMs = -1;
    lastPlayPos = 0;
    lastLookMoved = false;
    renderCallback = callback;
    // Playback starts before anything is written; the first refill follows
    // as soon as the thread runs.
    PlatformSoundStart(window, SOUND_RING_BYTES, SOUND_SAMPLE_RATE);
    PlatformStartThread(AudioThread, nullptr);
}

void AudioThread(void*)
{
    while (!QuitRequested()) {
        FillSoundBuffer();
        PlatformSleep(SOUND_REFILL_MS);
    }
}

void FillSoundBuffer(void)
{
    uint32_t playPos = 0;
    playPos = PlatformSoundPlayPosition();
    // Keeps writePos inside the ring whatever the device reports.
    if (playPos >= SOUND_RING_BYTES)
        playPos %= SOUND_RING_BYTES;

    // Equal positions mean the device has taken the whole ring only at the
    // first refill (which fills the ring), or when it was moving at the
    // previous look and a whole ring's time has passed since; otherwise it
    // has taken nothing, and the song waits for it rather than racing ahead
    // unheard. A device found standing stays so until its position moves,
    // however late the feeder's turns come on a loaded machine.
    int64_t now = (int64_t)PlatformTimeMs();
    bool firstLook = lastLookMs < 0;
    int64_t since = firstLook ? 0 : now - lastLookMs;
    bool wasMoving = lastLookMoved;
    lastLookMs = now;
    lastLookMoved = !firstLook && playPos != lastPlayPos;
    lastPlayPos = playPos;
    uint32_t bytes;
    if (writePos < playPos)
        bytes = playPos - writePos;
    else if (writePos > playPos || firstLook ||
             (wasMoving && since * SOUND_SAMPLE_RATE >= (int64_t)SOUND_RING_SAMPLES * 1000))
        bytes = SOUND_RING_BYTES - (writePos - playPos);
    else
        return;

    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t l1 = 0, l2 = 0;
    // Nothing was written when the ring refuses the lock, so writePos stays
    // where the sound really ends and the next refill covers the gap.
    if (!PlatformSoundLock(writePos, bytes, &p1, &l1, &p2, &l2))
        return;
    if (p1 && l1 > 0)
        renderCallback((int16_t*)p1, (int32_t)l1);
    if (p2 && l2 > 0)
        renderCallback((int16_t*)p2, (int32_t)l2);
    PlatformSoundUnlock(p1, l1, p2, l2);

    writePos += bytes;
    if (writePos >= SOUND_RING_BYTES)
        writePos -= SOUND_RING_BYTES;
}
