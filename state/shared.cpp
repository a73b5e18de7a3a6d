#include "state/shared.h"

std::atomic<uint8_t> quitRequested{0};
ShowClocks showClocks;
const char* const showPartNames[PART_COUNT] = {"title", "thanks", "water", "spheres"};
