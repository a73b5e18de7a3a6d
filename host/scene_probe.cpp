#include "host/scene_probe.h"

#include "host/pace.h"
#include "host/scene_size.h"
#include "render/present.h"

// The probes stop 42 frames (1.68 s) before the water, so that a slow
// GPU's last probe is over well before the water's first frame is due.
static const int32_t PROBES_END_BEFORE_WATER = 42;

static int32_t probes;

void ApplySceneSize()
{
    if (sceneDirect)
        HoldScenesAtPicture();
    int32_t w, h;
    ChosenSceneSize(&w, &h);
    SetSceneSize(w, h);
}

bool InProbeWindow(int32_t frame, int32_t from)
{
    return frame >= from && frame < PartFirstFrame(PART_WATER) - PROBES_END_BEFORE_WATER;
}

void ProbeSceneSize()
{
    bool first = probes++ == 0;
    ProbeScenes(first);
    if (first && !sceneDirect)
        IgnoreSceneFrames(1);
}
