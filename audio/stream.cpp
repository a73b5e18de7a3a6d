// Sound output stream: a looping ring (platform/sound_ring.h) that a feeder thread
// refills every 25 ms with exactly the bytes the device has taken since its
// previous visit.
#include "audio/audio.h"

#include "state/shared.h"

#include <atomic>
#include <math.h>
#include <stdio.h>
#include <string.h>

AudioCallback renderCallback;
uint32_t writePos;
int64_t lastLookMs = -1;
uint32_t lastPlayPos;
bool lastLookMoved;

// The feeder's account after each refill, in one word so that a reader sees
// both halves together: bytes rendered since the start (high 48 bits) and the
// ring offset the rendering ends at (low 16 bits). 0 before the first.
static std::atomic<uint64_t> renderedMark;
// The furthest position a reader was given, in 1/1024 samples.
static std::atomic<int64_t> heardMax;
static const int64_t SUBSAMPLES = 1024;

bool outputStandIn;
int32_t audioOffsetMs;

// The feeder's side of the stand-in: samples of song rendered in all (heard
// or not), since when the device has stood still, and whether the song goes
// on without it now.
static int64_t songSamples;
static int64_t standingSinceMs;
static bool standingIn;
static int16_t unheard[SOUND_RING_SAMPLES];
// The stand-in clock as readers see it: on, and the song's sample at a time.
static std::atomic<bool> standInOn;
static std::atomic<int64_t> standInBaseSamples;
static std::atomic<int64_t> standInBaseMs;
static std::atomic<int64_t> latencyUsedUs;

void (*seekSong)(int64_t sample);
// Seeks asked for and carried out, and the latest one's sample.
static std::atomic<uint32_t> seeksAsked;
static std::atomic<uint32_t> seeksDone;
static std::atomic<int64_t> seekSample;
// Bumped by each seek carried out: the reader then starts its account anew.
static std::atomic<uint32_t> clockEpoch;
static std::atomic<bool> audioPaused;
static int64_t pausedAtMs = -1;
static_assert(SOUND_RING_BYTES <= 0x10000, "a ring offset fits the mark's low half");

void StartAudio(PlatformWindow* window, AudioCallback callback)
{
    writePos = 0;
    lastLookMs = -1;
    lastPlayPos = 0;
    lastLookMoved = false;
    songSamples = 0;
    standingIn = false;
    standInOn.store(false);
    renderedMark.store(0);
    heardMax.store(0);
    renderCallback = callback;
    // Playback starts before anything is written; the first refill follows
    // as soon as the thread runs.
    PlatformSoundStart(window, SOUND_SAMPLE_RATE);
    PlatformStartThread(AudioThread, nullptr);
}

void AudioThread(void*)
{
    while (!QuitRequested()) {
        FillSoundBuffer();
        PlatformSleep(SOUND_REFILL_MS);
    }
}

// The song rendered on, unheard, up to sample `target`: what the stand-in
// clock has passed, so the song's end mark still ends the show on time.
static void RenderUnheardTo(int64_t target)
{
    while (songSamples < target && !QuitRequested()) {
        int64_t n = target - songSamples;
        if (n > SOUND_RING_SAMPLES)
            n = SOUND_RING_SAMPLES;
        renderCallback(unheard, (int32_t)(n * SOUND_BYTES_PER_SAMPLE));
        songSamples += n;
    }
}

static int64_t StandInSamples(int64_t nowMs)
{
    return standInBaseSamples.load() + (nowMs - standInBaseMs.load()) * SOUND_SAMPLE_RATE / 1000;
}

// The device has taken nothing for too long: the song's position goes to
// the stand-in clock from where it stood, and what waits in the ring is
// silenced, so that the device, when it plays again, plays nothing stale.
static void EnterStandIn(int64_t nowMs, uint32_t playPos, PlatformSoundState state)
{
    uint64_t mark = renderedMark.load(std::memory_order_relaxed);
    uint32_t taken = (playPos + SOUND_RING_BYTES - (uint32_t)(mark & 0xFFFF)) % SOUND_RING_BYTES;
    int64_t heard = ((int64_t)(mark >> 16) - SOUND_RING_BYTES + (int64_t)taken) / SOUND_BYTES_PER_SAMPLE;
    standInBaseSamples.store(heard < 0 ? 0 : heard);
    standInBaseMs.store(nowMs);
    standInOn.store(true, std::memory_order_release);
    standingIn = true;
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t l1 = 0, l2 = 0;
    if (PlatformSoundLock(writePos, SOUND_RING_BYTES, &p1, &l1, &p2, &l2)) {
        memset(p1, 0, l1);
        if (p2)
            memset(p2, 0, l2);
        PlatformSoundUnlock(p1, l1, p2, l2);
    }
    if (state == PLATFORM_SOUND_OPENING)
        fprintf(stderr, "brinelux: the sound device has not opened in %d s; the show goes on silently\n",
                (int)(OUTPUT_STALL_MS / 1000));
    else
        fprintf(stderr, "brinelux: the sound output has taken nothing for %d s; the show goes on silently\n",
                (int)(OUTPUT_STALL_MS / 1000));
    fflush(stderr);
}

