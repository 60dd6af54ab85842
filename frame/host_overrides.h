// Lets the simulated host replace the plug-in's view of the machine: the
// millisecond counter, the local clock, the host program's folder, the
// root of the preferences store, the file of the host's text library and,
// where there is no desktop, the top-level windows. In every build, never
// exported.
#ifndef ROUSER_HOST_OVERRIDES_H
#define ROUSER_HOST_OVERRIDES_H

#include <stdint.h>

#include "errors.h"

typedef uint32_t (*QuMillisecondsProc)(void);
// The local wall clock as seconds since 1970-01-01 00:00 local time.
typedef int64_t (*QuClockProc)(void);

// Null restores the real source.
void QuOverrideMilliseconds(QuMillisecondsProc proc);
void QuOverrideClock(QuClockProc proc);

// The UTC wall clock as milliseconds since 1970-01-01 00:00 UTC, which
// sealed remote events carry and are judged by.
typedef int64_t (*QuUtcClockProc)(void);
void QuOverrideUtcClock(QuUtcClockProc proc);
int64_t QuUtcMilliseconds(void);
void QuOverrideHostFolder(const char *folder);
void QuOverridePrefsRoot(const char *root);
// The top-level windows' class names, top of the z-order first, for the
// POSIX build, which has no desktop; Windows always reads the real one. The
// list is used in place and must outlive its use; null removes it.
void QuOverrideWindowList(const char *const *classes, int32_t count);

// A module loaded with dlopen cannot be reached by the call above; its host
// puts the class names, top first and separated by newlines (which no class
// name holds), into this environment variable before loading it. Read when
// no list is set; absent or empty means no windows.
#define ROUSER_WINDOW_CLASSES_VARIABLE "ROUSER_WINDOW_CLASSES"

// A path to load the text library from instead of searching for its name,
// so that tests can take it away, bring it back or offer a faulty one.
void QuOverrideTextLibrary(const char *path);

// What the plug-in reads; each falls back to the operating system.
uint32_t QuMilliseconds(void);
// True while the simulated host replaces the millisecond counter: a wait
// on a socket cannot let such a clock run, so it passes its time on the
// counter and then only looks at the socket.
bool QuMillisecondsReplaced(void);
int64_t QuLocalClockSeconds(void);
enum { kHostPathSize = 2000 };
// The folder of the host program's file (the process's, not the plug-in's),
// ending in its path separator; 0, or kErrFileNotFound when the system
// gives no path.
int32_t QuHostFolder(char *buffer, int32_t capacity);
// The root of the preferences store the simulated host gave; null for
// the system's own.
const char *QuPrefsRootOverride(void);
// True, with the list, when QuOverrideWindowList set one.
bool QuWindowListOverride(const char *const **classes, int32_t *count);

// A certificate (DER) that TLS trusts as its only root instead of the
// system's roots, so that tests can trust a test authority of their own
// without touching the machine's stores; null or 0 bytes restores the
// system's. Longer than kTrustedRootSize bytes: ignored.
enum { kTrustedRootSize = 8192 };
void QuOverrideTrustedRoot(const uint8_t *der, int32_t length);
// True, with the bytes, while a root is set.
bool QuTrustedRootOverride(const uint8_t **der, int32_t *length);

// "FMWrapper.dll", or the path the simulated host gave.
const char *QuTextLibraryName(void);

#endif
