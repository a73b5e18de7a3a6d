// The OpenGL 1.1 calls of the text cards on WebGL: a current colour, a
// raster position in window pixels, and display lists that each hold one
// glyph of the built-in table. Calling a list draws the glyph's set pixels
// in the raster colour, its lower-left corner placed as glBitmap places it,
// and moves the raster position by the advance.
#include "platform/platform.h"
#include "platform/web/gl_web.h"
#include "platform/web/glyphs.h"

#include <math.h>
#include <string.h>

enum { LIST_CAPACITY = 256, ATTRIB_DEPTH = 16, BATCH_GLYPHS = 64 };
enum { LIST_FREE = -2, LIST_EMPTY = -1 };
// The atlas: one cell a glyph, 16 across and 6 up, each as large as the
// largest glyph of the size drawn.
enum { ATLAS_COLUMNS = 16, ATLAS_ROWS = 6, CELL_MAX = 128 };

// One glyph of the size in the atlas.
struct CardGlyph {
    int width, rows;
    float xorig, yorig, advance;
    int cellX, cellY;
};

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
static CardGlyph glyphs[WEB_GLYPH_COUNT];
static int atlasWidth, atlasHeight;
static unsigned char texels[ATLAS_COLUMNS * CELL_MAX * ATLAS_ROWS * CELL_MAX];

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

