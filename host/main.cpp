#include <stdio.h>
#include "host/desktop.h"
#include "host/options.h"
#include "host/show.h"

int main(int argc, char** argv)
{
    // First: a windowed program finds its console here.
    PlatformStartProcess();
    const char* error = ParseShowOptions(argc, argv, &showOptions);
    if (error) {
        fprintf(stderr, "brinelux: %s\n", error);
        PlatformExit(2);
    }
    if (showOptions.help) {
        fputs(ShowUsage(), stdout);
        PlatformExit(0);
    }
    PlatformWindow* window = StartDesktop();
    DesktopLoop(window);
    ShutDown(window);
}
