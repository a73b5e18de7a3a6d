// Sequencer and mixer: advances the song clock by each block, starts at most
// one 0.12 s row per block, triggers voices from the song tables and mixes
// them down to 16-bit samples.
#include "audio/audio.h"

#include <string.h>
#include "state/shared.h"

float audioTime = 0.0f;
float rowLength = 0.12f;
int32_t rowCount = 0;
int32_t row = -1;
int32_t orderPos = 0;
float mixBuffer[MIX_SAMPLES];
Voice voices[VOICE_COUNT];

void ResetSong(void)
{
    audioTime = 0.0f;
    rowLength = 0.12f;
    rowCount = 0;
    row = -1;
    orderPos = 0;
    memset(mixBuffer, 0, sizeof mixBuffer);
    memset(voices, 0, sizeof voices);
    randomSeed = 9;
    quitRequested.store(0);
}

float NoteToFrequency(uint8_t n)
{
    float x = ((float)n - 45.0f) / 12.0f;
    float p = (float)Power(2.0L, (long double)x);
    return p * 440.0f;
}

// The line of an order step. Every step at or past the end mark counts as the
// end mark, so rendering on after the song has ended never reads beyond it.
static uint8_t OrderLine(int32_t pos)
{
    if (pos < 0 || pos >= ORDER_LENGTH)
        return END_MARK;
    for (int32_t i = 0; i <= pos; i++)
        if (orderList[i] == END_MARK)
            return END_MARK;
    return orderList[pos];
}

// Lowest-numbered idle voice, or null when all are sounding: nothing is
// ever stolen.
static Voice* TakeVoice(void)
{
    for (int32_t j = 0; j < VOICE_COUNT; j++)
        if (!voices[j].active)
            return &voices[j];
    return nullptr;
}

// Only these fields change at a trigger; the filter history stays.
static void Trigger(float freq, const Instrument* instrument, float gain)
{
    Voice* v = TakeVoice();
    if (!v)
        return;
    v->freq = freq;
    v->samplePos = 0;
    v->instrument = instrument;
    v->gain = gain;
    v->active = 1;
}

static void StartRow(void)
{
    rowCount += 1;
    row += 1;
    if (row == 16) {
        row = 0;
        orderPos += 1;
        // Unused value: the draw only moves the noise sequence on.
        NextRandom();
    }

    uint8_t line = OrderLine(orderPos);
    if (line == END_MARK) {
        // A looping show starts over itself; the song only falls silent.
        if (!songLoops)
            RequestQuit();
        return;
    }

    for (int32_t d = 0; d < DRUM_CHANNELS; d++) {
        if ((drumMasks[d][line] >> (15 - row)) & 1)
            Trigger(NoteToFrequency(drumNotes[d]), &instruments[drumInstruments[d]], 0.4f);
    }

    for (int32_t m = 0; m < MELODY_CHANNELS; m++) {
        uint8_t ref = patternRefs[m][line];
        const uint8_t* pattern = patterns[ref & 0x0F];
        uint8_t transpose = (uint8_t)(ref >> 4);
        uint8_t cell = pattern[row];
        uint8_t note = cell & 0x3F;
        int32_t v = cell >> 6;
        if (note == 0)
            continue;
        float gain = 0.1f * ((float)(4 - v) * 0.25f);
        Trigger(NoteToFrequency((uint8_t)(note + transpose)), &instruments[pattern[16]], gain);
    }
}

void ConvertMix(const float* mix, int16_t* out, int32_t n)
{
    for (int32_t i = 0; i < n; i++) {
        float s = mix[i];
        if (s > 1.0f)
            s = 1.0f;
        else if (s < -1.0f)
            s = -1.0f;
        // Truncation toward zero: the output range is -32767..32767.
        out[i] = (int16_t)(int32_t)(s * 32767.0f);
    }
}

void RenderAudio(int16_t* out, int32_t byteCount)
{
    int32_t n = byteCount >> 1;
    // The mix buffer holds one full ring; a count outside the stream's
    // contract must not run past it.
    if (n <= 0)
        return;
    if (n > MIX_SAMPLES)
        n = MIX_SAMPLES;

    // The clock stands at the end of this block during the whole call.
    audioTime = audioTime + (float)n / (float)SOUND_SAMPLE_RATE;
    memset(mixBuffer, 0, sizeof mixBuffer);

    if (audioTime - (float)rowCount * rowLength > rowLength)
        StartRow();

    for (int32_t j = 0; j < VOICE_COUNT; j++)
        if (voices[j].active)
            voices[j].active = RenderVoice(&voices[j], n, mixBuffer);

    ConvertMix(mixBuffer, out, n);
}
