// The bitmap text: the 96 lists, where and how the cards' text lands, the
// list base and unpacking state left as found, the same pixels whatever
// fonts the machine has, and the face the build chooses among them.
#include "render/render.h"
#include "tests/support/gl_env.h"
#include "tools/find_face.h"

#include <fontconfig/fontconfig.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

namespace {

struct Box {
    int left = 1 << 30, right = -1, bottom = 1 << 30, top = -1, lit = 0;
};

// Extent of the pixels with any colour in the framebuffer.
Box LitBox(const std::vector<unsigned char>& px)
{
    Box b;
    for (int y = 0; y < 768; y++)
        for (int x = 0; x < 1024; x++) {
            const unsigned char* p = &px[((size_t)y * 1024 + x) * 4];
            if (p[0] | p[1] | p[2]) {
                b.lit++;
                b.left = x < b.left ? x : b.left;
                b.right = x > b.right ? x : b.right;
                b.bottom = y < b.bottom ? y : b.bottom;
                b.top = y > b.top ? y : b.top;
            }
        }
    return b;
}

int LitInRow(const std::vector<unsigned char>& px, int y)
{
    int n = 0;
    for (int x = 0; x < 1024; x++)
        n += px[((size_t)y * 1024 + x) * 4] != 0;
    return n;
}

void ClearToBlack()
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Window x of the raster position after drawing text from (x, y).
float RasterXAfter(const char* text, float x, float y)
{
    glRasterPos2f(x, y);
    PrintText(text);
    float pos[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    return pos[0];
}

void DrawWhite(const char* text, float x, float y)
{
    glColor4f(1, 1, 1, 1);
    glRasterPos2f(x, y);
    PrintText(text);
}

// A private fontconfig set-up for one test: BuildFont loads the
// configuration afresh, so it sees FONTCONFIG_FILE as set here.
struct FontConfigScope {
    std::string dir;
    std::string saved;
    bool hadSaved = false;
    explicit FontConfigScope(std::vector<std::string> files)
    {
        char tmpl[] = "/tmp/brinelux-fontXXXXXX";
        dir = mkdtemp(tmpl);
        std::string fonts = dir + "/fonts";
        EXPECT_EQ(mkdir(fonts.c_str(), 0700), 0);
        for (size_t i = 0; i < files.size(); i++) {
            std::string link = fonts + "/face" + std::to_string(i) + ".ttf";
            EXPECT_EQ(symlink(files[i].c_str(), link.c_str()), 0);
        }
        std::string conf = dir + "/fonts.conf";
        FILE* f = fopen(conf.c_str(), "w");
        fprintf(f, "<?xml version=\"1.0\"?>\n<fontconfig>\n<dir>%s</dir>\n<cachedir>%s/cache</cachedir>\n</fontconfig>\n",
                fonts.c_str(), dir.c_str());
        fclose(f);
        if (const char* old = getenv("FONTCONFIG_FILE")) {
            saved = old;
            hadSaved = true;
        }
        setenv("FONTCONFIG_FILE", conf.c_str(), 1);
    }
    ~FontConfigScope()
    {
        if (hadSaved)
            setenv("FONTCONFIG_FILE", saved.c_str(), 1);
        else
            unsetenv("FONTCONFIG_FILE");
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0)
            fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
};

// File of the face the system's fontconfig gives for a name, or "".
std::string MatchFile(const char* name)
{
    std::string path;
    FcPattern* pat = FcNameParse((const FcChar8*)name);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcPattern* font = FcFontMatch(nullptr, pat, &result);
    FcChar8* file = nullptr;
    if (font != nullptr && FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch)
        path = (const char*)file;
    if (font != nullptr)
        FcPatternDestroy(font);
    FcPatternDestroy(pat);
    return path;
}

void BuildFontCapturing(std::string& err)
{
    std::string out;
    CaptureOutput([](void*) { BuildFont(); }, nullptr, out, err);
    EXPECT_EQ(out, "");
}

// Seams on epoxy's entry points: count the calls PrintText makes.
int pushes, pops, bases, calls;
GLsizei lastCount = -1;
PFNGLPUSHATTRIBPROC realPush;
PFNGLPOPATTRIBPROC realPop;
PFNGLLISTBASEPROC realBase;
PFNGLCALLLISTSPROC realCallLists;
void GLAPIENTRY CountPush(GLbitfield mask) { pushes++; realPush(mask); }
void GLAPIENTRY CountPop() { pops++; realPop(); }
void GLAPIENTRY CountBase(GLuint base) { bases++; realBase(base); }
void GLAPIENTRY CountCallLists(GLsizei n, GLenum type, const void* lists)
{
    calls++;
    lastCount = n;
    realCallLists(n, type, lists);
}

struct CallCounter {
    CallCounter()
    {
        pushes = pops = bases = calls = 0;
        lastCount = -1;
        realPush = epoxy_glPushAttrib;
        realPop = epoxy_glPopAttrib;
        realBase = epoxy_glListBase;
        realCallLists = epoxy_glCallLists;
        epoxy_glPushAttrib = CountPush;
        epoxy_glPopAttrib = CountPop;
        epoxy_glListBase = CountBase;
        epoxy_glCallLists = CountCallLists;
    }
    ~CallCounter()
    {
        epoxy_glPushAttrib = realPush;
        epoxy_glPopAttrib = realPop;
        epoxy_glListBase = realBase;
        epoxy_glCallLists = realCallLists;
    }
};

class Font : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        RequireHeadlessGL();
        ClearGLErrors();
        std::string err;
        BuildFontCapturing(err);
        buildError = glGetError();
        buildStderr = err;
    }
    void SetUp() override
    {
        ClearGLErrors();
        ClearToBlack();
    }
    static GLenum buildError;
    static std::string buildStderr;
};
GLenum Font::buildError;
std::string Font::buildStderr;

} // namespace

