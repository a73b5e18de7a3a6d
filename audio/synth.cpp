// Voice synthesis: square, saw and noise through an envelope and a swept
// two-pole filter, one sample at a time.
//
// The song must come out with the same bits everywhere, so every step below
// is single-precision float in the written order, except where a helper says
// otherwise.
#include "audio/audio.h"

#include <math.h>

uint32_t randomSeed;

float Remainder(float x, float y)
{
    // fmodf is exact and keeps the dividend's sign.
    return fmodf(x, y);
}

float Sine(float x) { return (float)sin((double)x); }

float Cosine(float x) { return (float)cos((double)x); }

float Tangent(float x) { return Sine(x) / Cosine(x); }

long double Power(long double x, long double y) { return powl(x, y); }

int32_t NextRandom(void)
{
    randomSeed = randomSeed * 214013u + 2531011u;
    return (int32_t)((randomSeed >> 10) & 0x7FFF);
}

float Envelope(const Instrument* instrument, float t)
{
    float a = (float)instrument->attack / 100.0f + 0.00001f;
    if (t <= a)
        return t / a;
    t = t - a;
    float d = (float)instrument->decay / 100.0f;
    float s = (float)instrument->sustain / 100.0f;
    if (t <= d)
        return 1.0f - (1.0f - s) * t / d;
    t = t - d;
    float h = (float)instrument->hold / 100.0f;
    if (t <= h)
        return s;
    t = t - h;
    float r = (float)instrument->release / 100.0f;
    if (t < r)
        return s - (t / r) * s;
    return 0.0f;
}

uint8_t RenderVoice(Voice* voice, int32_t n, float* mix)
{
    const Instrument* ins = voice->instrument;
    float sqFreq = voice->freq * ins->squareRatio;
    float sawRate = voice->freq * ins->sawRatio;
    float period = 1.0f / sqFreq;
    float damping = ins->damping;
    float vol = 0.0f;

    for (int32_t i = 0; i < n; i++) {
        float t = (float)(voice->samplePos + i) * 2.2675737e-5f;

        // Each square period starts with its low half.
        float s = 0.0f;
        if (Remainder(t, period) > period / 2.0f)
            s = s + ins->squareLevel;
        else
            s = s - ins->squareLevel;
        s = s + (Remainder(t * sawRate, 2.0f) - 1.0f) * ins->sawLevel;
        // Drawn for every sample of every voice, so the generator's sequence
        // does not depend on the patches.
        float r = (float)NextRandom();
        s = s + (r * 2.0f / 32767.0f - 1.0f) * ins->noiseLevel;

        vol = Envelope(ins, t);
        s = s * vol;

        // A negative rate runs the sweep on the song clock, shared by every
        // note of the patch.
        float rate, tau;
        if (ins->lfoRate < 0.0f) {
            rate = -ins->lfoRate;
            tau = audioTime;
        } else {
            rate = ins->lfoRate;
            tau = t;
        }
        float fc = Cosine(6.2831855f * rate * tau) * ins->lfoDepth + ins->cutoff;

        // Prewarped bilinear low-pass, or high-pass once the corner is at or
        // below zero; the history carries over when it flips.
        float w = 7.1237926e-5f * fc;
        float k, k2, a0, b1, a1;
        if (fc > 0.0f) {
            k = 1.0f / Tangent(w);
            k2 = k * k;
            a0 = 1.0f / (damping * k + 1.0f + k2);
            b1 = 2.0f * a0;
            a1 = (1.0f - k2) * 2.0f * a0;
        } else {
            k = Tangent(-w);
            k2 = k * k;
            a0 = 1.0f / (damping * k + 1.0f + k2);
            b1 = -2.0f * a0;
            a1 = (k2 - 1.0f) * 2.0f * a0;
        }
        float a2 = (1.0f - damping * k + k2) * a0;

        float y = a0 * s + b1 * voice->in[1] + a0 * voice->in[2] - a1 * voice->out[1] - a2 * voice->out[2];
        voice->out[0] = y;
        voice->in[2] = voice->in[1];
        voice->in[1] = s;
        voice->out[2] = voice->out[1];
        voice->out[1] = y;

        mix[i] = mix[i] + y * voice->gain;
    }

    voice->samplePos = voice->samplePos + n;
    // A note ends only with its envelope, at the end of a call.
    return vol > 0.0f ? 1 : 0;
}
