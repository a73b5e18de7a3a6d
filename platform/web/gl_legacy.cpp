// The OpenGL 1.1 calls of the text cards on WebGL: a current colour, a
// raster position in window pixels, and display lists that each hold one
// glyph of the built-in table. Calling a list draws the glyph's set pixels
// in the raster colour, its lower-left corner placed as glBitmap places it,
// and moves the raster position by the advance.
#include "platform/platform.h"
#include "platform/web/gl_web.h"
#include "platform/web/glyphs.h"

#include <math.h>

enum { LIST_CAPACITY = 256, ATTRIB_DEPTH = 16, CELL = 32, BATCH_GLYPHS = 64 };
enum { LIST_FREE = -2, LIST_EMPTY = -1 };

static GLfloat colour[4] = {1, 1, 1, 1};
static GLfloat rasterColour[4] = {1, 1, 1, 1};
static float rasterX, rasterY;
static bool rasterValid = true;
static short lists[LIST_CAPACITY]; // glyph index, LIST_EMPTY, or LIST_FREE
static GLuint nextList = 1;
static GLuint listBase;
static GLuint listBaseStack[ATTRIB_DEPTH];
static int attribDepth;
static bool listsReady;

static GLuint atlas, textProgram, textBuffer;
static GLint colourAt, viewAt;
static float batch[BATCH_GLYPHS * 6 * 4];

static void ReadyLists()
{
    if (listsReady)
        return;
    for (int i = 0; i < LIST_CAPACITY; i++)
        lists[i] = LIST_FREE;
    listsReady = true;
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    colour[0] = red;
    colour[1] = green;
    colour[2] = blue;
    colour[3] = alpha;
}

void glRasterPos2f(GLfloat x, GLfloat y)
{
    // No matrices are ever set, so x and y are clip coordinates with w 1; a
    // point outside the view volume leaves the position invalid and the
    // text after it undrawn.
    rasterValid = x >= -1.0f && x <= 1.0f && y >= -1.0f && y <= 1.0f;
    GLint view[4];
    glGetIntegerv(GL_VIEWPORT, view);
    float halfW = (float)view[2] * 0.5f;
    float halfH = (float)view[3] * 0.5f;
    rasterX = x * halfW + (halfW + (float)view[0]);
    rasterY = y * halfH + (halfH + (float)view[1]);
    for (int i = 0; i < 4; i++)
        rasterColour[i] = colour[i];
}

GLuint glGenLists(GLsizei range)
{
    ReadyLists();
    if (range <= 0 || nextList + (GLuint)range > LIST_CAPACITY)
        return 0;
    GLuint base = nextList;
    for (GLsizei i = 0; i < range; i++)
        lists[base + i] = LIST_EMPTY;
    nextList += (GLuint)range;
    return base;
}

// Lists made this way hold nothing: the only lists with content are the
// glyphs that PlatformUseFontBitmaps puts in.
void glNewList(GLuint list, GLenum)
{
    ReadyLists();
    if (list < LIST_CAPACITY && lists[list] != LIST_FREE)
        lists[list] = LIST_EMPTY;
}

void glEndList(void) {}

void glListBase(GLuint base) { listBase = base; }

void glPushAttrib(GLbitfield)
{
    if (attribDepth < ATTRIB_DEPTH)
        listBaseStack[attribDepth] = listBase;
    attribDepth++;
}

void glPopAttrib(void)
{
    if (attribDepth == 0)
        return;
    attribDepth--;
    if (attribDepth < ATTRIB_DEPTH)
        listBase = listBaseStack[attribDepth];
}