// The program that draws glyphs from the atlas, and the atlas's texture
// and the glyphs' buffer; made with the first lists, and again after the
// context was lost.
static void BuildTextProgram()
{
    GLint unit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    // Unit 1: unit 0 keeps the scenes' noise texture bound.
    glActiveTexture(GL_TEXTURE1);
    glGenTextures(1, &atlas);
    glBindTexture(GL_TEXTURE_2D, atlas);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glActiveTexture((GLenum)unit);

    textProgram = glCreateProgram();
    glAttachShader(textProgram, Compile(GL_VERTEX_SHADER,
        "attribute vec4 a_glyph;\n"
        "uniform vec4 view;\n"
        "varying vec2 texel;\n"
        "void main() {\n"
        "  texel = a_glyph.zw;\n"
        "  gl_Position = vec4((a_glyph.xy - view.xy) / view.zw * 2.0 - 1.0, 0.0, 1.0);\n"
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

// Walks one glyph of the table's packing at `at`; with the atlas's texels
// given, draws its set bits there (255) from the corner x, y. Returns what
// follows it.
static const uint8_t* WalkGlyph(const uint8_t* at, CardGlyph* glyph, unsigned char* atlasTexels, int x, int y)
{
    glyph->width = at[0];
    glyph->rows = at[1];
    glyph->xorig = (float)(int8_t)at[2];
    glyph->yorig = (float)(int8_t)at[3];
    const uint8_t* flags = at + 4;
    const uint8_t* row = flags + (glyph->rows + 7) / 8;
    int rowBytes = (glyph->width + 7) / 8;
    for (int r = 0; r < glyph->rows; r++) {
        bool same = r > 0 && (flags[r / 8] >> (r % 8)) & 1;
        if (r > 0 && !same)
            row += rowBytes;
        if (atlasTexels == nullptr)
            continue;
        for (int c = 0; c < glyph->width; c++)
            atlasTexels[(size_t)(y + r) * atlasWidth + x + c] = (row[c / 8] >> (7 - c % 8)) & 1 ? 255 : 0;
    }
    return glyph->rows > 0 ? row + rowBytes : row;
}

// The pixels per em FreeType draws a pixel height at, as the desktop sets
// it: the height in 1/64 pixel, which the face rounds to whole pixels.
// 0 below one pixel, where the desktop has no face either.
static int PixelsPerEm(float pixelHeight)
{
    int size = (int)(pixelHeight * 64.0f + 0.5f);
    return size < 64 ? 0 : (size + 32) >> 6;
}

// Puts the glyphs of one size into the atlas, with the advances scaled
// from 24 pixels to pixelHeight as the desktop's lists scale them.
static bool LoadSize(float pixelHeight)
{
    int ppem = PixelsPerEm(pixelHeight);
    if (ppem < 1 || ppem > WEB_GLYPH_PPEM_MAX)
        return false;
    const uint8_t* first = webGlyphData + webGlyphSizeStart[ppem];
    int cellW = 1, cellH = 1;
    const uint8_t* at = first;
    for (int g = 0; g < WEB_GLYPH_COUNT; g++) {
        at = WalkGlyph(at, &glyphs[g], nullptr, 0, 0);
        cellW = glyphs[g].width > cellW ? glyphs[g].width : cellW;
        cellH = glyphs[g].rows > cellH ? glyphs[g].rows : cellH;
    }
    if (cellW > CELL_MAX || cellH > CELL_MAX)
        return false;
    atlasWidth = ATLAS_COLUMNS * cellW;
    atlasHeight = ATLAS_ROWS * cellH;
    memset(texels, 0, (size_t)atlasWidth * atlasHeight);
    at = first;
    for (int g = 0; g < WEB_GLYPH_COUNT; g++) {
        int x = g % ATLAS_COLUMNS * cellW, y = g / ATLAS_COLUMNS * cellH;
        at = WalkGlyph(at, &glyphs[g], texels, x, y);
        glyphs[g].cellX = x;
        glyphs[g].cellY = y;
        float advance = webGlyphAdvance24[g];
        glyphs[g].advance = pixelHeight == 24.0f ? advance : advance * pixelHeight / 24.0f;
    }
    GLint unit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, atlas);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, atlasWidth, atlasHeight, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, texels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glActiveTexture((GLenum)unit);
    return true;
}

bool PlatformUseFontBitmapsAt(uint32_t first, uint32_t count, uint32_t base, float pixelHeight)
{
    ReadyLists();
    if (!webGlyphsFound || PixelsPerEm(pixelHeight) < 1 || PixelsPerEm(pixelHeight) > WEB_GLYPH_PPEM_MAX)
        return false;
    if (textProgram == 0)
        BuildTextProgram();
    if (!LoadSize(pixelHeight))
        return false;
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

bool PlatformUseFontBitmaps(uint32_t first, uint32_t count, uint32_t base)
{
    return PlatformUseFontBitmapsAt(first, count, base, 24.0f);
}

void WebForgetTextGraphics(void)
{
    atlas = textProgram = textBuffer = 0;
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
    // The glyphs' corners are window pixels: the viewport maps them.
    glUniform4f(viewAt, (float)view[0], (float)view[1], (float)view[2], (float)view[3]);
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
static void Gather(int slot, const CardGlyph& g, float left, float bottom)
{
    float right = left + g.width, top = bottom + g.rows;
    float u0 = (float)g.cellX / atlasWidth, u1 = (float)(g.cellX + g.width) / atlasWidth;
    float v0 = (float)g.cellY / atlasHeight, v1 = (float)(g.cellY + g.rows) / atlasHeight;
    float corners[6][4] = {{left, bottom, u0, v0}, {right, bottom, u1, v0}, {right, top, u1, v1},
                           {left, bottom, u0, v0}, {right, top, u1, v1},  {left, top, u0, v1}};
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
        const CardGlyph& g = glyphs[lists[list]];
        if (!rasterValid)
            continue;
        // glBitmap's placement: the floor of the raster position less the
        // origin, nudged so positions that are whole numbers stay put.
        if (g.width > 0 && g.rows > 0) {
            float left = floorf(rasterX + 0.0001f - g.xorig);
            float bottom = floorf(rasterY + 0.0001f - g.yorig);
            Gather(gathered++, g, left, bottom);
            if (gathered == BATCH_GLYPHS) {
                Flush(gathered);
                gathered = 0;
            }
        }
        rasterX += g.advance;
    }
    Flush(gathered);
}
