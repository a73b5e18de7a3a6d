// Both scene programs, drawn by the show's scene pass, against the programs
// they replaced (tests/fixtures), drawn the old way: the whole screen quad
// with no scissor. The cheaper programs reorder the work, bound loops and
// skip square roots; every frame must still come out byte for byte the same.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "state/shared.h"
#include "render/render.h"
#include "tests/support/gl_env.h"
#include "tests/support/shader_probe.h"

extern const char waterReference[];
extern const char sphereReference[];

namespace {

GLuint water, spheres, waterBefore, spheresBefore;
std::string buildLog;

GLuint LinkReference(const char* source)
{
    GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(shader, 1, &source, NULL);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    char log[2000] = "";
    if (!ok) {
        glGetShaderInfoLog(shader, sizeof log, NULL, log);
        buildLog += log;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, shaderSlots[0]);
    glAttachShader(program, shader);
    glBindAttribLocation(program, 0, "a_position");
    glLinkProgram(program);
    return program;
}

void ClearToMagenta()
{
    glBindFramebuffer(GL_FRAMEBUFFER, HeadlessFramebuffer());
    glViewport(0, 0, 1024, 768);
    glClearColor(1.0f, 0.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

// The earlier scene pass: every pixel of the viewport runs the program.
std::vector<unsigned char> DrawBefore(GLuint program, float time)
{
    ClearToMagenta();
    float corners[12] = {-1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "iResolution"), 1024.0f, 768.0f);
    glUniform1f(glGetUniformLocation(program, "iGlobalTime"), time);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, corners);
    glEnableVertexAttribArray(0);
    glDrawArrays(GL_QUADS, 0, 4);
    glFinish();
    return ReadFramebuffer();
}

// The show's scene pass, from the clock value before the frame; returns the
// frame and, through time, the iGlobalTime it drew.
std::vector<unsigned char> DrawNow(GLuint program, float clockBefore, float& time)
{
    ClearToMagenta();
    showClocks.sceneTime = clockBefore;
    DrawScene(program);
    time = showClocks.sceneTime;
    glFinish();
    return ReadFramebuffer();
}

// Clock values before each frame of a part, as the scene pass accumulates
// them from 0; the frames picked are the first three, the last three and
// `spread` more in between.
std::vector<float> ClocksBefore(int frames, int spread)
{
    std::vector<float> all;
    float clock = 0.0f;
    for (int i = 0; i < frames; i++) {
        all.push_back(clock);
        clock = (float)((double)clock + 0.04);
    }
    std::vector<float> picked;
    for (int i = 0; i < frames; i++) {
        bool edge = i < 3 || i >= frames - 3;
        if (edge || (i % (frames / (spread + 1)) == 0))
            picked.push_back(all[i]);
    }
    return picked;
}

void ExpectSameFrames(GLuint now, GLuint before, const std::vector<float>& clocks)
{
    for (float clock : clocks) {
        float time = 0.0f;
        std::vector<unsigned char> a = DrawNow(now, clock, time);
        std::vector<unsigned char> b = DrawBefore(before, time);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        if (memcmp(a.data(), b.data(), a.size()) == 0)
            continue;
        size_t differing = 0, first = 0;
        int largest = 0;
        for (size_t i = 0; i < a.size(); i++) {
            int d = abs((int)a[i] - (int)b[i]);
            if (d && !differing++)
                first = i / 4;
            largest = d > largest ? d : largest;
        }
        ADD_FAILURE() << "time " << time << ": " << differing << " bytes differ, first at pixel (" << first % 1024
                      << ", " << first / 1024 << "), by up to " << largest;
    }
}

class SceneIdentity : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureNoiseTexture();
        ClearGLErrors();
        BuildVertexShader();
        water = LoadShader(waterSource);
        spheres = LoadShader(sphereSource);
        waterBefore = LinkReference(waterReference);
        spheresBefore = LinkReference(sphereReference);
    }
    void SetUp() override { ASSERT_EQ(buildLog, ""); }
};

} // namespace

TEST_F(SceneIdentity, WaterFramesMatchTheEarlierProgram)
{
    // 126 frames from 0.04 to 5.04: both ends and nine between.
    std::vector<float> clocks = ClocksBefore(126, 9);
    ASSERT_GE(clocks.size(), 14u);
    ExpectSameFrames(water, waterBefore, clocks);
}

TEST_F(SceneIdentity, SphereFramesOverAWholeCycleMatchTheEarlierProgram)
{
    // One cycle, 0.04 to 14.04 (351 frames): both ends and fifteen between,
    // so the light, the sway and the camera pass through most of their range.
    std::vector<float> clocks = ClocksBefore(351, 15);
    ASSERT_GE(clocks.size(), 20u);
    ExpectSameFrames(spheres, spheresBefore, clocks);
}
