// The song: about 117 seconds of drums and bass, as fixed tables.
#include "audio/audio.h"

// Line played by each order step of 16 rows; 255 ends the song.
const uint8_t orderList[ORDER_LENGTH] = {
    0, 0, 0,                // 0-2
    1, 1, 1, 1,             // 3-6
    2, 2, 2, 2,             // 7-10
    3, 3, 3, 3,             // 11-14
    2, 2, 2, 2,             // 15-18
    1, 1, 1, 1,             // 19-22
    0, 0, 0,                // 23-25
    1, 1, 1, 1,             // 26-29
    2, 2, 2, 2,             // 30-33
    3, 3, 3, 3,             // 34-37
    2, 2, 2, 2,             // 38-41
    1, 1, 1, 1,             // 42-45
    0, 0, 0,                // 46-48
    1, 1, 1, 1,             // 49-52
    2, 2, 2, 2,             // 53-56
    3, 3, 3, 3,             // 57-60
    END_MARK,               // 61
    0, 0,                   // 62-63, past the end
};

// Bit 15 - r set: a hit on row r.
const uint16_t drumMasks[DRUM_CHANNELS][SONG_LINES] = {
    {0},
    {0xFFAA, 0xFF00, 0xFF00, 0xFFAA, 0x9222, 0x9222, 0x9222, 0x9222,
     0x9222, 0x9222, 0x9222, 0x9222, 0x9222, 0x9222, 0x9222, 0x9222,
     0x9222, 0x9222, 0x9220, 0x888A, 0x9A00, 0x0000, 0x0000, 0x0000,
     0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000},
    {0},
    {0},
};

const uint8_t drumNotes[DRUM_CHANNELS] = {173, 2, 0, 0};
const uint8_t drumInstruments[DRUM_CHANNELS] = {0, 1, 0, 0};

// Low 4 bits: pattern; high 4 bits: transposition in semitones.
const uint8_t patternRefs[MELODY_CHANNELS][SONG_LINES] = {
    {0xA0, 0xA0, 0x31, 0xA1, 0x31, 0xA0, 0x31, 0x31, 0xA1},
    {0}, {0}, {0}, {0}, {0}, {0}, {0},
};

// 16 cells (note in the low 6 bits, volume step in the top 2), then the
// instrument.
const uint8_t patterns[PATTERN_COUNT][PATTERN_BYTES] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0xAB, 0, 0, 0, 0xA5, 0xA0, 0x9B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3},
    {0xAB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4},
    {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0},
};

const Instrument instruments[INSTRUMENT_COUNT] = {
    // attack decay sustain release hold, cutoff damping lfoRate lfoDepth,
    // squareRatio sawRatio squareLevel sawLevel noiseLevel
    {1, 5, 15, 50, 0, -12000.0f, 1.1f, 1.5f, 8000.0f, 1.0f, 0.5f, 0.5f, 0.3f, 1.2f},
    {1, 15, 40, 5, 0, 20.0f, 1.0f, 1.0f, 200.0f, 1.5f, 1.0f, 1.0f, 0.5f, 2.4f},
    {1, 15, 40, 5, 0, 800.0f, 1.0f, -0.5f, -600.0f, 1.0f, 1.0f, 0.1f, 0.2f, 0.0f},
    {50, 30, 45, 100, 40, -1150.0f, 1.0f, -1.333f, -950.0f, 0.501f, 1.0f, 0.5f, 0.7f, 0.0f},
    {0, 10, 50, 40, 60, 900.0f, 1.0f, 0.5f, 20.0f, 0.5f, 1.0f, 0.1f, 0.4f, 0.0f},
};
