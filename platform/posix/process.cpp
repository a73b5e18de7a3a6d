#include "platform/posix/process.h"
#include "platform/platform.h"

#include <stdio.h>
#include <unistd.h>

static char lastError[256];

void SetPlatformError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(lastError, sizeof lastError, format, args);
    va_end(args);
}

const char* PlatformLastError(void) { return lastError; }

void PlatformDebugOutput(const char* text)
{
    fputs(text, stderr);
    fflush(stderr);
}

void PlatformExit(int status)
{
    // Lines written with printf are lost on a pipe unless flushed here.
    fflush(stdout);
    fflush(stderr);
    // _exit: the feeder thread may still be running, or asleep on the
    // offline clock for ever; no static destructor may pull its state away
    // underneath it, and no join may wait for it.
    _exit(status);
}
