// The Linux sound ring's own way to the sound server (PulseAudio, and
// PipeWire's pulse server), which tells how long a sample takes from the
// stream to the ear: SDL's audio does not pass that on.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Fills bytes at out with what the ring plays next.
typedef void (*PulsePull)(uint8_t* out, uint32_t bytes);
// Says that bytes were taken now, and how long the last of them will take
// to be heard (microseconds, 0 where the server has not said yet).
typedef void (*PulseTook)(uint32_t bytes, uint64_t latencyUs);

// Connects to the sound server and plays a mono signed 16-bit stream at
// rate, asking for about chunkBytes at a time; pull and took run on the
// connection's own thread. Waits for as long as the server takes to answer
// (the caller's thread is not the show's). False, with the reason in why,
// when there is no server or it refuses the stream.
// Pauses or resumes the stream (what the server holds is kept).
void PulsePause(bool pause);
bool PulseOpen(uint32_t rate, uint32_t chunkBytes, PulsePull pull, PulseTook took, char* why, size_t whyBytes);
