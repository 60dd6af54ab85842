// Operating-system seam of the frame: one call, or one tight group, each.
// Errors are in Windows system error numbering on every platform.
#ifndef ROUSER_OS_FRAME_H
#define ROUSER_OS_FRAME_H

#include <stdint.h>

enum { kOsValueText = 1, kOsValueNumber = 4 }; // REG_SZ, REG_DWORD

typedef void *QuOsPrefsKey;

// `root`: where the POSIX build keeps its store instead of its default
// (null for the default); the caller gives it so that the seam calls
// nothing above it. Windows keeps the key in the registry and ignores it.

// Opens (creating when absent) the general-preferences key of the user.
int32_t QuOsOpenPrefsKey(const char *root, QuOsPrefsKey *key);
void QuOsClosePrefsKey(QuOsPrefsKey key);
// *size: capacity in, bytes read out. kWinFileNotFound when the value is
// missing, kWinMoreData when it does not fit.
int32_t QuOsQueryPrefValue(QuOsPrefsKey key, const char *name, void *data, uint32_t *size);
int32_t QuOsSetPrefValue(QuOsPrefsKey key, const char *name, uint32_t type, const void *data, uint32_t size);

// What shows a change of the key: marks that every write to it changes,
// unless made within `grain` microseconds of the write before, and how long
// before this look (`age`, microseconds) the latest write was made.
enum { kPrefsStampMarks = 5 };
typedef struct {
    uint64_t marks[kPrefsStampMarks];
    int64_t age;
    int64_t grain;
} QuOsPrefsStamp;
// Looks at the key without opening it for writing or creating it: 0, or
// the system error (kWinFileNotFound when the key is missing).
int32_t QuOsReadPrefsStamp(const char *root, QuOsPrefsStamp *stamp);

uint32_t QuOsMilliseconds(void);
// Full path of the running program's file: the number of characters the
// system gave (capacity or more when it was cut), 0 when it gave none.
int32_t QuOsProgramPath(char *buffer, int32_t capacity);

// Loads a string of the module's own table; empty when missing.
void QuOsLoadString(void *instance, int32_t id, char *buffer, int32_t capacity);
void QuOsBeep(void);
// A task-modal box with an OK button and no owner; returns when dismissed.
void QuOsMessageBox(const char *caption, const char *text);
// One line in the system's log, for whoever looks after a host that nobody
// sits at; it never waits for anyone.
void QuOsLogError(const char *source, const char *text);

#endif
