// Operating-system seam for loading a library at run time: one call each.
#ifndef ROUSER_OS_LIBRARY_H
#define ROUSER_OS_LIBRARY_H

typedef void *QuOsLibrary;
// A function pointer of no particular type; callers cast it to the export's.
typedef void (*QuOsProc)(void);

// Null when the library cannot be loaded. A name without a folder is found
// by the system's usual search, the running program's folder first.
QuOsLibrary QuOsLoadLibrary(const char *name);
// Null when the library has no such export.
QuOsProc QuOsFindExport(QuOsLibrary library, const char *name);
void QuOsFreeLibrary(QuOsLibrary library);

#endif
