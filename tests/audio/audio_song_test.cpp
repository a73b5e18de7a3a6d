// The whole song as the live feeder plays it, its end mark, and rendering on
// past the end.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>
#include <vector>

#include "audio/audio.h"
#include "platform/sound_ring.h"
#include "state/shared.h"
#include "tests/audio/audio_fakes.h"

namespace {

int16_t out[SOUND_RING_SAMPLES];

struct SongRun {
    int calls = 0;
    float clockBeforeEnd = 0.0f; // song clock before the call that ended it
    int mostBusy = 0;            // voices sounding in one call, at most
    int mostDrums = 0, mostBass = 0;
    int triggers = 0;
};

// A voice took part in a call when its position moved; one that moved to
// exactly the block length was triggered in it.
SongRun PlayWholeSong(void)
{
    SongRun run;
    while (!QuitRequested() && run.calls < 10000) {
        int32_t before[VOICE_COUNT];
        for (int j = 0; j < VOICE_COUNT; j++)
            before[j] = voices[j].samplePos;
        int32_t n = SoundRefillSamples(run.calls);
        run.clockBeforeEnd = audioTime;
        RenderAudio(out, n * 2);
        run.calls++;
        int busy = 0, drums = 0, bass = 0;
        for (int j = 0; j < VOICE_COUNT; j++) {
            if (voices[j].samplePos == before[j])
                continue;
            busy++;
            drums += voices[j].instrument == &instruments[1];
            bass += voices[j].instrument == &instruments[3];
            if (voices[j].samplePos == n)
                run.triggers++;
        }
        run.mostBusy = busy > run.mostBusy ? busy : run.mostBusy;
        run.mostDrums = drums > run.mostDrums ? drums : run.mostDrums;
        run.mostBass = bass > run.mostBass ? bass : run.mostBass;
    }
    return run;
}

// Triggers the tables ask for over the song, counted from the tables alone.
int TriggersInTheTables(void)
{
    int count = 0;
    for (int step = 0; orderList[step] != END_MARK; step++) {
        int line = orderList[step];
        for (int r = 0; r < 16; r++) {
            for (int d = 0; d < DRUM_CHANNELS; d++)
                count += (drumMasks[d][line] & (0x8000 >> r)) != 0;
            for (int m = 0; m < MELODY_CHANNELS; m++)
                count += (patterns[patternRefs[m][line] & 0x0F][r] & 0x3F) != 0;
        }
    }
    return count;
}

class SongTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSongAndFakes(); }
};

TEST_F(SongTest, TablesStayInsideTheirBounds)
{
    int end = -1;
    for (int i = 0; i < ORDER_LENGTH && end < 0; i++)
        if (orderList[i] == END_MARK)
            end = i;
    EXPECT_EQ(end, 61);
    for (int i = 0; i < end; i++)
        EXPECT_LT(orderList[i], SONG_LINES) << "order step " << i;
    for (int p = 0; p < PATTERN_COUNT; p++)
        EXPECT_LT(patterns[p][16], INSTRUMENT_COUNT) << "pattern " << p;
    for (int d = 0; d < DRUM_CHANNELS; d++)
        EXPECT_LT(drumInstruments[d], INSTRUMENT_COUNT) << "drum " << d;
}

TEST_F(SongTest, EndMarkEndsTheSongAfter117Seconds)
{
    SongRun run = PlayWholeSong();
    ASSERT_TRUE(QuitRequested());
    // The end mark is row 976, in the call that carries the clock past
    // 977 x 0.12 s.
    EXPECT_EQ(rowCount, 977);
    EXPECT_EQ(orderPos, 61);
    EXPECT_EQ(row, 0);
    EXPECT_LE(run.clockBeforeEnd, 117.24f);
    EXPECT_GT(audioTime, 117.24f);
    EXPECT_LT(audioTime, 117.24f + 1103.0f / 44100.0f);
    // The show's own schedule: a full ring of 4096 samples first.
    if (SOUND_RING_SAMPLES == 4096) {
        EXPECT_EQ(run.calls, 4688);
    }
}

