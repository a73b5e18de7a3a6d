// The sound of the show: output stream with its feeder thread, sequencer and
// mixer, voice synthesis and the song.
//
// Everything below StartAudio runs on the feeder thread alone once it exists;
// it shares with the frame loop only quitRequested and the heard position
// that SongPlaySeconds reads.
#pragma once

#include <stdint.h>
#include "platform/platform.h"
#include "platform/sound_ring.h"

// Fills byteCount bytes (byteCount / 2 signed 16-bit samples) at out.
typedef void (*AudioCallback)(int16_t* out, int32_t byteCount);

// ---- output stream ----

// Opens the sound ring and starts the feeder thread that keeps it filled
// through callback.
void StartAudio(PlatformWindow* window, AudioCallback callback);
// The feeder thread: one refill every 25 ms until quitRequested is raised.
void AudioThread(void* unused);
// Renders exactly the bytes the device has taken since the previous refill.
void FillSoundBuffer(void);
// Seconds of song the listener has heard: what the feeder has rendered less
// what still waits ahead of the device's play position in the ring, less
// what the output holds beyond it where the system says (its latency), and
// less audioOffsetMs. Between the device's takes it moves on at the rate
// from the takes' times. Held by a device that stands still for a moment
// (and by one still opening), carried on by the stand-in clock once it has
// stood for OUTPUT_STALL_MS; 0 before the sound starts; never goes back.
// One reader thread, beside the feeder.
double SongPlaySeconds(void);
// The output's latency the last SongPlaySeconds took off, in milliseconds.
double SongOutputLatencyMs(void);

// How long the output may take nothing before the song goes on without it,
// when outputStandIn is set (the live show). Longer than any hiccup a sound
// server or a loaded machine gives (a few hundred ms), short enough that a
// viewer sees a still picture only briefly.
constexpr int64_t OUTPUT_STALL_MS = 2000;
// Whether a standing output hands the song to the stand-in clock: the
// desktop show's, not the capture's (whose clock is virtual) or the page's.
extern bool outputStandIn;
// Shifts the song's heard position for delays no system reports (a
// television's, a receiver's): positive, the pictures later.
extern int32_t audioOffsetMs;
// The position between takes, from the recent takes: each says where the
// song is at nowUs if the device played on at its rate; the lowest, at most
// one take past the latest. For the reader of SongPlaySeconds, and tests.
double SmoothedHeard(double heard, uint64_t atUs, uint64_t count, uint32_t takeSamples, uint64_t nowUs);
// Forgets the takes SmoothedHeard keeps.
void ForgetTakes(void);

// ---- a live player's controls (the feeder carries them out) ----

// Moves the song to sample: the feeder renders it there unheard through
// seekSong, then fills the ring from the device's play position on. Only
// the latest of several asked before the feeder's turn is made.
void SeekAudio(int64_t sample);
// Whether the latest seek is still to be heard from: the song's position
// then still tells of before it.
bool AudioSeekPending(void);
// What a seek does to the song (SongJumpTo for the show's own).
extern void (*seekSong)(int64_t sample);
// Pauses and resumes the output, the song's clock held meanwhile (an output
// paused is not a stalled one).
void PauseAudio(bool pause);

extern AudioCallback renderCallback;
// Ring offset up to which sound has been written; always inside the ring.
extern uint32_t writePos;
// The feeder's previous look at the play position: PlatformTimeMs then (-1
// before the first refill), the position it saw, and whether that had moved
// since the look before.
extern int64_t lastLookMs;
extern uint32_t lastPlayPos;
extern bool lastLookMoved;

// ---- voices ----

// One synthesis patch. Envelope times are hundredths of a second, sustain is
// a percentage; the envelope runs attack, decay, hold, release.
struct Instrument {
    uint8_t attack;
    uint8_t decay;
    uint8_t sustain;
    uint8_t release;
    uint8_t hold;
    float cutoff;      // filter corner in Hz; at or below 0 a high-pass at its magnitude
    float damping;     // inverse resonance
    float lfoRate;     // Hz of note time; negative: magnitude, on the song clock
    float lfoDepth;    // corner swing in Hz
    float squareRatio; // square frequency as a multiple of the note
    float sawRatio;    // saw rate as a multiple of the note (repeats at half)
    float squareLevel;
    float sawLevel;
    float noiseLevel;
};

