// Lets the simulated host replace the plug-in's view of the machine: the
// millisecond counter, the local clock, the host program's folder, the
// root of the preferences store and the file of the host's text library.
// Part of every build, never exported.
#ifndef ROUSER_HOST_OVERRIDES_H
#define ROUSER_HOST_OVERRIDES_H

#include <stdint.h>

typedef uint32_t (*QuMillisecondsProc)(void);
// The local wall clock as seconds since 1970-01-01 00:00 local time.
typedef int64_t (*QuClockProc)(void);

// Null restores the real source.
void QuOverrideMilliseconds(QuMillisecondsProc proc);
void QuOverrideClock(QuClockProc proc);
void QuOverrideHostFolder(const char *folder);
void QuOverridePrefsRoot(const char *root);
// A path to load the text library from instead of searching for its name,
// so that tests can take it away, bring it back or offer a faulty one.
void QuOverrideTextLibrary(const char *path);

// What the plug-in reads; each falls back to the operating system.
uint32_t QuMilliseconds(void);
int64_t QuLocalClockSeconds(void);
// The host program's folder, ending in a path separator; 0 or -207.
int32_t QuHostFolder(char *buffer, int32_t capacity);
const char *QuPrefsRootOverride(void);
// "FMWrapper.dll", or the path the simulated host gave.
const char *QuTextLibraryName(void);

#endif
