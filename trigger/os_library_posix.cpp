// Run-time library loading on POSIX. LoadLibraryA looks in the program's
// folder before the system's paths; a bare name is tried there first too,
// then through dlopen's own search (LD_LIBRARY_PATH, run paths, the cache).
// A library already loaded under that name (its soname) is used as it is,
// as Windows does with a loaded module of the same name.
#include <dlfcn.h>

#include "frame/os_frame.h"
#include "frame/plugin_frame.h"
#include "os_library.h"

enum { kPathSize = 1024 };

static bool QuHasFolder(const char *name)
{
    for (; *name != 0; name++) {
        if (*name == '/')
            return true;
    }
    return false;
}

QuOsLibrary QuOsLoadLibrary(const char *name)
{
    if (!QuHasFolder(name)) {
        QuOsLibrary loaded = dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (loaded != NULL)
            return loaded;
        char path[kPathSize];
        int32_t n = QuOsProgramPath(path, kPathSize);
        while (n > 0 && path[n - 1] != '/')
            n--;
        if (n > 0 && n < kPathSize) {
            path[n] = 0;
        }
        if (n > 0 && n + QuTextLength(name) < kPathSize) {
            QuAppendText(path, name);
            loaded = dlopen(path, RTLD_NOW | RTLD_LOCAL);
            if (loaded != NULL)
                return loaded;
        }
    }
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

QuOsProc QuOsFindExport(QuOsLibrary library, const char *name)
{
    return (QuOsProc)dlsym(library, name);
}

void QuOsFreeLibrary(QuOsLibrary library)
{
    dlclose(library);
}