// One sounding note. The filter history survives a retrigger of the slot.
struct Voice {
    float freq;
    int32_t samplePos;
    const Instrument* instrument;
    float gain;
    float in[3];  // in[1] previous filter input, in[2] the one before
    float out[3]; // out[0] newest output, out[1] previous, out[2] before that
    uint8_t active;
};

// Adds n (>= 1) samples of voice into mix[0..n-1]; 1 while it still sounds.
uint8_t RenderVoice(Voice* voice, int32_t n, float* mix);
// Amplitude 0..1 of the instrument's envelope t seconds after the trigger.
float Envelope(const Instrument* instrument, float t);
// Next value 0..32767 of the synthesizer's generator.
int32_t NextRandom(void);

// State of the synthesizer's own random generator; start-up sets it to 9.
extern uint32_t randomSeed;

// The synthesizer's math, pinned down so every platform gives the same bits:
// remainder of truncating division, sine and cosine in double rounded to
// float, tangent as their quotient in float, power in extended precision.
float Remainder(float x, float y);
float Sine(float x);
float Cosine(float x);
float Tangent(float x);
long double Power(long double x, long double y);

// ---- sequencer and mixer ----

enum { MIX_SAMPLES = 8192, VOICE_COUNT = 32, ORDER_LENGTH = 64, SONG_LINES = 32,
       DRUM_CHANNELS = 4, MELODY_CHANNELS = 8, PATTERN_COUNT = 16, PATTERN_BYTES = 17,
       INSTRUMENT_COUNT = 5, END_MARK = 255 };

// The song's block renderer.
void RenderAudio(int16_t* out, int32_t byteCount);
// Puts the whole song back to its start: sequencer, voices, mix buffer, the
// generator seeded with 9, and the quit flag lowered. At process start only
// the seed differs from the values the variables start with.
void ResetSong(void);
// Clips mix[0..n-1] to -1..1 and scales it to 16-bit samples.
void ConvertMix(const float* mix, int16_t* out, int32_t n);
// Frequency in Hz of note number n: 440 x 2^((n - 45) / 12).
float NoteToFrequency(uint8_t n);

extern float audioTime;     // seconds of sound rendered, this call included
extern float rowLength;     // seconds per row
extern int32_t rowCount;    // rows started so far
extern int32_t row;         // row within the order step, -1 before the first
extern int32_t orderPos;    // current order step
extern float mixBuffer[MIX_SAMPLES];
extern Voice voices[VOICE_COUNT];

// ---- the song ----

// The song's length in seconds, from its tables: it ends as the row of its
// end mark starts, one row after the rows of the steps before it.
double SongLengthSeconds(void);
// Receives a block of song: its first sample's index and its samples.
typedef void (*SongBlockSink)(int64_t firstSample, const int16_t* samples, int32_t count);
// Renders the song on in the live feeder's refills, from refill *refills and
// sample *samples (both moved on), until *samples reaches upTo, the song its
// end mark, *refills maxRefills, or stop (may be null) says so; each block
// goes to sink (may be null). Returns the refills made.
int64_t RenderSongRefills(int64_t* refills, int64_t* samples, double upTo, int64_t maxRefills, bool (*stop)(void),
                          SongBlockSink sink);

// The song at sample `sample`, as if rendered from its start in calls of a
// ring each; the states met on the way are kept, so later jumps are cheap.
void SongJumpTo(int64_t sample);
// At the end mark the song falls silent instead of raising the quit flag:
// a show that loops starts it over itself.
extern bool songLoops;

extern const uint8_t orderList[ORDER_LENGTH];
extern const uint16_t drumMasks[DRUM_CHANNELS][SONG_LINES];
extern const uint8_t drumNotes[DRUM_CHANNELS];
extern const uint8_t drumInstruments[DRUM_CHANNELS];
extern const uint8_t patternRefs[MELODY_CHANNELS][SONG_LINES];
extern const uint8_t patterns[PATTERN_COUNT][PATTERN_BYTES];
extern const Instrument instruments[INSTRUMENT_COUNT];
