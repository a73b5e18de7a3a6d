// The PNG and WAV encoders of brinelux-capture.
//
// Encoded in memory, so that every output goes through one careful writer
// (publish.h).
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <vector>

// RGB rows top first.
bool EncodePng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* png);
// 16-bit mono PCM at 44100 Hz.
bool EncodeWav(const int16_t* samples, size_t count, std::vector<uint8_t>* wav);
