#include "render/render.h"

// The start-up steps in the show's order. Each label is what the show prints
// when that step leaves an OpenGL error; the vertex shader and the font say
// nothing of their own.
static void StepVertex() { BuildVertexShader(); }

static void StepWater()
{
    LoadShader(waterSource);
    CheckGLError("LoadShader2 ");
}

static void StepSpheres()
{
    LoadShader(sphereSource);
    CheckGLError("LoadShader3 ");
}

unsigned char* textureBytes;
int32_t textureSize;

static void StepTexture()
{
    noiseTexture = CrearTextura(textureBytes, textureSize, 256, 256);
    CheckGLError("CrearTextura ");
}

static void StepFont() { BuildFont(); }

static void (*const graphicsSteps[GRAPHICS_STEP_COUNT])() = {StepVertex, StepWater, StepSpheres, StepTexture,
                                                              StepFont};

void BuildShowGraphics(void (*afterStep)(int32_t step))
{
    for (int32_t step = 0; step < GRAPHICS_STEP_COUNT; step++) {
        graphicsSteps[step]();
        if (afterStep != nullptr)
            afterStep(step);
    }
}

void RebuildShowGraphics()
{
    // The programs take their slots again from the first; the texture is
    // made from the bytes start-up kept.
    shaderCount = 1;
    StepVertex();
    StepWater();
    StepSpheres();
    noiseTexture = UploadNoiseTexture(textureBytes);
    CheckGLError("CrearTextura ");
    ForgetSceneBuffers();
}
