// Host window detection: whether the host's main window, the topmost one
// whose class marks it as the host's, belongs to the full application. The
// event files are named by the answer.
#include "frame/plugin_frame.h"
#include "os_window.h"
#include "trigger.h"

enum {
    kClassBufferSize = 256,
    kClassLimit = 255, // so at most 254 characters are read
    // The window manager has no more handles than this, so no desktop holds
    // more windows; a z-order rearranged under the walk could otherwise
    // lead it round in a circle for ever.
    kMaxWindowsVisited = 65536
};

static bool QuIsHostMainWindow(const char *name, int32_t length)
{
    if (QuFindText(name, length, "FMPRO", 5, 0, 1, true) != 0 || length < 6)
        return false;
    return name[5] == '3' || name[5] == '5' || name[5] == '6' || name[5] == '7';
}

int32_t QuDetectHostWindow(void)
{
    char name[kClassBufferSize];
    QuOsWindow window = QuOsTopWindow();
    for (int32_t visited = 0; window != NULL && visited < kMaxWindowsVisited; visited++) {
        // A window closed during the walk has no name; it is no host window.
        int32_t length = QuOsWindowClassName(window, name, kClassLimit);
        if (length < 0 || length >= kClassLimit)
            length = 0;
        name[length] = 0;
        if (QuIsHostMainWindow(name, length))
            return QuFindText(name, length, "APP", 3, 0, 1, true) == length - 3 ? 0 : 1;
        window = QuOsNextWindow(window);
    }
    return 1;
}