// Renders into the regions of a lock, in ring order, and hands them back.
static void RenderRegions(void* p1, uint32_t l1, void* p2, uint32_t l2)
{
    if (p1 && l1 > 0)
        renderCallback((int16_t*)p1, (int32_t)l1);
    if (p2 && l2 > 0)
        renderCallback((int16_t*)p2, (int32_t)l2);
    PlatformSoundUnlock(p1, l1, p2, l2);
}

// The song moved to the seek's sample and the ring filled with it from the
// device's play position on: what waited ahead of it was the song from
// before the seek. The account starts anew from the seek's sample.
static void CarryOutSeek(int64_t nowMs, uint32_t playPos, uint32_t asked)
{
    int64_t target = seekSample.load();
    seekSong(target);
    songSamples = target;
    writePos = playPos;
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t l1 = 0, l2 = 0;
    if (PlatformSoundLock(writePos, SOUND_RING_BYTES, &p1, &l1, &p2, &l2))
        RenderRegions(p1, l1, p2, l2);
    songSamples += SOUND_RING_SAMPLES;
    lastLookMs = nowMs;
    lastPlayPos = playPos;
    lastLookMoved = false;
    standingSinceMs = nowMs;
    if (standingIn) {
        standingIn = false;
        standInOn.store(false);
    }
    renderedMark.store((uint64_t)(songSamples * SOUND_BYTES_PER_SAMPLE) << 16 | writePos, std::memory_order_release);
    clockEpoch.fetch_add(1, std::memory_order_release);
    seeksDone.store(asked, std::memory_order_release);
}

void SeekAudio(int64_t sample)
{
    seekSample.store(sample < 0 ? 0 : sample);
    seeksAsked.fetch_add(1, std::memory_order_release);
}

bool AudioSeekPending(void) { return seeksAsked.load() != seeksDone.load(std::memory_order_acquire); }

