// The record the host passes on every call, and the types of its callbacks.
// Only the fields the plug-in uses are named; the gaps belong to the host.
#ifndef ROUSER_HOST_CALL_H
#define ROUSER_HOST_CALL_H

#include <stddef.h>
#include <stdint.h>

// Calling convention of the entry point and of every host callback.
#if defined(_WIN32) && !defined(_WIN64)
#define HOST_CALL __stdcall
#else
#define HOST_CALL
#endif

// The entry point is exported undecorated through the module's export list
// on Windows, by visibility elsewhere.
#if defined(_WIN32)
#define HOST_EXPORT
#else
#define HOST_EXPORT __attribute__((visibility("default")))
#endif

// A movable block: the handle points at the host's master pointer, which the
// host may change whenever the block is unlocked.
typedef char **HostHandle;

typedef HostHandle(HOST_CALL *HostNewHandleProc)(int32_t size);
typedef void(HOST_CALL *HostSetHandleSizeProc)(HostHandle handle, int32_t size);
typedef int32_t(HOST_CALL *HostGetHandleSizeProc)(HostHandle handle);
typedef void(HOST_CALL *HostDisposeHandleProc)(HostHandle handle);
typedef void(HOST_CALL *HostLockHandleProc)(HostHandle handle);
typedef void(HOST_CALL *HostUnlockHandleProc)(HostHandle handle);
typedef int16_t(HOST_CALL *HostMemErrorProc)(void);
// Only the low 16 bits of the answer are the host's error code.
typedef int32_t(HOST_CALL *HostStartScriptProc)(void *fileText, void *scriptText, int32_t control,
                                                void *parameter);
typedef uint8_t(HOST_CALL *HostFindScriptProc)(int32_t fileRef, const unsigned char *countedName,
                                               int32_t *scriptId);
typedef uint8_t(HOST_CALL *HostPerformScriptProc)(int32_t fileRef, const int32_t *scriptId);
typedef int32_t(HOST_CALL *HostFindFileProc)(const unsigned char *countedName);

enum HostCallKind {
    kCallStartup = 0,
    kCallIdle = 1,
    kCallExternal = 3,
    kCallShutdown = 4,
    kCallPreferences = 5
};

// The offsets in one column.
// clang-format off
struct HostCallRecord {
    int16_t hostVersion;            // 0, call kind 0 only
    uint8_t reserved2[7];
    uint8_t callKind;               // 9
    uint8_t idleKind;               // 10
    uint8_t reserved11;
    uint32_t functionIndex;         // 12
    HostHandle parameter;           // 16
    void *instance;                 // 20, the module's own instance
    union {
        int32_t answer;             // 24, call kind 0
        HostHandle result;          // 24, call kind 3
    } out;
    uint8_t reserved28[4];
    HostNewHandleProc newHandle;    // 32
    HostSetHandleSizeProc setHandleSize; // 36
    HostGetHandleSizeProc getHandleSize; // 40
    HostDisposeHandleProc disposeHandle; // 44
    uint8_t reserved48[4];
    HostLockHandleProc lockHandle;  // 52
    HostUnlockHandleProc unlockHandle; // 56
    uint8_t reserved60[8];
    HostMemErrorProc memError;      // 68
    HostStartScriptProc startScript; // 72
    uint8_t reserved76[652];
    HostFindScriptProc findScript;  // 728
    HostPerformScriptProc performScript; // 732
    uint8_t reserved736[12];
    HostFindFileProc findFile;      // 748
    uint8_t reserved752[4];
};
// clang-format on

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(HostCallRecord, hostVersion) == 0, "layout");
static_assert(offsetof(HostCallRecord, callKind) == 9, "layout");
static_assert(offsetof(HostCallRecord, idleKind) == 10, "layout");
static_assert(offsetof(HostCallRecord, functionIndex) == 12, "layout");
static_assert(offsetof(HostCallRecord, parameter) == 16, "layout");
static_assert(offsetof(HostCallRecord, instance) == 20, "layout");
static_assert(offsetof(HostCallRecord, out) == 24, "layout");
static_assert(offsetof(HostCallRecord, newHandle) == 32, "layout");
static_assert(offsetof(HostCallRecord, setHandleSize) == 36, "layout");
static_assert(offsetof(HostCallRecord, getHandleSize) == 40, "layout");
static_assert(offsetof(HostCallRecord, disposeHandle) == 44, "layout");
static_assert(offsetof(HostCallRecord, lockHandle) == 52, "layout");
static_assert(offsetof(HostCallRecord, unlockHandle) == 56, "layout");
static_assert(offsetof(HostCallRecord, memError) == 68, "layout");
static_assert(offsetof(HostCallRecord, startScript) == 72, "layout");
static_assert(offsetof(HostCallRecord, findScript) == 728, "layout");
static_assert(offsetof(HostCallRecord, performScript) == 732, "layout");
static_assert(offsetof(HostCallRecord, findFile) == 748, "layout");
#endif

#ifdef __cplusplus
extern "C" {
#endif
HOST_EXPORT void HOST_CALL FMExternCallProc(HostCallRecord *record);
#ifdef __cplusplus
}
#endif

#endif
