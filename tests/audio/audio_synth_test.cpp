// Voice synthesis: the generator, the envelope, the end of a note, the
// filter history of a reused slot, the two kinds of cutoff sweep, and the
// remainder the oscillators use.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include "audio/audio.h"
#include "tests/audio/audio_fakes.h"

namespace {

class SynthTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSongAndFakes(); }
};

Instrument Patch(uint8_t attack, uint8_t decay, uint8_t sustain, uint8_t release, uint8_t hold)
{
    Instrument ins = instruments[4];
    ins.attack = attack;
    ins.decay = decay;
    ins.sustain = sustain;
    ins.release = release;
    ins.hold = hold;
    return ins;
}

Voice Fresh(const Instrument* ins, float freq)
{
    Voice v;
    memset(&v, 0, sizeof v);
    v.instrument = ins;
    v.freq = freq;
    v.gain = 0.1f;
    v.active = 1;
    return v;
}

TEST_F(SynthTest, GeneratorFrom9UsesBits10To24)
{
    randomSeed = 9;
    const int32_t expected[] = {4352, 461, 16377, 24508, 19869};
    for (int32_t e : expected)
        EXPECT_EQ(NextRandom(), e);
    // Always 15 bits, whatever the state.
    randomSeed = 0xFFFFFFFFu;
    for (int i = 0; i < 1000; i++) {
        int32_t r = NextRandom();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

TEST_F(SynthTest, EnvelopeRunsAttackDecayHoldRelease)
{
    // Stored order attack, decay, sustain, release, hold.
    Instrument ins = Patch(50, 30, 45, 100, 40);
    EXPECT_EQ(Envelope(&ins, 0.0f), 0.0f);
    EXPECT_NEAR(Envelope(&ins, 0.25f), 0.5f, 1e-4);
    EXPECT_NEAR(Envelope(&ins, 0.5f), 1.0f, 1e-4);
    EXPECT_NEAR(Envelope(&ins, 0.65f), 0.725f, 1e-4);
    EXPECT_NEAR(Envelope(&ins, 0.8f), 0.45f, 1e-4);
    EXPECT_NEAR(Envelope(&ins, 1.0f), 0.45f, 1e-6);
    EXPECT_NEAR(Envelope(&ins, 1.2f), 0.45f, 1e-4);
    EXPECT_NEAR(Envelope(&ins, 1.7f), 0.225f, 1e-4);
    // The 0.00001 s added to the attack moves the end just past 2.2 s.
    EXPECT_NEAR(Envelope(&ins, 2.2f), 0.0f, 1e-4);
    EXPECT_EQ(Envelope(&ins, 2.2001f), 0.0f);
    EXPECT_EQ(Envelope(&ins, 5.0f), 0.0f);
}

TEST_F(SynthTest, ZeroAttackIsOverBeforeTheSecondSample)
{
    Instrument ins = Patch(0, 10, 50, 40, 60);
    EXPECT_EQ(Envelope(&ins, 0.0f), 0.0f);
    float second = Envelope(&ins, 2.2675737e-5f);
    EXPECT_GT(second, 0.99f);
    EXPECT_LE(second, 1.0f);
}

TEST_F(SynthTest, OneSampleFirstCallEndsTheVoiceSilently)
{
    float mix[1] = {0.25f};
    Voice v = Fresh(&instruments[1], NoteToFrequency(2));
    EXPECT_EQ(RenderVoice(&v, 1, mix), 0);
    // Envelope 0 at the first sample: nothing enters the filter.
    EXPECT_EQ(v.in[1], 0.0f);
    EXPECT_EQ(mix[0], 0.25f);
    EXPECT_EQ(v.samplePos, 1);
}

TEST_F(SynthTest, EveryNoteDrawsOneNumberPerSample)
{
    // Instrument 3 has no noise at all, yet still moves the generator.
    static float mix[1000];
    Voice v = Fresh(&instruments[3], 200.0f);
    randomSeed = 9;
    RenderVoice(&v, 1000, mix);
    uint32_t after = randomSeed;
    randomSeed = 9;
    for (int i = 0; i < 1000; i++)
        NextRandom();
    EXPECT_EQ(after, randomSeed);
}

TEST_F(SynthTest, ZeroSustainEndsInTheCallWhereTheDecayReachesZero)
{
    // Attack 0 and decay 0.10 s: the envelope reaches 0 at sample 4410.
    Instrument ins = Patch(0, 10, 0, 90, 90);
    static float mix[1000];
    Voice v = Fresh(&ins, 200.0f);
    for (int call = 1; call <= 4; call++)
        EXPECT_EQ(RenderVoice(&v, 1000, mix), 1) << "call " << call;
    EXPECT_EQ(RenderVoice(&v, 1000, mix), 0);
}

TEST_F(SynthTest, VoiceEndsWithItsEnvelopeAtTheEndOfACall)
{
    // Instrument 1 lasts 0.21 s: 9261 samples; a call that covers the end
    // reports it, and the samples of that call are all rendered.
    static float mix[4096];
    Voice v = Fresh(&instruments[1], NoteToFrequency(2));
    EXPECT_EQ(RenderVoice(&v, 4096, mix), 1);
    EXPECT_EQ(RenderVoice(&v, 4096, mix), 1);
    EXPECT_EQ(RenderVoice(&v, 4096, mix), 0);
    EXPECT_EQ(v.samplePos, 3 * 4096);
}

TEST_F(SynthTest, RetriggeredSlotStartsFromTheOldFilterHistory)
{
    // A note leaves the slot's filter ringing.
    static int16_t out[4096];
    voices[0].in[1] = 0.3f;
    voices[0].in[2] = -0.2f;
    voices[0].out[1] = 0.5f;
    voices[0].out[2] = 0.4f;
    voices[0].out[0] = 0.5f;
    // Order step 0, row 0 takes slot 0 for the drum; one sample of it.
    audioTime = 0.12f;
    RenderAudio(out, 2);
    ASSERT_EQ(voices[0].instrument, &instruments[1]);
    // The history moved on by one sample instead of starting from zero.
    EXPECT_EQ(voices[0].in[2], 0.3f);
    EXPECT_EQ(voices[0].in[1], 0.0f);
    EXPECT_EQ(voices[0].out[2], 0.5f);
    EXPECT_NE(voices[0].out[0], 0.0f);
    EXPECT_NE(out[0], 0);
}

// Renders n samples of a fresh voice of ins at the given song time.
void RenderAt(const Instrument* ins, float songTime, float* mix, int32_t n)
{
    memset(mix, 0, sizeof(float) * (size_t)n);
    Voice v = Fresh(ins, 150.0f);
    audioTime = songTime;
    randomSeed = 9;
    RenderVoice(&v, n, mix);
}

TEST_F(SynthTest, NegativeLfoRateFollowsTheSongClock)
{
    static float a[2000], b[2000];
    Instrument song = instruments[3]; // -1.333 Hz
    RenderAt(&song, 0.3f, a, 2000);
    RenderAt(&song, 5.0f, b, 2000);
    EXPECT_NE(memcmp(a, b, sizeof a), 0);

    // Within one call the song clock stands still, so a note rendered in one
    // call or in two at the same song time comes out the same.
    RenderAt(&song, 0.3f, a, 2000);
    Voice v = Fresh(&song, 150.0f);
    memset(b, 0, sizeof b);
    audioTime = 0.3f;
    randomSeed = 9;
    RenderVoice(&v, 1000, b);
    RenderVoice(&v, 1000, b + 1000);
    EXPECT_EQ(memcmp(a, b, sizeof a), 0);
}

TEST_F(SynthTest, PositiveLfoRateRestartsWithEachNote)
{
    static float a[2000], b[2000];
    Instrument note = instruments[3];
    note.lfoRate = 1.333f;
    RenderAt(&note, 0.3f, a, 2000);
    RenderAt(&note, 5.0f, b, 2000);
    EXPECT_EQ(memcmp(a, b, sizeof a), 0);
}

TEST_F(SynthTest, CornerAtOrBelowZeroIsAHighPass)
{
    // A constant input: a low-pass settles to it, a high-pass to nothing.
    Instrument ins = Patch(0, 0, 100, 255, 255);
    ins.squareLevel = 0.0f;
    ins.noiseLevel = 0.0f;
    ins.lfoDepth = 0.0f;
    ins.lfoRate = 0.0f;
    ins.damping = 1.4142135f;
    // The saw at rate 0 gives remainder(0, 2) - 1 = -1 at every sample.
    ins.sawLevel = 1.0f;
    ins.sawRatio = 0.0f;
    static float mix[4000];
    for (float cutoff : {500.0f, -500.0f}) {
        ins.cutoff = cutoff;
        memset(mix, 0, sizeof mix);
        Voice v = Fresh(&ins, 100.0f);
        v.gain = 1.0f;
        RenderVoice(&v, 4000, mix);
        float settled = cutoff > 0.0f ? -1.0f : 0.0f;
        EXPECT_NEAR(mix[3999], settled, 1e-3) << cutoff;
    }
}

TEST_F(SynthTest, RemainderIsExactAndKeepsTheDividendsSign)
{
    EXPECT_EQ(Remainder(5.5f, 2.0f), 1.5f);
    EXPECT_EQ(Remainder(-5.5f, 2.0f), -1.5f);
    // Exact, as the double remainder shows, not x - trunc(x / y) * y rounded.
    EXPECT_EQ(Remainder(1.0f, 0.3f), (float)fmod(1.0, (double)0.3f));
    EXPECT_EQ(Remainder(2.0f, 2.0f), 0.0f);
}

} // namespace
