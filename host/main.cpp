#include "host/show.h"

int main()
{
    PlatformWindow* window = StartUp();
    FrameLoop(window);
    ShutDown(window);
}
