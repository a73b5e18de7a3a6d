// What the modes of brinelux-capture share: the options, and the show's
// OpenGL context made at the frames' size.
#include "tools/capture/run.h"

#include "platform/platform.h"
#include "render/render.h"
#include "tools/capture/picture.h"

CaptureOptions options;
FILE* report = stdout;
bool madePngDir;

// The show's start-up ends the process when it gets no OpenGL context: the
// context is made first here, so a failure still cleans up after itself.
// Start-up then gets the same one. It is made at the size the frames are
// drawn at (--size, --supersample), which the scene pass and the cards then
// take for theirs.
int OpenContext()
{
    LayOutCapture(options.width, options.height, options.supersample);
    int32_t width = SurfaceWidth(frameLayout), height = SurfaceHeight(frameLayout);
    SetSurfaceSize(width, height);
    if (PlatformCreateWindow(0, 0, width, height))
        return 0;
    Cleanup();
    Say(PlatformLastError());
    return 1;
}
