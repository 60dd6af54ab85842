// Operating-system seam of host window detection: the desktop's top-level
// windows in z-order and their class names.
#ifndef ROUSER_OS_WINDOW_H
#define ROUSER_OS_WINDOW_H

#include <stdint.h>

typedef void *QuOsWindow;

// The topmost top-level window; null when there is none.
QuOsWindow QuOsTopWindow(void);
// The next top-level window down the z-order; null below the last.
QuOsWindow QuOsNextWindow(QuOsWindow window);
// The window's class name, cut to limit - 1 characters and terminated.
// Returns the characters stored; 0 when the window is gone.
int32_t QuOsWindowClassName(QuOsWindow window, char *buffer, int32_t limit);

#endif
