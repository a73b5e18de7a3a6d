/* Stands in for the Screen Saver settings' preview pane: a grey window that
 * prints "HWND X Y W H" (its handle, its client area on screen), grows to
 * 480 x 360 once FLAGFILE.grow exists, and once FLAGFILE exists prints
 * "child CLASS WxH" of the window inside it, destroys itself and lives on a
 * few seconds, so that the window goes before the process.
 *   preview_pane.exe FLAGFILE */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static int Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int main(int argc, char** argv)
{
    if (argc != 2 || strlen(argv[1]) > MAX_PATH - 8)
        return 2;
    char grow[MAX_PATH];
    snprintf(grow, sizeof grow, "%s.grow", argv[1]);
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    wc.lpszClassName = "pane";
    RegisterClassA(&wc);
    HWND pane = CreateWindowExA(0, "pane", "pane", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100, 400, 300, NULL,
                                NULL, wc.hInstance, NULL);
    if (!pane)
        return 1;
    POINT at = {0, 0};
    ClientToScreen(pane, &at);
    printf("%llu %ld %ld 400 300\n", (unsigned long long)(ULONG_PTR)pane, at.x, at.y);
    fflush(stdout);
    int grown = 0;
    DWORD end = 0;
    for (DWORD waited = 0; waited < 180000; waited += 20) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (pane && !grown && Exists(grow)) {
            SetWindowPos(pane, NULL, 0, 0, 480, 360, SWP_NOMOVE | SWP_NOZORDER);
            grown = 1;
        }
        if (pane && Exists(argv[1])) {
            HWND child = GetWindow(pane, GW_CHILD);
            char name[64] = "none";
            RECT r = {0, 0, 0, 0};
            if (child) {
                GetClassNameA(child, name, sizeof name);
                GetClientRect(child, &r);
            }
            printf("child %s %ldx%ld\n", name, r.right, r.bottom);
            fflush(stdout);
            DestroyWindow(pane);
            pane = NULL;
            end = waited + 3000;
        }
        if (!pane && waited >= end)
            return 0;
        Sleep(20);
    }
    return 3;
}
