#include "render/render.h"

GLuint noiseTexture;

// The Microsoft C runtime's rand, restated so the texture is the same bytes
// on every platform: state from 1, never seeded.
static uint32_t textureRandState = 1;

static int TextureRand()
{
    textureRandState = textureRandState * 214013u + 2531011u;
    return (int)((textureRandState >> 16) & 0x7FFF);
}

// The texture's side in texels, whatever size the caller asks for.
static const int textureSide = 512;

GLuint CrearTextura(unsigned char*& textura, int32_t& size, int32_t width, int32_t height)
{
    (void)width;
    (void)height;
    const int side = textureSide;
    const int bytesPerTexel = 4;
    textura = new unsigned char[side * side * bytesPerTexel];
    size = side * side * bytesPerTexel;
    for (int i = 0; i < side * side * bytesPerTexel; i += 4) {
        textura[i + 3] = (unsigned char)(TextureRand() + 1);
        textura[i] = (unsigned char)TextureRand();
        textura[i + 1] = (unsigned char)TextureRand();
        textura[i + 2] = (unsigned char)TextureRand();
    }
    return UploadNoiseTexture(textura);
}

GLuint UploadNoiseTexture(const unsigned char* textura)
{
    GLuint handle = 0;
    glGenTextures(1, &handle);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, handle);
    // Read as tightly packed RGB: only the first three quarters of the buffer
    // reach the texture.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, textureSide, textureSide, 0, GL_RGB, GL_UNSIGNED_BYTE, textura);
    SetTextureSampling(GL_NEAREST, GL_REPEAT);
    return handle;
}

void SetTextureSampling(GLint filter, GLint wrap)
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}
