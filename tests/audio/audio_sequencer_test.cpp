// Sequencer and mixer: row timing against the song clock, triggers from the
// song tables, the voice pool, the end mark and the 16-bit conversion.
#include <gtest/gtest.h>

#include <string.h>

#include "audio/audio.h"
#include "state/shared.h"
#include "tests/audio/audio_fakes.h"

namespace {

int16_t out[8192];

void Render(int32_t samples) { RenderAudio(out, samples * 2); }

// Sets the clock so that the next call starts a row, then renders n samples.
void RenderNextRow(int32_t n)
{
    audioTime = (float)rowCount * rowLength + rowLength;
    Render(n);
}

int ActiveVoices(void)
{
    int count = 0;
    for (const Voice& v : voices)
        count += v.active ? 1 : 0;
    return count;
}

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSongAndFakes(); }
};

TEST_F(SequencerTest, FirstFullRingCallStartsNoRow)
{
    Render(4096);
    EXPECT_EQ(rowCount, 0);
    EXPECT_EQ(row, -1);
    EXPECT_EQ(ActiveVoices(), 0);
    for (int i = 0; i < 4096; i++)
        ASSERT_EQ(out[i], 0);
}

TEST_F(SequencerTest, FirstRowStartsInTheFifthCallOf1102Samples)
{
    static int16_t stream[5 * 1102];
    for (int call = 1; call <= 4; call++) {
        RenderAudio(stream + (call - 1) * 1102, 2204);
        EXPECT_EQ(rowCount, 0) << "call " << call;
    }
    EXPECT_NEAR(audioTime, 0.100, 1e-4);
    RenderAudio(stream + 4 * 1102, 2204);
    EXPECT_NEAR(audioTime, 0.1249, 1e-4);
    EXPECT_EQ(rowCount, 1);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(orderPos, 0);
    // Order step 0 row 0 plays line 0: the drum on channel 1 (bit 15 of
    // 0xFFAA), and melodic channel 0's silent pattern, which triggers
    // nothing. The drum renders from the block's first sample, 4408.
    ASSERT_EQ(ActiveVoices(), 1);
    EXPECT_EQ(voices[0].instrument, &instruments[1]);
    EXPECT_EQ(voices[0].freq, NoteToFrequency(2));
    EXPECT_EQ(voices[0].gain, 0.4f);
    EXPECT_EQ(voices[0].samplePos, 1102);
    for (int i = 0; i < 4408; i++)
        ASSERT_EQ(stream[i], 0) << i;
    int sounding = 0;
    for (int i = 4408; i < 5 * 1102; i++)
        sounding += stream[i] != 0;
    EXPECT_GT(sounding, 500);
}

TEST_F(SequencerTest, AtMostOneRowPerCall)
{
    // A clock far ahead of the rows still starts only one per call.
    audioTime = 10.0f;
    Render(2);
    EXPECT_EQ(rowCount, 1);
    Render(2);
    EXPECT_EQ(rowCount, 2);
}

TEST_F(SequencerTest, DrumMask0xFFAAHitsRows0To7AndEvenRowsAfter)
{
    // Line 0, channel 1: 0xFFAA. Clearing the pool before each row leaves
    // only that row's triggers active (a 2-sample call ends no note).
    const bool expected[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 1, 0};
    for (int r = 0; r < 16; r++) {
        memset(voices, 0, sizeof voices);
        RenderNextRow(2);
        ASSERT_EQ(row, r);
        ASSERT_EQ(orderPos, 0);
        EXPECT_EQ(ActiveVoices(), expected[r] ? 1 : 0) << "row " << r;
    }
}

// The generator state after `draws` numbers from seed.
uint32_t SeedAfter(uint32_t seed, int draws)
{
    uint32_t saved = randomSeed;
    randomSeed = seed;
    for (int i = 0; i < draws; i++)
        NextRandom();
    uint32_t result = randomSeed;
    randomSeed = saved;
    return result;
}

TEST_F(SequencerTest, RowAfter15IsRow0OfTheNextStepWithOneExtraDraw)
{
    for (int r = 0; r < 15; r++)
        RenderNextRow(2);
    ASSERT_EQ(row, 14);

    // Row 14 to 15: the only draws are the voices' own, one per sample.
    uint32_t seed = randomSeed;
    RenderNextRow(2);
    ASSERT_EQ(row, 15);
    ASSERT_EQ(orderPos, 0);
    EXPECT_EQ(randomSeed, SeedAfter(seed, 2 * ActiveVoices()));

    // Row 15 to row 0 of step 1: one more draw, before any voice renders.
    seed = randomSeed;
    RenderNextRow(2);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(orderPos, 1);
    EXPECT_EQ(rowCount, 17);
    EXPECT_EQ(randomSeed, SeedAfter(seed, 1 + 2 * ActiveVoices()));
}