TEST_F(Font, BuildsNinetySixListsQuietlyAndWithoutGLError)
{
    EXPECT_EQ(buildError, (GLenum)GL_NO_ERROR);
    EXPECT_EQ(buildStderr, "");
    ASSERT_NE(fontListBase, 0u);
    for (GLuint i = 0; i < 96; i++)
        EXPECT_TRUE(glIsList(fontListBase + i)) << "list for code " << 32 + i;
}

TEST_F(Font, TitleLineLandsWhereTheCardPutsIt)
{
    const char* text = "LANTERNFX: Brinelux";
    DrawWhite(text, -0.7f, 0.2f);
    Box b = LitBox(ReadFramebuffer());
    ASSERT_GT(b.lit, 0);
    // (-0.7, 0.2) is window (153.6, 460.8): the text starts there, on that
    // baseline, and this line has no descenders.
    EXPECT_GE(b.left, 150);
    EXPECT_LE(b.left, 158);
    EXPECT_GE(b.bottom, 458);
    EXPECT_LE(b.bottom, 463);
    EXPECT_LE(b.top, 461 + 20);
    EXPECT_GE(b.top, 461 + 12);

    float advance = RasterXAfter("M", -0.7f, 0.2f) - 153.6f;
    EXPECT_GT(advance, 10.0f);
    EXPECT_LT(advance, 20.0f);
    float width = RasterXAfter(text, -0.7f, 0.2f) - 153.6f;
    EXPECT_NEAR(width, strlen(text) * advance, 0.01f);
    EXPECT_LT(b.right, 153.6f + width);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Font, EveryPrintableCodeHasTheSameAdvance)
{
    float advance = RasterXAfter("M", 0.0f, 0.0f) - 512.0f;
    for (int c = 32; c < 127; c++) {
        char one[2] = {(char)c, 0};
        EXPECT_NEAR(RasterXAfter(one, 0.0f, 0.0f) - 512.0f, advance, 0.01f) << "code " << c;
    }
}

TEST_F(Font, GlyphsAreUprightAndBold)
{
    // L has its bar at the bottom, T at the top: rows flipped the wrong way
    // would swap them.
    DrawWhite("L", 0.0f, 0.0f);
    Box l = LitBox(ReadFramebuffer());
    std::vector<unsigned char> px = ReadFramebuffer();
    EXPECT_GT(LitInRow(px, l.bottom), 2 * LitInRow(px, l.top));

    ClearToBlack();
    DrawWhite("T", 0.0f, 0.0f);
    px = ReadFramebuffer();
    Box t = LitBox(px);
    EXPECT_GT(LitInRow(px, t.top), 2 * LitInRow(px, t.bottom));
    // A bold stem is more than one pixel wide.
    EXPECT_GE(LitInRow(px, t.bottom), 2);

    // One-bit glyphs: every lit pixel is full white, nothing in between.
    for (size_t i = 0; i < px.size(); i += 4) {
        if (px[i]) {
            ASSERT_EQ(px[i], 255);
        }
    }
}

