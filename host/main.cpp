#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "host/desktop.h"
#include "host/options.h"
#include "host/show.h"

int main(int argc, char** argv)
{
    // First: a windowed program finds its console here.
    PlatformStartProcess();
    const char* error = ParseShowOptions(argc, argv, &showOptions, getenv("XSCREENSAVER_WINDOW"));
    if (error) {
        fprintf(stderr, "brinelux: %s\n", error);
        PlatformExit(2);
    }
    if (showOptions.help) {
        // A list that could not be written (a full disk, a closed output)
        // is a failure, not a help given.
        if (fputs(ShowUsage(), stdout) < 0 || fflush(stdout) != 0) {
            fprintf(stderr, "brinelux: the option list could not be written to standard output: %s\n",
                    strerror(errno));
            PlatformExit(1);
        }
        PlatformExit(0);
    }
    if (showOptions.configure) {
        PlatformShowMessage("brinelux has nothing to set: the screensaver shows the demo as it is, looping, "
                            "without sound.");
        PlatformExit(0);
    }
    if (showOptions.listDisplays || showOptions.display > 0) {
        static char monitors[4096];
        int32_t count = PlatformDisplays(monitors, sizeof monitors);
        if (count < 0) {
            fprintf(stderr, "brinelux: %s\n", PlatformLastError());
            PlatformExit(1);
        }
        if (showOptions.listDisplays) {
            fputs(monitors, stdout);
            PlatformExit(0);
        }
        if (showOptions.display > count) {
            fprintf(stderr, "brinelux: there is no monitor %d: the system has %d (brinelux --display list)\n",
                    showOptions.display, count);
            PlatformExit(2);
        }
    }
    PlatformWindow* window = StartDesktop();
    DesktopLoop(window);
    ShutDown(window);
}