void PauseAudio(bool pause)
{
    if (audioPaused.exchange(pause) == pause)
        return;
    PlatformSoundPause(pause);
    // The stand-in clock stands still too.
    int64_t now = (int64_t)PlatformTimeMs();
    if (pause) {
        pausedAtMs = now;
    } else if (pausedAtMs >= 0) {
        standInBaseMs.fetch_add(now - pausedAtMs);
        pausedAtMs = -1;
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
    uint32_t asked = seeksAsked.load(std::memory_order_acquire);
    if (asked != seeksDone.load(std::memory_order_relaxed) && seekSong) {
        CarryOutSeek(now, playPos, asked);
        return;
    }
    bool firstLook = lastLookMs < 0;
    int64_t since = firstLook ? 0 : now - lastLookMs;
    bool wasMoving = lastLookMoved;
    lastLookMs = now;
    lastLookMoved = !firstLook && playPos != lastPlayPos;
    lastPlayPos = playPos;
    bool joining = false;
    if (outputStandIn) {
        // Short hiccups hold picture and song together; a longer stand
        // hands the song to the stand-in clock until the device moves again
        // (the backend's own silent stand-in is a clock of its own: no join).
        PlatformSoundTake take;
        PlatformSoundState state = PlatformSoundClock(&take);
        if (firstLook || lastLookMoved || audioPaused.load())
            standingSinceMs = now;
        if (standingIn) {
            if (audioPaused.load())
                return;
            if (!lastLookMoved || state == PLATFORM_SOUND_SILENT) {
                RenderUnheardTo(StandInSamples(now));
                return;
            }
            joining = true;
        } else if (!firstLook && now - standingSinceMs >= OUTPUT_STALL_MS && state != PLATFORM_SOUND_SILENT) {
            EnterStandIn(now, playPos, state);
            return;
        }
    }
    uint32_t bytes;
    if (writePos < playPos)
        bytes = playPos - writePos;
    else if (writePos > playPos || firstLook || joining ||
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
    if (joining) {
        // The song joins at the show's position: the bytes written now are
        // heard after the silence still ahead of them in the ring, so they
        // carry the song from where the stand-in clock will be by then.
        int64_t target = StandInSamples(now) + SOUND_RING_SAMPLES - bytes / SOUND_BYTES_PER_SAMPLE;
        RenderUnheardTo(target);
    }
    RenderRegions(p1, l1, p2, l2);

    writePos += bytes;
    if (writePos >= SOUND_RING_BYTES)
        writePos -= SOUND_RING_BYTES;
    // The first refill starts the account afresh.
    if (firstLook) {
        songSamples = 0;
        heardMax.store(0);
    }
    songSamples += bytes / SOUND_BYTES_PER_SAMPLE;
    renderedMark.store((uint64_t)(songSamples * SOUND_BYTES_PER_SAMPLE) << 16 | writePos, std::memory_order_release);
    if (joining) {
        standingIn = false;
        standInOn.store(false, std::memory_order_release);
        int64_t at = songSamples - SOUND_RING_SAMPLES;
        fprintf(stderr, "brinelux: the sound output plays again; the song joins the show at %d:%04.1f\n",
                (int)(at / SOUND_SAMPLE_RATE / 60), (double)(at % (60 * SOUND_SAMPLE_RATE)) / SOUND_SAMPLE_RATE);
        fflush(stderr);
    }
}

// The reader's recent takes of the device, each with the song's sample heard
// at its time: the position between takes is drawn from them.
enum { TAKES_KEPT = 16 };
static const uint64_t TAKES_SPAN_US = 250000;
static double keptHeard[TAKES_KEPT];
static uint64_t keptAtUs[TAKES_KEPT];
static uint64_t keptCount[TAKES_KEPT];
static int32_t keptNewest = -1;

double SmoothedHeard(double heard, uint64_t atUs, uint64_t count, uint32_t takeSamples, uint64_t nowUs)
{
    if (keptNewest < 0 || keptCount[keptNewest] != count || keptAtUs[keptNewest] != atUs) {
        keptNewest = (keptNewest + 1) % TAKES_KEPT;
        keptHeard[keptNewest] = heard;
        keptAtUs[keptNewest] = atUs;
        keptCount[keptNewest] = count;
    }
    // Each recent take says where the song is now if the device has played
    // on at its rate since; the lowest of them is the one not thrown ahead
    // by a burst of takes. At most one take past the latest, so a device
    // that stops holds the position there.
    double best = heard + (double)takeSamples;
    for (int32_t i = 0; i < TAKES_KEPT; i++) {
        if (keptCount[i] == 0 || nowUs < keptAtUs[i] || nowUs - keptAtUs[i] > TAKES_SPAN_US)
            continue;
        double at = keptHeard[i] + (double)(nowUs - keptAtUs[i]) * SOUND_SAMPLE_RATE / 1e6;
        if (at < best)
            best = at;
    }
    return best;
}

void ForgetTakes(void)
{
    keptNewest = -1;
    for (int32_t i = 0; i < TAKES_KEPT; i++)
        keptCount[i] = 0;
}

double SongPlaySeconds(void)
{
    // The mark first, the position after: a refill between the two only
    // makes the mark older, which the position still measures from rightly.
    static uint32_t readerEpoch;
    uint32_t epoch = clockEpoch.load(std::memory_order_acquire);
    if (epoch != readerEpoch) {
        readerEpoch = epoch;
        heardMax.store(0);
        ForgetTakes();
    }
    uint64_t mark = renderedMark.load(std::memory_order_acquire);
    if (mark == 0)
        return 0.0;
    if (audioPaused.load())
        return (double)heardMax.load() / SUBSAMPLES / SOUND_SAMPLE_RATE;
    double heard;
    int64_t latencyUs = 0;
    if (standInOn.load(std::memory_order_acquire)) {
        heard = (double)StandInSamples((int64_t)PlatformTimeMs());
        latencyUs = 0;
    } else {
        int64_t rendered = (int64_t)(mark >> 16);
        uint32_t markPos = (uint32_t)(mark & 0xFFFF);
        PlatformSoundTake take;
        bool timed = PlatformSoundClock(&take) == PLATFORM_SOUND_PLAYING && take.count > 0;
        uint32_t playPos = (timed ? take.position : PlatformSoundPlayPosition()) % SOUND_RING_BYTES;
        // Right after a refill the whole ring waits ahead of the play position;
        // what the device has taken since then is no longer ahead.
        uint32_t taken = (playPos + SOUND_RING_BYTES - markPos) % SOUND_RING_BYTES;
        int64_t bytes = rendered - SOUND_RING_BYTES + (int64_t)taken;
        heard = (double)((bytes < 0 ? 0 : bytes) / SOUND_BYTES_PER_SAMPLE);
        if (timed) {
            // What the output still holds is not heard yet.
            latencyUs = (int64_t)take.latencyUs;
            heard -= (double)latencyUs * SOUND_SAMPLE_RATE / 1e6;
            heard = SmoothedHeard(heard, take.atUs, take.count, take.bytes / SOUND_BYTES_PER_SAMPLE, take.nowUs);
        }
    }
    latencyUsedUs.store(latencyUs, std::memory_order_relaxed);
    heard -= (double)audioOffsetMs * SOUND_SAMPLE_RATE / 1000.0;
    int64_t sub = heard <= 0.0 ? 0 : (int64_t)floor(heard * SUBSAMPLES);
    // A device that ran a whole ring past a late feeder wraps `taken`, and a
    // take that comes late draws the position back: keep the furthest point
    // reached instead of going back.
    int64_t before = heardMax.load();
    while (sub > before && !heardMax.compare_exchange_weak(before, sub)) {
    }
    if (sub < before)
        sub = before;
    return (double)sub / SUBSAMPLES / SOUND_SAMPLE_RATE;
}

double SongOutputLatencyMs(void) { return (double)latencyUsedUs.load(std::memory_order_relaxed) / 1000.0; }
