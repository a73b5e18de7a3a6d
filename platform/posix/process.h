// What the POSIX backends (SDL and offline) share of the process: the
// debugger channel on standard error, the last failure's reason, the end.
#pragma once

#include <stdarg.h>

// Records the one-line reason that PlatformLastError() then returns.
void SetPlatformError(const char* format, ...) __attribute__((format(printf, 1, 2)));
