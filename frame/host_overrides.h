// Lets the simulated host replace the plug-in's view of the machine: the
// millisecond counter, the local clock, the host program's folder and the
// root of the preferences store. Part of every build, never exported.
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

// What the plug-in reads; each falls back to the operating system.
uint32_t QuMilliseconds(void);
int64_t QuLocalClockSeconds(void);
enum { kHostPathSize = 2000, kErrNoHostFolder = -43 };
// The folder of the host program's file (the process's, not the plug-in's),
// ending in its path separator; 0, or -43 when the system gives no path.
int32_t QuHostFolder(char *buffer, int32_t capacity);
const char *QuPrefsRootOverride(void);

#endif
