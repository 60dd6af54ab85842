// The simulated host's clock and folders, for a plug-in linked into the
// same program (tests). A module loaded from a file keeps the real ones.
#ifndef ROUSER_HOSTSIM_OVERRIDES_H
#define ROUSER_HOSTSIM_OVERRIDES_H

#include <stdint.h>

#include <string>

// Puts the millisecond counter under the test's control, at `start`.
void HsUseSimulatedClock(uint32_t start);
void HsSetMilliseconds(uint32_t ms);
void HsAdvanceMilliseconds(uint32_t ms);
uint32_t HsMilliseconds(void);
// Busy waits advance the simulated counter by this much on every read.
void HsSetMillisecondsPerRead(uint32_t step);
// Seconds since 1970 (UTC) that the plug-in's local clock reads.
void HsSetClockSeconds(int64_t seconds);
void HsSetHostFolder(const std::string &folder);
void HsSetPrefsRoot(const std::string &root);
// The plug-in loads its text library from this path (which need not
// exist) instead of searching for "FMWrapper.dll"; empty: the search again.
void HsSetTextLibraryPath(const std::string &path);
// Back to the real sources.
void HsUseRealSources(void);

#endif
