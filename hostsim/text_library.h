// The simulated host's text library "FMWrapper.dll": besides the three
// exports the plug-in uses, it lets the host read a text object and lets
// tests see every call made to it. Plain C types only: the library has its
// own runtime on Windows.
#ifndef ROUSER_HOSTSIM_TEXT_LIBRARY_H
#define ROUSER_HOSTSIM_TEXT_LIBRARY_H

#include <stdint.h>

#include "trigger/text_library.h"

enum HsTextCallKind { kHsTextConstruct = 1, kHsTextAssign = 2, kHsTextDelete = 3 };
enum { kHsTextLogSize = 512, kHsTextKeptBytes = 1100 };

struct HsTextLogEntry {
    int32_t call;                // HsTextCallKind
    const void *object;          // made, assigned or deleted
    int32_t known;               // 1 when `object` was a live text object
    int32_t encoding;            // assign
    int32_t statusGiven;         // 1 when a status record was passed
    int32_t status[2];           // its contents as the call found them
    int32_t textLength;          // assign: length of the text, -1 for null
    char text[kHsTextKeptBytes]; // assign: its first bytes, zero-terminated
};

// The host's exports, found by these names.
typedef int32_t(TEXT_LIB_CALL *HsTextContentProc)(const void *object, char *buffer, int32_t capacity);
typedef int32_t(TEXT_LIB_CALL *HsTextLogCountProc)(void);
typedef int32_t(TEXT_LIB_CALL *HsTextLogReadProc)(int32_t index, HsTextLogEntry *out);
typedef void(TEXT_LIB_CALL *HsTextLogClearProc)(void);
typedef int32_t(TEXT_LIB_CALL *HsTextLiveObjectsProc)(void);
typedef void(TEXT_LIB_CALL *HsTextFailConstructorProc)(int32_t nth);

#define HS_TEXT_CONTENT "HsTextContent"    // length, or -1 for no live object
#define HS_TEXT_LOG_COUNT "HsTextLogCount" // calls logged since the last clear
#define HS_TEXT_LOG_READ "HsTextLogRead"   // 0, or -1 past the kept entries
#define HS_TEXT_LOG_CLEAR "HsTextLogClear"
#define HS_TEXT_LIVE_OBJECTS "HsTextLiveObjects"
#define HS_TEXT_FAIL_CONSTRUCTOR "HsTextFailConstructor" // n-th from now gives null; 0 off

#endif
