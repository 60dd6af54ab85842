// Host window detection's seam on Windows: the real desktop.
#include <windows.h>

#include "os_window.h"

QuOsWindow QuOsTopWindow(void)
{
    return (QuOsWindow)GetTopWindow(NULL);
}

QuOsWindow QuOsNextWindow(QuOsWindow window)
{
    return (QuOsWindow)GetWindow((HWND)window, GW_HWNDNEXT);
}

int32_t QuOsWindowClassName(QuOsWindow window, char *buffer, int32_t limit)
{
    return (int32_t)GetClassNameA((HWND)window, buffer, limit);
}