static GLuint Compile(GLenum stage, const char* source)
{
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

// The atlas (one cell of CELL x CELL texels a glyph, 255 where a bit is
// set) and the program that draws from it; made once, with the lists.
static void BuildTextResources()
{
    static unsigned char texels[WEB_GLYPH_COUNT * CELL * CELL];
    for (int g = 0; g < WEB_GLYPH_COUNT; g++) {
        const WebGlyph& glyph = webGlyphs[g];
        int rowBytes = (glyph.width + 7) / 8;
        for (int r = 0; r < glyph.rows && r < CELL; r++)
            for (int c = 0; c < glyph.width && c < CELL; c++) {
                uint8_t byte = webGlyphBits[glyph.bits + r * rowBytes + c / 8];
                texels[(size_t)r * WEB_GLYPH_COUNT * CELL + g * CELL + c] = (byte >> (7 - c % 8)) & 1 ? 255 : 0;
            }
    }
    GLint unit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    // Unit 1: unit 0 keeps the scenes' noise texture bound.
    glActiveTexture(GL_TEXTURE1);
    glGenTextures(1, &atlas);
    glBindTexture(GL_TEXTURE_2D, atlas);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, WEB_GLYPH_COUNT * CELL, CELL, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                 texels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glActiveTexture((GLenum)unit);

    textProgram = glCreateProgram();
    glAttachShader(textProgram, Compile(GL_VERTEX_SHADER,
        "attribute vec4 a_glyph;\n"
        "uniform vec2 view;\n"
        "varying vec2 texel;\n"
        "void main() {\n"
        "  texel = a_glyph.zw;\n"
        "  gl_Position = vec4(a_glyph.xy / view * 2.0 - 1.0, 0.0, 1.0);\n"
        "}\n"));
    glAttachShader(textProgram, Compile(GL_FRAGMENT_SHADER,
        "precision mediump float;\n"
        "uniform sampler2D atlas;\n"
        "uniform vec4 colour;\n"
        "varying vec2 texel;\n"
        "void main() {\n"
        "  if (texture2D(atlas, texel).r < 0.5) discard;\n"
        "  gl_FragColor = colour;\n"
        "}\n"));
    glBindAttribLocation(textProgram, 0, "a_glyph");
    glLinkProgram(textProgram);
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glUseProgram(textProgram);
    glUniform1i(glGetUniformLocation(textProgram, "atlas"), 1);
    colourAt = glGetUniformLocation(textProgram, "colour");
    viewAt = glGetUniformLocation(textProgram, "view");
    glUseProgram((GLuint)program);
    glGenBuffers(1, &textBuffer);
}

bool PlatformUseFontBitmaps(uint32_t first, uint32_t count, uint32_t base)
{
    ReadyLists();
    if (!webGlyphsFound)
        return false;
    if (textProgram == 0)
        BuildTextResources();
    for (uint32_t i = 0; i < count; i++) {
        uint32_t list = base + i;
        uint32_t code = first + i;
        if (list >= LIST_CAPACITY || lists[list] == LIST_FREE)
            continue;
        bool known = code >= WEB_GLYPH_FIRST && code < WEB_GLYPH_FIRST + WEB_GLYPH_COUNT;
        lists[list] = known ? (short)(code - WEB_GLYPH_FIRST) : (short)LIST_EMPTY;
    }
    return true;
}

// Draws the glyphs gathered so far with the text program, then puts back
// what the scenes rely on: their program, buffer binding and attribute 0.
static void Flush(int glyphs)
{
    if (glyphs == 0)
        return;
    GLint program = 0, buffer = 0, enabled = 0;
    GLint view[4];
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    glGetIntegerv(GL_VIEWPORT, view);
    glUseProgram(textProgram);
    glUniform4f(colourAt, rasterColour[0], rasterColour[1], rasterColour[2], rasterColour[3]);
    glUniform2f(viewAt, (float)view[2], (float)view[3]);
    glBindBuffer(GL_ARRAY_BUFFER, textBuffer);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(glyphs * 6 * 4 * sizeof(float)), batch, GL_STREAM_DRAW);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glDrawArrays(GL_TRIANGLES, 0, glyphs * 6);
    if (!enabled)
        glDisableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, (GLuint)buffer);
    glUseProgram((GLuint)program);
}

// Adds one glyph's rectangle (window pixels, atlas coordinates) to the batch.
static void Gather(int slot, int glyph, float left, float bottom)
{
    const WebGlyph& g = webGlyphs[glyph];
    float right = left + g.width, top = bottom + g.rows;
    float u0 = (float)(glyph * CELL) / (WEB_GLYPH_COUNT * CELL);
    float u1 = (float)(glyph * CELL + g.width) / (WEB_GLYPH_COUNT * CELL);
    float v1 = (float)g.rows / CELL;
    float corners[6][4] = {{left, bottom, u0, 0}, {right, bottom, u1, 0}, {right, top, u1, v1},
                           {left, bottom, u0, 0}, {right, top, u1, v1},  {left, top, u0, v1}};
    float* at = batch + slot * 6 * 4;
    for (int v = 0; v < 6; v++)
        for (int k = 0; k < 4; k++)
            at[v * 4 + k] = corners[v][k];
}

void glCallLists(GLsizei n, GLenum type, const void* names)
{
    if (type != GL_UNSIGNED_BYTE || names == nullptr || n <= 0 || textProgram == 0)
        return;
    const unsigned char* codes = (const unsigned char*)names;
    int gathered = 0;
    for (GLsizei i = 0; i < n; i++) {
        GLuint list = listBase + codes[i];
        if (list >= LIST_CAPACITY || lists[list] < 0)
            continue;
        const WebGlyph& g = webGlyphs[lists[list]];
        if (!rasterValid)
            continue;
        // glBitmap's placement: the floor of the raster position less the
        // origin, nudged so positions that are whole numbers stay put.
        if (g.width > 0 && g.rows > 0) {
            float left = floorf(rasterX + 0.0001f - g.xorig);
            float bottom = floorf(rasterY + 0.0001f - g.yorig);
            Gather(gathered++, lists[list], left, bottom);
            if (gathered == BATCH_GLYPHS) {
                Flush(gathered);
                gathered = 0;
            }
        }
        rasterX += g.advance;
    }
    Flush(gathered);
}
