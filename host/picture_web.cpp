#include "host/picture_web.h"

#include <emscripten/emscripten.h>
#include "host/scene_probe.h"
#include "host/scene_size.h"
#include "platform/web/web.h"
#include "render/present.h"
#include "render/render.h"

// The picture at most 2880 x 2160 (a 4K screen's height): the page's glyph
// table holds the cards' text up to that size.
enum { PICTURE_MAX_HEIGHT = 2160 };

// The scenes' size the page last heard of.
static int32_t reportedWidth, reportedHeight;

EM_JS(void, ReportSceneSize, (int width, int height, int pictureW, int pictureH), {
    Module['sceneSize'] = [width, height, pictureW, pictureH];
    if (Module['onSceneSize']) Module['onSceneSize'](width, height, pictureW, pictureH);
});

// The controller's size given to the picture, and to the page when it moved.
static void ApplyAndReportSceneSize()
{
    ApplySceneSize();
    if (sceneWidth == reportedWidth && sceneHeight == reportedHeight)
        return;
    reportedWidth = sceneWidth;
    reportedHeight = sceneHeight;
    ReportSceneSize(sceneWidth, sceneHeight, pictureWidth, pictureHeight);
}

void WebSetCanvasSize(int32_t width, int32_t height)
{
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    int32_t x, y, w, h, given[2];
    FramePicture(width, height, &x, &y, &w, &h);
    WebSizeCanvas(width, height, w, h, PICTURE_MAX_HEIGHT, &given[0], &given[1]);
    FrameWindow(given[0], given[1]);
    SceneSizeForPicture(pictureWidth, pictureHeight);
    ApplyAndReportSceneSize();
}

void WebBeginPicture(bool scene)
{
    BeginPicture(scene);
    ApplyAndReportSceneSize();
}

void WebEndPicture(bool scene) { EndPicture(scene); }

void WebProbeScenes()
{
    ProbeSceneSize();
    ApplyAndReportSceneSize();
}

bool WebSceneSizeSettled(void) { return SceneSizeSettled(); }

void WebForgetCanvasGraphics(void) { ForgetPictureGraphics(); }

void WebPinSceneScale(double scale)
{
    PinSceneScale(scale);
    ApplyAndReportSceneSize();
}

void WebNoteSceneFrame(double ms, double displayMs, double nowMs)
{
    NoteSceneFrame(ms, displayMs, nowMs);
    ApplyAndReportSceneSize();
}
