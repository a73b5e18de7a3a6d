// Sound output stream: a looping ring (platform/sound_ring.h) that a feeder thread
// refills every 25 ms with exactly the bytes the device has taken since its
// previous visit.
#include "audio/audio.h"

#include "state/shared.h"

#include <atomic>

AudioCallback renderCallback;
uint32_t writePos;
int64_t lastLookMs = -1;
uint32_t lastPlayPos;
bool lastLookMoved;

// The feeder's account after each refill, in one word so that a reader sees
// both halves together: bytes rendered since the start (high 48 bits) and the
// ring offset the rendering ends at (low 16 bits). 0 before the first.
static std::atomic<uint64_t> renderedMark;
static std::atomic<int64_t> heardMax;
static_assert(SOUND_RING_BYTES <= 0x10000, "a ring offset fits the mark's low half");

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
    // The first refill starts the account afresh.
    uint64_t rendered = (firstLook ? 0 : renderedMark.load(std::memory_order_relaxed) >> 16) + bytes;
    if (firstLook)
        heardMax.store(0);
    renderedMark.store(rendered << 16 | writePos, std::memory_order_release);
}

double SongPlaySeconds(void)
{
    // The mark first, the position after: a refill between the two only
    // makes the mark older, which the position still measures from rightly.
    uint64_t mark = renderedMark.load(std::memory_order_acquire);
    if (mark == 0)
        return 0.0;
    int64_t rendered = (int64_t)(mark >> 16);
    uint32_t markPos = (uint32_t)(mark & 0xFFFF);
    uint32_t playPos = PlatformSoundPlayPosition() % SOUND_RING_BYTES;
    // Right after a refill the whole ring waits ahead of the play position;
    // what the device has taken since then is no longer ahead.
    uint32_t taken = (playPos + SOUND_RING_BYTES - markPos) % SOUND_RING_BYTES;
    int64_t heard = rendered - SOUND_RING_BYTES + (int64_t)taken;
    if (heard < 0)
        heard = 0;
    // A device that ran a whole ring past a late feeder wraps `taken`: keep
    // the furthest point reached instead of going back.
    int64_t before = heardMax.load();
    while (heard > before && !heardMax.compare_exchange_weak(before, heard)) {
    }
    if (heard < before)
        heard = before;
    return (double)(heard / SOUND_BYTES_PER_SAMPLE) / SOUND_SAMPLE_RATE;
}