TEST_F(SongTest, EveryTriggerFindsAVoiceAndFewerThan12Sound)
{
    SongRun run = PlayWholeSong();
    EXPECT_EQ(run.triggers, TriggersInTheTables());
    EXPECT_LT(run.mostBusy, 12);
    EXPECT_LE(run.mostDrums, 3);
    EXPECT_LE(run.mostBass, 7);
    EXPECT_GT(run.mostBass, 0);
}

TEST_F(SongTest, FirstBassNoteIsAtOrderStep7)
{
    for (int call = 0; call < 3000 && !(orderPos == 7 && row == 0); call++) {
        for (const Voice& v : voices)
            ASSERT_FALSE(v.active && v.instrument == &instruments[3]) << "step " << orderPos << " row " << row;
        RenderAudio(out, 2204);
    }
    ASSERT_EQ(orderPos, 7);
    ASSERT_EQ(row, 0);
    int bass = 0;
    for (const Voice& v : voices)
        if (v.active && v.instrument == &instruments[3]) {
            bass++;
            EXPECT_EQ(v.freq, NoteToFrequency(46));
            EXPECT_EQ(v.gain, 0.05f);
        }
    EXPECT_EQ(bass, 1);
}

TEST_F(SongTest, EndMarkTriggersNothingButSoundingVoicesStillRender)
{
    // Just before the end: the last row of step 60 has started.
    rowCount = 976;
    row = 15;
    orderPos = 60;
    voices[3].active = 1;
    voices[3].instrument = &instruments[3];
    voices[3].freq = 300.0f;
    voices[3].samplePos = 40000;
    voices[3].gain = 0.05f;
    audioTime = (float)rowCount * rowLength + rowLength;
    RenderAudio(out, 2204);
    EXPECT_TRUE(QuitRequested());
    EXPECT_EQ(orderPos, 61);
    EXPECT_EQ(voices[3].samplePos, 40000 + 1102);
    for (int j = 0; j < VOICE_COUNT; j++)
        if (j != 3) {
            EXPECT_EQ(voices[j].active, 0) << j;
        }
    int sounding = 0;
    for (int i = 0; i < 1102; i++)
        sounding += out[i] != 0;
    EXPECT_GT(sounding, 0);
}

TEST_F(SongTest, RenderingOnPastTheEndStaysAtTheEndMark)
{
    PlayWholeSong();
    ASSERT_TRUE(QuitRequested());
    // An exporter that keeps going runs through positions 62, 63 and well
    // beyond the table; every one of them is the end mark.
    int32_t rowsAtEnd = rowCount;
    for (int call = 0; call < 20000; call++) {
        // An idle voice only moves when it is triggered.
        int32_t before[VOICE_COUNT];
        uint8_t wasActive[VOICE_COUNT];
        for (int j = 0; j < VOICE_COUNT; j++) {
            before[j] = voices[j].samplePos;
            wasActive[j] = voices[j].active;
        }
        RenderAudio(out, 2 * SoundRefillSamples(call + 1));
        for (int j = 0; j < VOICE_COUNT; j++)
            ASSERT_FALSE(!wasActive[j] && voices[j].samplePos != before[j])
                << "a voice was triggered at order position " << orderPos;
    }
    EXPECT_GT(orderPos, ORDER_LENGTH + 2);
    EXPECT_GT(rowCount, rowsAtEnd + 3 * 16 * 4);
    EXPECT_TRUE(QuitRequested());
    // The tails have died away: silence.
    for (int i = 0; i < 1102; i++)
        ASSERT_EQ(out[i], 0);
}

} // namespace

