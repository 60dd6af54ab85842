// The plug-in frame: host entry, handles, parameter tokens and results,
// options and strings, preferences, tick clock.
#ifndef ROUSER_PLUGIN_FRAME_H
#define ROUSER_PLUGIN_FRAME_H

#include <stdint.h>

#include "errors.h"
#include "host_call.h"

// ---- the host (host.cpp) ----
// What the frame knows of the host. Everyone reads it through Host; only
// the calls below write it.
struct QuHostState {
    // The record of the call in progress, through which every callback goes.
    HostCallRecord *record;
    // Set once at start-up.
    int16_t version;
    // Set once at start-up: 0 when the host's main window belongs to the
    // full application (its class ends in "APP"), 1 otherwise or without one.
    int32_t windowKind;
    // Host calls in progress: 1 inside a call, more while the host calls
    // again during one (a script start, say).
    int16_t depth;
};
extern const QuHostState &Host;
// The host API versions of the two host generations that keep event files
// of their own ("...5.Qul", "...7.Qul"); from the later one on, the host
// starts scripts through its start-script callback.
enum { kHostVersionFive = 14, kHostVersionSeven = 50 };
// The entry point: a call begins with its record, and ends giving back the
// outer call's, which the host may have been running when it called again.
HostCallRecord *QuEnterHostCall(HostCallRecord *record);
void QuLeaveHostCall(HostCallRecord *outer);
// For code that plays the host: `record` becomes current without a call
// being counted; returns the one before.
HostCallRecord *QuUseCallRecord(HostCallRecord *record);
void QuSetHostVersion(int16_t version);
void QuSetHostWindowKind(int32_t kind);

// An external function's handler: the parameter, then the result.
typedef void (*QuFunctionHandler)(HostHandle parameter, HostHandle result);

// ---- host handle callbacks (handles.cpp) ----
// Each fallible call is followed by the host's memory-error callback; the
// answer is 0 or the host's (negative) error.
HostHandle QuNewHandle(int32_t size, int32_t *status);
int32_t QuSetHandleSize(HostHandle handle, int32_t size);
int32_t QuGetHandleSize(HostHandle handle);
void QuDisposeHandle(HostHandle handle);
// On success *data is the block's address until QuUnlockHandle.
int32_t QuLockHandle(HostHandle handle, char **data);
void QuUnlockHandle(HostHandle handle);

// ---- parameter and result text (handles.cpp) ----
// The result writers return the host's error when the text could not be
// written; the handle then holds "$$" and kErrMemory if that at least
// could be.
int32_t QuSetResultText(const char *text, HostHandle handle);
int32_t QuSetResultNumber(int32_t value, HostHandle handle);
int32_t QuSetResultUnsigned(uint32_t value, HostHandle handle);
// "$$" and the code, or "0" for 0.
int32_t QuSetErrorResult(int32_t code, HostHandle handle);
// The answer of an action, made ready before the action: an answer that
// fails after the action took effect would tell a caller that retries on
// an error to do it twice.
enum { kPreparedResultSize = 16 };
struct QuPreparedResult {
    HostHandle handle;
    char *data; // the locked block while the answer is held
    char text[kPreparedResultSize];
};
// Sizes and locks `handle` for `text` (at most 15 characters); 0, or the
// host's error with nothing held. Start from {result handle, NULL, {0}}.
int32_t QuPrepareResult(const char *text, HostHandle handle, QuPreparedResult *answer);
// With status 0 the prepared text becomes the answer, through no callback
// that can fail; otherwise, or when nothing was prepared, the error result
// of `status` ("0" for 0).
void QuFinishResult(QuPreparedResult *answer, int32_t status);
// The token at *position, up to the separator, and the position after it
// (-1 after the last). A read from position 0 first reloads the
// preferences (QuLoadPrefs), so that each call splits at the separator the
// user set last. 0, or kErrMemory when the handle cannot be locked: the
// token is then empty and the position unchanged, and the caller must not
// go on reading.
int32_t QuReadNextToken(HostHandle handle, char *buffer, int32_t capacity, int32_t *position);
// 0 also for a range it refuses; the host's error when a callback failed.
int32_t QuCopyHandleRange(HostHandle source, int32_t sourceOffset, int32_t count, HostHandle dest,
                          int32_t destOffset, int32_t destSize);
