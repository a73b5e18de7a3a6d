// The Win32 backend's window record, shared by its display and sound parts.
#pragma once

#include <windows.h>
#include "platform/platform.h"

struct PlatformWindow {
    HWND window;
    HDC deviceContext;
    HGLRC context;
};
