#include "tests/support/gl_env.h"

#include <stdio.h>
#include <stdlib.h>

namespace {
class HeadlessEnvironment : public ::testing::Environment {
public:
    void SetUp() override { RequireHeadlessGL(); }
};
const ::testing::Environment* const headlessEnv =
    ::testing::AddGlobalTestEnvironment(new HeadlessEnvironment);
bool contextReady;
} // namespace

void RequireHeadlessGL()
{
    if (contextReady)
        return;
    if (!HeadlessCreateContext(1024, 768)) {
        fprintf(stderr, "no headless OpenGL context: %s\n", HeadlessError());
        exit(1);
    }
    contextReady = true;
}

std::vector<unsigned char> ReadFramebuffer(int width, int height)
{
    std::vector<unsigned char> pixels((size_t)width * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void ClearGLErrors()
{
    while (glGetError() != GL_NO_ERROR) {
    }
}

void CaptureOutput(void (*body)(void*), void* arg, std::string& out, std::string& err)
{
    fflush(stdout);
    fflush(stderr);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    body(arg);
    fflush(stdout);
    fflush(stderr);
    out = ::testing::internal::GetCapturedStdout();
    err = ::testing::internal::GetCapturedStderr();
}
