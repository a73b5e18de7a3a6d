// One still (--still): a card, or a scene at a chosen time, as a PNG.
#include <string>
#include <vector>

#include "host/show.h"
#include "platform/offline/offline.h"
#include "state/shared.h"
#include "tools/capture/encode.h"
#include "tools/capture/picture.h"
#include "tools/capture/publish.h"
#include "tools/capture/run.h"

static OutputFile stillFile;
static std::vector<uint8_t> stillPng;

static void OnStill(int32_t, const uint8_t* drawn, int, int)
{
    if (!EncodePng(FrameOf(drawn), frameLayout.width, frameLayout.height, &stillPng))
        Abort(std::string("cannot encode ") + options.png + " as PNG");
}

int WriteStill()
{
    std::string why;
    if (!PrepareOutput(options.png, true, &stillFile, &why))
        return Refuse(why);
    if (stillFile.toStdout)
        report = stderr;
    OfflineSetFrameRange(1, 1);
    OfflineSetSinks(OnStill, nullptr);
    if (int failed = OpenContext())
        return failed;
    PlatformWindow* window = StartUp();
    ShowPart part = options.still;
    float shown = RunPartFrame(window, part, options.time);
    int status = EndShow(window);

    if (OfflineInterrupted())
        return Interrupted();
    if (status != 0) {
        Cleanup();
        Say("the show reported an OpenGL error (line above); no still written");
        return 1;
    }
    if (stillPng.empty() || !WriteOutput(&stillFile, stillPng, &why) || !PublishOutput(&stillFile, &why)) {
        if (OfflineInterrupted())
            return Interrupted();
        Cleanup();
        Say(why.empty() ? std::string("no frame was drawn for ") + options.png : why);
        return 1;
    }
    std::string size = DescribeFrames(frameLayout);
    if (part == PART_TITLE || part == PART_THANKS)
        fprintf(report, "wrote %s: the %s card%s\n", options.png, showPartNames[part], size.c_str());
    else if (shown == options.time)
        fprintf(report, "wrote %s: %s at iGlobalTime %.9g%s\n", options.png, showPartNames[part], (double)shown,
                size.c_str());
    else
        fprintf(report, "wrote %s: %s at iGlobalTime %.9g, the nearest to %.9g that the scene clock's 0.04 s "
                        "step reaches%s\n",
                options.png, showPartNames[part], (double)shown, (double)options.time, size.c_str());
    return 0;
}
