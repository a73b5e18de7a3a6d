// The OpenGL side of the show: error reporting, shader programs, the noise
// texture, the scene pass and the bitmap text. All of it runs on the thread
// that holds the GL context.
#pragma once

#include <stdint.h>
#include "platform/gl.h"
#include "platform/platform.h"

// ---- error reporting ----
// Empties the GL error queue, writing "label : NAME code" for each error to
// the debugger channel and standard output and raising quitRequested.
// Returns true when at least one error was reported.
bool CheckGLError(const char* label);
// Set once any call of CheckGLError reported an error; decides the exit status.
extern bool glErrorReported;

// ---- shader programs ----
// Embedded GLSL sources.
extern const char vertexSource[];
extern const char waterSource[];
extern const char sphereSource[];

// Slot 0 the shared vertex shader, 1 Water Scene's program, 2 Sphere Scene's.
enum { SHADER_SLOTS = 4 };
extern GLuint shaderSlots[SHADER_SLOTS];
// Next free slot for LoadShader; 1 at load.
extern int32_t shaderCount;
// The program that draws a scene part (PART_WATER or PART_SPHERES, loaded in
// that order); 0 for anything else or before it is loaded.
GLuint SceneProgram(int32_t part);

// Compiles vertexSource into shaderSlots[0].
void BuildVertexShader();
// Compiles a fragment source, links it with the vertex shader, stores the
// program in the next slot and returns it. With every slot taken the
// program is not stored, and a line on the debugger channel says so.
GLuint LoadShader(const char* source);

// ---- noise texture ----
extern GLuint noiseTexture;
// Fills a 512 x 512 texture with the fixed pseudo-random bytes and leaves it
// bound on unit 0. width and height are ignored; textura and size receive the
// fill buffer and its byte count.
GLuint CrearTextura(unsigned char*& textura, int32_t& size, int32_t width, int32_t height);
// Makes the texture again from the fill buffer CrearTextura returned, bound
// on unit 0 as CrearTextura leaves it.
GLuint UploadNoiseTexture(const unsigned char* textura);
// The bound texture's filter (both ways) and wrap (both axes).
void SetTextureSampling(GLint filter, GLint wrap);

// ---- the surface ----
// Size in pixels of the surface the scene pass and the cards draw on: the
// window's 1024 x 768 unless the host gives another before start-up (a
// capture drawn at another size). The programs see it as iResolution, the
// letterbox band and the cards' glyphs scale with its height.
extern int32_t surfaceWidth;
extern int32_t surfaceHeight;
void SetSurfaceSize(int32_t width, int32_t height);
// The largest 4:3 picture centred in a width x height area, for a host that
// frames the show between bars: its corner (x, y) and size (w, h).
void FramePicture(int32_t width, int32_t height, int32_t* x, int32_t* y, int32_t* w, int32_t* h);

// ---- scene pass ----
// Seconds of scene time one scene pass moves the clock by (the sum taken in
// double, rounded to float); the show's frame rate is its inverse.
constexpr double SCENE_STEP_SECONDS = 0.04;
// Advances the scene clock and draws one screen quad with the program.
void DrawScene(GLuint program);
// The same quad with the program seeing iGlobalTime time, no clock moved:
// a picture between two of the show's frames.
void DrawSceneAt(GLuint program, float time);
// The clocks a scene pass moves (frameCount, and sceneTime by 0.04 s), with
// nothing drawn: DrawScene's first step.
void StepSceneClock();
// Makes the program current with the clocks a scene frame at width x
// height and `time` gives it (iResolution, iGlobalTime).
void AimSceneProgram(GLuint program, int32_t width, int32_t height, float time);
// Forgets the GL buffers the scene pass made (a lost context's): the next
// call makes them again.
void ForgetSceneBuffers();

// ---- text overlay ----
extern GLuint fontListBase;
// Builds the 96 display lists for codes 32..127 from a bold monospaced face
// 24 pixels high on a 768-row surface, scaled with the surface's height.
void BuildFont();
// The lists made again at the current surface's height (a window whose
// picture changed size); lists that draw nothing where no face has it.
void RemakeFontLists();
// The face's height in pixels on the current surface.
float FontPixelHeight();
// Draws the string at the current raster position; null draws nothing.
void PrintText(const char* text);

// ---- start-up ----
// Every graphics resource of the show, built in the show's order: the
// vertex shader, the two scene programs, the noise texture, the font.
enum { GRAPHICS_STEP_VERTEX, GRAPHICS_STEP_WATER, GRAPHICS_STEP_SPHERES, GRAPHICS_STEP_TEXTURE,
       GRAPHICS_STEP_FONT, GRAPHICS_STEP_COUNT };
// The noise texture's fill buffer and byte count, as start-up received them.
extern unsigned char* textureBytes;
extern int32_t textureSize;
// Runs the steps; afterStep, when given, is called after each with its
// number (the tools time them there).
void BuildShowGraphics(void (*afterStep)(int32_t step));
// After the GL context was lost and given back (a web page's): the
// programs, the noise texture and the scene pass's buffers made again in
// the new context. The font's lists belong to the backend that made them.
void RebuildShowGraphics();
