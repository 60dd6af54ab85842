// The simulated host: plays the host's side of every call into the plug-in,
// strictly. Handles are real movable blocks; lock balance, memory-error
// checks and leaks are verified; the N-th fallible callback can be failed.
#ifndef ROUSER_HOSTSIM_H
#define ROUSER_HOSTSIM_H

#include <stdint.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "frame/host_call.h"
#include "hostsim/text_library.h"

typedef void(HOST_CALL *HsEntryProc)(HostCallRecord *record);

// The host's memory errors: no memory left, and a handle it does not know.
enum { kHsMemFullError = -108, kHsNilHandleError = -109 };

struct HsCallResult {
    std::string text; // the result handle's content after the call
    bool touched;     // the plug-in resized or locked the result handle
    bool faulted;     // an injected failure struck a callback on the result handle
};

// Forgets every handle and setting; the entry and instance stay.
void HsReset(void);
void HsSetEntry(HsEntryProc entry, void *instance);

// Strict mode moves a block on every lock of an unlocked handle.
void HsSetStrict(bool strict);
// Fails the n-th fallible callback (allocate, set size, lock) from now on,
// counting from 1; 0 switches injection off.
void HsFailNthFallible(int64_t n);
// Fails every fallible callback from the n-th on, as a host that has run
// out of memory for good; 0 switches injection off.
void HsFailFromNthFallible(int64_t n);
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
// ---- open files, their scripts, and script starts (scripts.cpp) ----
// Every record carries the old host's find-file, find-script and perform
// callbacks and the new host's start-script callback. Names are looked up
// as a host on Windows does with file names: the whole name, ASCII letters
// in either case; the same holds for script names.

// The new host's own error codes when it cannot start a script.
enum { kHsFileMissing = 100, kHsScriptMissing = 104 };

struct HsScriptStart {
    std::string file;   // as the host has it open
    std::string script; // as the file names it
};

enum HsCallbackKind { kHsFindFile, kHsFindScript, kHsPerform, kHsStartScript };

// One script callback, with what the plug-in passed.
struct HsCallback {
    HsCallbackKind kind = kHsFindFile;
    std::string counted;              // find file, find script: length byte and characters as received
    int32_t fileRef = 0;              // find script, perform
    bool slotGiven = false;           // find script: identifier slot; perform: identifier pointer
    int32_t scriptId = 0;             // perform: the identifier passed
    const void *fileObject = nullptr; // start script: the two text objects
    const void *scriptObject = nullptr;
    std::string fileText; // start script: their contents
    std::string scriptText;
    int32_t control = 0; // start script
    const void *parameter = nullptr;
};

// Opens a file with these scripts; a file already open gets the new list.
void HsOpenFile(const std::string &name, const std::vector<std::string> &scripts);
// False when no such file is open.
bool HsCloseFile(const std::string &name);
// Reads "FILE=SCRIPT[,SCRIPT...]": a name before the first '=', then one or
// more names split at ','; none may be empty.
bool HsParseOpenArgument(const std::string &text, std::string *file, std::vector<std::string> *scripts);
// Script starts and script callbacks since the last take, in order.
std::vector<HsScriptStart> HsTakeStarts(void);
std::vector<HsCallback> HsTakeCallbacks(void);
// Called while a script starts, after it is recorded; it may call into the
// plug-in again. An empty function removes it.
void HsSetStartHook(std::function<void(const HsScriptStart &)> hook);
// Called as each script callback begins, before the host answers; it may
// change the open files.
void HsSetCallbackHook(std::function<void(const HsCallback &)> hook);
// The start-script callback answers this, whatever the names, and starts
// the script when the low 16 bits are 0; no value: the host decides.
void HsSetStartScriptAnswer(std::optional<int32_t> answer);
// The perform callback refuses every script.
void HsSetPerformFails(bool fails);

// ---- the text library, as loaded by the plug-in (text_access.cpp) ----
bool HsTextLibraryLoaded(void);
// Calls logged by the library since the last take; empty when not loaded.
std::vector<HsTextLogEntry> HsTakeTextCalls(void);
// Text objects not yet deleted; -1 when the library is not loaded.
int32_t HsTextObjectsAlive(void);
// The n-th constructor call from now gives no object; false when the
// library is not loaded.
bool HsFailTextConstructor(int32_t nth);
// Content of a live text object of the loaded library; false otherwise.
bool HsReadTextObject(const void *object, std::string *content);

// ---- loading a module the way the host does ----
// Loads the module at `path`; on failure returns null and says why.
void *HsLoadModule(const char *path, HsEntryProc *entry, std::string *error);
void HsUnloadModule(void *module);

#endif
