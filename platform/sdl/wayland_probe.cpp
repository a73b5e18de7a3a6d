#include "platform/sdl/wayland_probe.h"

#include <string.h>
#include <wayland-client.h>

struct Offers {
    bool seat;
    bool output;
    bool compositor;
};

static void OnGlobal(void* data, wl_registry*, uint32_t, const char* name, uint32_t)
{
    Offers* offers = (Offers*)data;
    offers->seat |= strcmp(name, "wl_seat") == 0;
    offers->output |= strcmp(name, "wl_output") == 0;
    offers->compositor |= strcmp(name, "wl_compositor") == 0;
}

static void OnGlobalRemoved(void*, wl_registry*, uint32_t) {}

static const wl_registry_listener registryListener = {OnGlobal, OnGlobalRemoved};

const char* WaylandDisplayProblem(void)
{
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return nullptr;
    Offers offers = {false, false, false};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &offers);
    // One round trip brings every global the compositor announces.
    bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered)
        return "the Wayland display did not answer";
    if (!offers.compositor)
        return "the Wayland display offers no compositor";
    if (!offers.output)
        return "the Wayland display offers no output (no screen)";
    if (!offers.seat)
        return "the Wayland display offers no input seat (no keyboard)";
    return nullptr;
}