namespace {

// The whole song's bytes, pinned: any change to the synthesizer's arithmetic,
// the tables or the sequencer shows here, not only in its own unit's tests.
// Each constant is zlib's CRC-32 of a WAV's sample bytes (all that follows its
// 44-byte header) and its sample count, both written by today's
// `brinelux-capture --wav song.wav` (the feeder's schedule) and
// `brinelux-capture --wav song.wav --audio-block 1024`.
const uint32_t SONG_CRC_FEEDER = 0xc04b5b95u;
const size_t SONG_SAMPLES_FEEDER = 5170411;
const uint32_t SONG_CRC_BLOCK_1024 = 0xd92037d3u;
const size_t SONG_SAMPLES_BLOCK_1024 = 5171200;

// zlib's CRC-32 (reflected, polynomial 0xEDB88320), here so that the test
// needs no library on any platform.
uint32_t Crc32(const std::vector<uint8_t>& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<uint8_t> LittleEndian(const int16_t* samples, size_t count)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < count; i++) {
        bytes.push_back((uint8_t)((uint16_t)samples[i] & 0xFF));
        bytes.push_back((uint8_t)((uint16_t)samples[i] >> 8));
    }
    return bytes;
}

} // namespace

TEST_F(SongTest, WholeSongMatchesItsChecksums)
{
    // The real refill rule against the fake ring, the device taking each
    // refill's samples between turns as the feeder's loop sees it: the
    // ring's wrap splits calls exactly as on a real device.
    ResetFakeRing();
    renderCallback = RenderAudio;
    writePos = 0;
    lastLookMs = -1;
    lastLookMoved = false;
    std::vector<uint8_t> fed;
    int64_t played = 0;
    for (int64_t turn = 0; !QuitRequested() && turn < 10000; turn++) {
        if (turn > 0)
            played += SoundRefillSamples(turn);
        fakePlayPos = (uint32_t)(played * SOUND_BYTES_PER_SAMPLE % SOUND_RING_BYTES);
        uint32_t from = writePos;
        FillSoundBuffer();
        uint32_t bytes = (writePos + SOUND_RING_BYTES - from) % SOUND_RING_BYTES;
        if (turn == 0)
            bytes = SOUND_RING_BYTES; // a full ring comes back to where it began
        for (uint32_t i = 0; i < bytes; i++)
            fed.push_back(fakeRing[(from + i) % SOUND_RING_BYTES]);
    }
    ASSERT_TRUE(QuitRequested());
    EXPECT_EQ(fed.size() / SOUND_BYTES_PER_SAMPLE, SONG_SAMPLES_FEEDER);
    EXPECT_EQ(Crc32(fed), SONG_CRC_FEEDER);

    ResetSongAndFakes();
    std::vector<int16_t> song;
    while (!QuitRequested() && song.size() < 200u * 44100u) {
        RenderAudio(out, 1024 * 2);
        song.insert(song.end(), out, out + 1024);
    }
    std::vector<uint8_t> block = LittleEndian(song.data(), song.size());
    EXPECT_EQ(song.size(), SONG_SAMPLES_BLOCK_1024);
    EXPECT_EQ(Crc32(block), SONG_CRC_BLOCK_1024);
}

// The length the page's timeline shows comes from the tables; the song run
// in the live feeder's refills must reach its end mark in the refill that
// holds that moment (give or take the song clock's rounding).
TEST(AudioSong, LengthFromTheTablesIsWhereTheRunSongEnds)
{
    ResetSong();
    double end = SongLengthSeconds() * 44100.0;
    int64_t refills = 0, samples = 0, before = 0;
    while (!QuitRequested() && refills < 100000) {
        before = samples;
        RenderSongRefills(&refills, &samples, (double)samples + 1.0, 100000, nullptr, nullptr);
    }
    ASSERT_TRUE(QuitRequested());
    // The sequencer's clock sums rows in float, so it reaches the end mark
    // a little after the exact sum: within the refill that holds it or the
    // next, never a refill early.
    EXPECT_GE((double)samples, end);
    EXPECT_LT((double)before, end + SOUND_RING_SAMPLES);
    // Run again whole: the same refills, and none made past the end.
    ResetSong();
    int64_t again = 0, againSamples = 0;
    EXPECT_EQ(RenderSongRefills(&again, &againSamples, INFINITY, 100000, nullptr, nullptr), refills);
    EXPECT_EQ(againSamples, samples);
    ResetSong();
}