// Replaces the handle's content by `count` bytes (none: it stays as it was);
// the status of the first failing callback.
int32_t QuStoreHandleBytes(const char *bytes, int32_t count, HostHandle handle);

// ---- options and strings (text.cpp) ----
int32_t QuTextLength(const char *text);
void QuCopyBytes(void *dest, const void *source, int32_t count); // overlap-safe
// Four bytes, least significant first, as the event file keeps integers;
// inline, for the scans of the event table.
inline uint32_t QuGetLE32(const char *bytes)
{
    const unsigned char *b = (const unsigned char *)bytes;
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

inline void QuPutLE32(char *bytes, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[i] = (char)(value >> (8 * i));
}
void QuCopyText(char *dest, const char *source);
void QuAppendText(char *dest, const char *source);
char QuToLower(char ch);
int32_t QuCompareText(const char *a, const char *b, int32_t n, bool exact);
int32_t QuFindText(const char *text, int32_t textLength, const char *pattern, int32_t patternLength,
                   int32_t start, int32_t nth, bool exact);
bool QuHasOption(const char *text, const char *option);
// As QuHasOption, but text inside double quotes (an option's quoted value,
// up to its closing quote or the end) does not count.
bool QuHasUnquotedOption(const char *text, const char *option);
void QuGetTextAfter(const char *text, int32_t textLength, const char *pattern, int32_t patternLength,
                    char stop, int32_t start, int32_t nth, bool exact, char *out, int32_t capacity);
bool QuGetOptionNumber(const char *text, const char *option, int32_t *out);
void QuNextField(const char *text, const char *delimiter, char *out, int32_t max, int32_t *position);
void QuStripExtension(char *text);
bool QuBaseNameMatches(char *path, const char *name);
void QuToCountedString(const char *text, unsigned char *out);
int32_t QuCopyBounded(const char *bytes, int32_t count, char *buffer, int32_t capacity);
int32_t QuParseSigned(const char *text);
// Steps over leading white space and one sign, as the standard library's
// number conversions do; true for a minus sign.
bool QuSkipBlanksAndSign(const char **text);
uint32_t QuParseUnsigned(const char *text);
// Decimal text of a value into a buffer of at least 12 bytes; returns its length.
int32_t QuFormatSigned(int32_t value, char *out);
int32_t QuFormatUnsigned(uint32_t value, char *out);

// ---- preferences (prefs.cpp) ----
int32_t QuOpenPrefsKey(void);
void QuClosePrefsKey(void);
int32_t QuReadPrefText(const char *name, char *buffer, int32_t *capacity);
int32_t QuWritePrefText(const char *name, const char *text);
int32_t QuReadPrefNumber(const char *name, uint32_t *out);
// As QuReadPrefNumber, but a missing value is left missing and *out as it was.
int32_t QuPeekPrefNumber(const char *name, uint32_t *out);
int32_t QuWritePrefNumber(const char *name, uint32_t value);
// As QuWritePrefNumber without the message box: for the idle step, which
// must never wait on a user, and reports otherwise.
int32_t QuStorePrefNumber(const char *name, uint32_t value);
// Reads the preferences again unless the key is unchanged since the last
// read, so that a change takes effect at the next call.
void QuLoadPrefs(void);
// Loads that read the values, not only the key's stamp.
extern const uint32_t &PrefsLoadCount;
// What a fresh load holds: the default values in memory, no stamp kept,
// no load counted.
void QuResetPrefs(void);
void QuSavePrefs(void);
const char *QuGetSeparator(void);
// A box captioned with string `stringId`: `what`, then " error number N".
void QuShowErrorNumber(int32_t stringId, const char *what, int32_t number);
// The same text as a line in the system's log, and in a box when `box`.
void QuReportError(int32_t stringId, const char *what, int32_t number, bool box);

// ---- tick clock (ticks.cpp) ----
uint32_t QuGetTicks(void);
void QuBusyWait(int32_t n);
// True once `now` has reached `deadline` on a wrapping 32-bit counter. Both
// must lie within 2^31 of each other.
bool QuReached(uint32_t now, uint32_t deadline);
// Ticks since `start`. The clock falls back to 0 when the millisecond
// counter wraps; it is counted on from where it stood.
uint32_t QuTicksSince(uint32_t start);
// True while fewer than `timeout` ticks have passed since `start`.
bool QuBeforeDeadline(uint32_t start, int32_t timeout);

#endif