TEST_F(SequencerTest, BassCellsDecodeNoteVolumeAndTransposition)
{
    // Order step 7 plays line 2: channel 0 uses 0x31, pattern 1 up 3
    // semitones. Its row 0 cell 0xAB is note 43, volume step 2.
    row = 15;
    rowCount = 7 * 16;
    orderPos = 6;
    memset(voices, 0, sizeof voices);
    RenderNextRow(2);
    ASSERT_EQ(orderPos, 7);
    ASSERT_EQ(row, 0);
    const Voice* bass = nullptr;
    for (const Voice& v : voices)
        if (v.active && v.instrument == &instruments[3])
            bass = &v;
    ASSERT_NE(bass, nullptr);
    EXPECT_EQ(bass->freq, NoteToFrequency(46));
    EXPECT_EQ(bass->gain, 0.05f);
    EXPECT_NEAR(bass->freq, 466.16f, 0.01f);

    // Order step 11 plays line 3: 0xA1, the same pattern up 10 semitones.
    orderPos = 10;
    row = 15;
    memset(voices, 0, sizeof voices);
    RenderNextRow(2);
    ASSERT_EQ(orderPos, 11);
    bass = nullptr;
    for (const Voice& v : voices)
        if (v.active && v.instrument == &instruments[3])
            bass = &v;
    ASSERT_NE(bass, nullptr);
    EXPECT_EQ(bass->freq, NoteToFrequency(53));
}

TEST_F(SequencerTest, TranspositionNeverTurnsARestIntoANote)
{
    // Line 0 sends channel 0 to pattern 0 (all rests) transposed by 10.
    ASSERT_EQ(patternRefs[0][0], 0xA0);
    for (int r = 0; r < 16; r++) {
        memset(voices, 0, sizeof voices);
        RenderNextRow(2);
        for (const Voice& v : voices) {
            if (v.active) {
                EXPECT_EQ(v.instrument, &instruments[1]) << "row " << r;
            }
        }
    }
}

TEST_F(SequencerTest, FullPoolDropsTheTriggerAndLeavesTheVoicesAlone)
{
    for (int j = 0; j < VOICE_COUNT; j++) {
        voices[j].active = 1;
        voices[j].instrument = &instruments[3];
        voices[j].freq = 100.0f + (float)j;
        voices[j].gain = 0.01f;
        voices[j].samplePos = 44100;
    }
    RenderNextRow(2); // order step 0, row 0: the drum would sound
    for (int j = 0; j < VOICE_COUNT; j++) {
        EXPECT_EQ(voices[j].instrument, &instruments[3]) << j;
        EXPECT_EQ(voices[j].freq, 100.0f + (float)j) << j;
        EXPECT_EQ(voices[j].samplePos, 44102) << j;
        EXPECT_EQ(voices[j].active, 1) << j;
    }

    // A later row takes the lowest free slot.
    voices[5].active = 0;
    voices[9].active = 0;
    RenderNextRow(2);
    EXPECT_EQ(voices[5].instrument, &instruments[1]);
    EXPECT_EQ(voices[5].samplePos, 2);
    EXPECT_EQ(voices[9].active, 0);
    EXPECT_EQ(voices[9].instrument, &instruments[3]);
}

TEST_F(SequencerTest, ConversionClipsAndTruncatesTowardZero)
{
    const float mix[] = {1.5f, -3.0f, 0.5f, -0.5f, 1.0f, -1.0f, 0.0f, 0.9f / 32767.0f, -1.9f / 32767.0f};
    const int16_t expected[] = {32767, -32767, 16383, -16383, 32767, -32767, 0, 0, -1};
    int16_t converted[9];
    ConvertMix(mix, converted, 9);
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(converted[i], expected[i]) << "mix " << mix[i];
}

TEST_F(SequencerTest, CountsOutsideTheMixBufferAreBounded)
{
    int16_t guard[2] = {123, 456};
    RenderAudio(guard, 0);
    RenderAudio(guard, -8);
    EXPECT_EQ(guard[0], 123);
    EXPECT_EQ(audioTime, 0.0f);
    // Only the 8192 samples the mix buffer holds are rendered.
    static int16_t big[8193];
    big[8192] = 77;
    RenderAudio(big, 2 * 8193);
    EXPECT_EQ(big[8192], 77);
    EXPECT_EQ(audioTime, 8192.0f / 44100.0f);
}

TEST_F(SequencerTest, NoteNumbersFollowEqualTemperamentFrom440)
{
    EXPECT_EQ(NoteToFrequency(45), 440.0f);
    EXPECT_EQ(NoteToFrequency(57), 880.0f);
    EXPECT_EQ(NoteToFrequency(33), 220.0f);
    EXPECT_NEAR(NoteToFrequency(2), 36.71f, 0.01f);
    EXPECT_NEAR(NoteToFrequency(46), 466.16f, 0.01f);
    EXPECT_NEAR(NoteToFrequency(37), 277.18f, 0.01f);
    for (int n = 1; n < 79; n++)
        EXPECT_GT(NoteToFrequency((uint8_t)n), NoteToFrequency((uint8_t)(n - 1)));
}

} // namespace