TEST_F(Font, NullStringMakesNoGLCall)
{
    glRasterPos2f(0.0f, 0.0f);
    CallCounter counter;
    PrintText(nullptr);
    EXPECT_EQ(pushes + pops + bases + calls, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(LitBox(ReadFramebuffer()).lit, 0);
}

TEST_F(Font, EmptyStringPushesAndPopsButCallsNoList)
{
    glRasterPos2f(0.0f, 0.0f);
    {
        CallCounter counter;
        PrintText("");
        EXPECT_EQ(pushes, 1);
        EXPECT_EQ(pops, 1);
        EXPECT_TRUE(calls == 0 || lastCount == 0);
    }
    float pos[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    EXPECT_FLOAT_EQ(pos[0], 512.0f);
    EXPECT_EQ(LitBox(ReadFramebuffer()).lit, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Font, ListBaseIsLeftAsFound)
{
    glListBase(1234);
    DrawWhite("Brinelux", 0.0f, 0.0f);
    GLint base = 0;
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(base, 1234);
    glListBase(0);
    EXPECT_GT(LitBox(ReadFramebuffer()).lit, 0);
}

TEST_F(Font, BytesOutsideTheFontDrawAndMoveNothing)
{
    const char odd[] = {'\x1f', '\x80', '\xff', '\x01', 0};
    EXPECT_FLOAT_EQ(RasterXAfter(odd, 0.0f, 0.0f), 512.0f);
    EXPECT_EQ(LitBox(ReadFramebuffer()).lit, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Font, BuildingUnderOddUnpackStateGivesTheSameGlyphsAndRestoresIt)
{
    DrawWhite("Ag@", 0.0f, 0.0f);
    std::vector<unsigned char> before = ReadFramebuffer();

    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 7);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 3);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 2);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_TRUE);
    GLuint oldBase = fontListBase;
    std::string err;
    BuildFontCapturing(err);
    EXPECT_EQ(err, "");
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_NE(fontListBase, oldBase);

    GLint align = 0, length = 0, rows = 0, pixels = 0, lsb = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &length);
    glGetIntegerv(GL_UNPACK_SKIP_ROWS, &rows);
    glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &pixels);
    glGetIntegerv(GL_UNPACK_LSB_FIRST, &lsb);
    EXPECT_EQ(align, 8);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(pixels, 2);
    EXPECT_EQ(lsb, GL_TRUE);

    // The lists were compiled with their own unpacking, and drawing them
    // does not depend on the state in force now.
    ClearToBlack();
    DrawWhite("Ag@", 0.0f, 0.0f);
    EXPECT_TRUE(ReadFramebuffer() == before);

    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
}

TEST_F(Font, TheMachinesFontsDoNotChangeTheCards)
{
    // The face travels inside the program: with no fonts configured at all,
    // or with only a proportional face, the lists draw the same pixels.
    DrawWhite("LANTERNFX: Brinelux", -0.7f, 0.2f);
    std::vector<unsigned char> usual = ReadFramebuffer();
    GLuint good = fontListBase;
    std::vector<std::string> onlySans;
    std::string sans = MatchFile("Liberation Sans");
    if (sans.find("LiberationSans") != std::string::npos)
        onlySans.push_back(sans);
    for (const std::vector<std::string>& faces : {std::vector<std::string>{}, onlySans}) {
        FontConfigScope scope(faces);
        std::string err;
        BuildFontCapturing(err);
        EXPECT_EQ(err, "");
        ClearToBlack();
        DrawWhite("LANTERNFX: Brinelux", -0.7f, 0.2f);
        EXPECT_TRUE(ReadFramebuffer() == usual) << faces.size() << " faces configured";
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
    fontListBase = good;
}

// The build's choice of face among a machine's fonts.
std::string ChosenFile(std::vector<std::string> faces)
{
    FontConfigScope scope(faces);
    FT_Library library = nullptr;
    EXPECT_EQ(FT_Init_FreeType(&library), 0);
    std::string file;
    int index = -1;
    FT_Face face = FindShowFace(library, &file, &index);
    if (face != nullptr) {
        EXPECT_EQ(index, 0);
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return face != nullptr ? file : "";
}

TEST(FaceChoice, OnlyLiberationMonoBoldFromVersion2)
{
    std::string bold2 = "/usr/share/fonts/truetype/liberation2/LiberationMono-Bold.ttf";
    std::string bold1 = "/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf";
    std::string dejavu = MatchFile("DejaVu Sans Mono:bold");
    std::string regular2 = "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf";
    for (const std::string& file : {bold2, bold1, dejavu, regular2})
        if (access(file.c_str(), R_OK) != 0 || file.empty())
            GTEST_SKIP() << "fonts-liberation2, fonts-liberation or DejaVu Sans Mono Bold is not installed";
    // The face by name among others, wherever it is listed.
    EXPECT_NE(ChosenFile({regular2, dejavu, bold2}).find("/face2.ttf"), std::string::npos);
    EXPECT_NE(ChosenFile({bold1, bold2}).find("/face1.ttf"), std::string::npos);
    // Another bold monospaced face, the same family's regular weight or its
    // 1.x release (whose licence does not let a program carry it): none.
    EXPECT_EQ(ChosenFile({bold1, dejavu, regular2}), "");
    EXPECT_EQ(ChosenFile({}), "");
}
