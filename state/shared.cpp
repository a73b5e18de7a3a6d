#include "state/shared.h"

std::atomic<uint8_t> quitRequested{0};
float sceneTime = 0.0f;
int32_t frameCount = 0;
const char* const showPartNames[PART_COUNT] = {"title", "thanks", "water", "spheres"};
