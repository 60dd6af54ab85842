// Run-time library loading on Windows.
#include <windows.h>

#include "os_library.h"

QuOsLibrary QuOsLoadLibrary(const char *name)
{
    return (QuOsLibrary)LoadLibraryA(name);
}

QuOsProc QuOsFindExport(QuOsLibrary library, const char *name)
{
    return (QuOsProc)GetProcAddress((HMODULE)library, name);
}

void QuOsFreeLibrary(QuOsLibrary library)
{
    FreeLibrary((HMODULE)library);
}
