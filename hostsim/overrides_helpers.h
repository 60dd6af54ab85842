// The simulated host's clock, folders and windows, for a plug-in linked into
// the same program (tests). A module loaded from a file keeps the real ones.
#ifndef ROUSER_HOSTSIM_OVERRIDES_H
#define ROUSER_HOSTSIM_OVERRIDES_H

#include <stdint.h>

#include <string>
#include <vector>

// Puts the millisecond counter under the test's control, at `start`.
void HsUseSimulatedClock(uint32_t start);
void HsSetMilliseconds(uint32_t ms);
void HsAdvanceMilliseconds(uint32_t ms);
uint32_t HsMilliseconds(void);
// Busy waits advance the simulated counter by this much on every read.
void HsSetMillisecondsPerRead(uint32_t step);
// The plug-in's local wall clock, in seconds since 1970-01-01 00:00 local time.
void HsSetClockSeconds(int64_t seconds);
// The plug-in's UTC clock, in milliseconds since 1970-01-01 00:00 UTC.
void HsSetUtcMilliseconds(int64_t ms);
void HsAdvanceUtcMilliseconds(int64_t ms);
void HsSetHostFolder(const std::string &folder);
void HsSetPrefsRoot(const std::string &root);
// The top-level windows the plug-in finds, first = top of the z-order. On
// Windows the plug-in looks at the real desktop, so these are real windows.
// False, with the reason, when they cannot be made.
bool HsSetWindowClasses(const std::vector<std::string> &topToBottom, std::string *error);
// The plug-in loads its text library from this path (which need not
// exist) instead of searching for "FMWrapper.dll"; empty: the search again.
void HsSetTextLibraryPath(const std::string &path);
// Back to the real sources, the system's roots trusted again; the windows
// made here are gone.
void HsUseRealSources(void);

#endif
