// The simulated host: plays the host's side of every call into the plug-in,
// strictly. Handles are real movable blocks; lock balance, memory-error
// checks and leaks are verified; the N-th fallible callback can be failed.
#ifndef ROUSER_HOSTSIM_H
#define ROUSER_HOSTSIM_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "frame/host_call.h"

typedef void(HOST_CALL *HsEntryProc)(HostCallRecord *record);

enum { kHsMemFullError = -108 };

struct HsCallResult {
    std::string text;  // the result handle's content after the call
    bool touched;      // the plug-in resized or locked the result handle
};

// Forgets every handle and setting; the entry and instance stay.
void HsReset(void);
void HsSetEntry(HsEntryProc entry, void *instance);

// Strict mode moves a block on every lock of an unlocked handle.
void HsSetStrict(bool strict);
// Fails the n-th fallible callback (allocate, set size, lock) from now on,
// counting from 1; 0 switches injection off.
void HsFailNthFallible(int64_t n);
// Fallible callbacks made since the last HsFailNthFallible or HsReset.
int64_t HsFallibleCount(void);
// True once the armed fault has been injected.
bool HsFaultInjected(void);

// ---- calls into the plug-in ----
int32_t HsStartup(int16_t hostVersion);
void HsIdle(uint8_t idleKind = 0);
HsCallResult HsCallFunction(uint32_t index, const std::string &parameter,
                            const std::string &initialResult = std::string());
void HsShutdown(void);
// Any call kind, with an otherwise empty record.
void HsRawCall(uint8_t callKind, uint8_t idleKind = 0);

// Runs `body` as if it were the plug-in inside a call: the record is set up
// and the same checks follow. Lets tests call the plug-in's routines.
void HsRunInside(const std::function<void(HostCallRecord *)> &body);

// ---- what the host saw ----
// Broken rules since the last HsTakeViolations: handles left locked after a
// call, unchecked memory errors, unbalanced unlocks, unknown handles.
std::vector<std::string> HsTakeViolations(void);
// Handles the plug-in allocated and has not disposed.
int64_t HsLiveHandles(void);
int64_t HsLockedHandles(void);

// ---- host handles for tests ----
HostHandle HsNewHostHandle(const std::string &content);
std::string HsHandleContent(HostHandle handle);
void HsDisposeHostHandle(HostHandle handle);

// The call record of the call in progress (null between calls).
HostCallRecord *HsCurrentRecord(void);

// ---- the host's top-level windows ----
// Top-level windows of these classes, the first given highest in the
// z-order, for a module loaded from a file; they replace the ones made
// before and outlive HsReset and reloading. Real windows of this process on
// Windows; on POSIX the list goes into the environment the module reads.
bool HsCreateWindows(const std::vector<std::string> &topToBottom, std::string *error);
void HsDestroyWindows(void);

// ---- loading a module the way the host does ----
// Loads the module at `path`; on failure returns null and says why.
void *HsLoadModule(const char *path, HsEntryProc *entry, std::string *error);
void HsUnloadModule(void *module);

#endif
