// Host window detection's seam on POSIX, which has no desktop of windows:
// the simulated host supplies the class names, top of the z-order first.
// A window is its place in that list plus one, so that null means none.
#include <stdint.h>
#include <stdlib.h>

#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "os_window.h"

// The class name of the window at `index` (0 is the top) and its length;
// null when the list is shorter.
static const char *QuWindowClassAt(intptr_t index, int32_t *length)
{
    const char *const *classes;
    int32_t count;
    if (index < 0)
        return NULL;
    if (QuWindowListOverride(&classes, &count)) {
        if (index >= count || classes[index] == NULL)
            return NULL;
        *length = QuTextLength(classes[index]);
        return classes[index];
    }
    const char *names = getenv(ROUSER_WINDOW_CLASSES_VARIABLE);
    if (names == NULL || names[0] == 0)
        return NULL;
    const char *name = names;
    for (intptr_t i = 0; i < index; i++) {
        while (*name != 0 && *name != '\n')
            name++;
        if (*name == 0)
            return NULL;
        name++;
    }
    int32_t n = 0;
    while (name[n] != 0 && name[n] != '\n')
        n++;
    *length = n;
    return name;
}

QuOsWindow QuOsTopWindow(void)
{
    int32_t length;
    return QuWindowClassAt(0, &length) != NULL ? (QuOsWindow)1 : NULL;
}

QuOsWindow QuOsNextWindow(QuOsWindow window)
{
    int32_t length;
    intptr_t next = (intptr_t)window; // the next window's index
    return window != NULL && QuWindowClassAt(next, &length) != NULL ? (QuOsWindow)(next + 1) : NULL;
}

int32_t QuOsWindowClassName(QuOsWindow window, char *buffer, int32_t limit)
{
    int32_t length;
    if (limit <= 0)
        return 0;
    const char *name = QuWindowClassAt((intptr_t)window - 1, &length);
    if (name == NULL) {
        buffer[0] = 0;
        return 0;
    }
    // Cut as GetClassNameA cuts: the terminator takes the last place.
    if (length > limit - 1)
        length = limit - 1;
    QuCopyBytes(buffer, name, length);
    buffer[length] = 0;
    return length;
}
