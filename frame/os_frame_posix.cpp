// The frame's seam on POSIX. The registry key is a folder with one file a
// value (a 4-byte type, then the data); message boxes go to standard error.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "errors.h"
#include "os_errors_posix.h"
#include "os_frame.h"
#include "plugin_frame.h"
#include "resources/rouser_strings.h"

enum { kPathSize = 1024 };

// Only one key is ever open at a time.
static char PrefsKeyPath[kPathSize];

static int32_t QuMakeFolder(const char *path)
{
    return mkdir(path, 0700) != 0 && errno != EEXIST ? QuWindowsError(errno) : 0;
}

// The key's folder alone when only it is missing, every folder of its path
// when more are.
static int32_t QuMakeFolders(char *path)
{
    if (mkdir(path, 0700) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return QuWindowsError(errno);
    for (char *p = path + 1; *p; p++) {
        if (*p != '/')
            continue;
        *p = 0;
        int32_t error = QuMakeFolder(path);
        *p = '/';
        if (error != 0)
            return error;
    }
    return QuMakeFolder(path);
}

static int32_t QuPrefsKeyPath(const char *root, char *path)
{
    if (root == NULL)
        root = getenv("ROUSER_PREFS_ROOT");
    char home[kPathSize];
    if (root == NULL) {
        const char *h = getenv("HOME");
        snprintf(home, sizeof home, "%s/.rouser", h != NULL ? h : ".");
        root = home;
    }
    int n = snprintf(path, kPathSize, "%s/HKCU/Software/Quil/Quil Plug-in General Prefs", root);
    return n < 0 || n >= kPathSize ? kWinBadPathName : 0;
}

int32_t QuOsOpenPrefsKey(const char *root, QuOsPrefsKey *key)
{
    *key = NULL;
    int32_t error = QuPrefsKeyPath(root, PrefsKeyPath);
    if (error == 0)
        error = QuMakeFolders(PrefsKeyPath);
    if (error == 0)
        *key = PrefsKeyPath;
    return error;
}

static int32_t QuValuePath(QuOsPrefsKey key, const char *name, char *path)
{
    int n = snprintf(path, kPathSize, "%s/%s", (const char *)key, name);
    return n < 0 || n >= kPathSize ? kWinBadPathName : 0;
}

static int64_t QuNanoseconds(struct timespec time)
{
    return (int64_t)time.tv_sec * 1000000000 + time.tv_nsec;
}

int32_t QuOsReadPrefsStamp(const char *root, QuOsPrefsStamp *stamp)
{
    char keyPath[kPathSize], valuePath[kPathSize];
    struct timespec now;
    struct stat key, value;
    int32_t error = QuPrefsKeyPath(root, keyPath);
    if (error == 0)
        error = QuValuePath(keyPath, "SeparatorToken", valuePath);
    if (error != 0)
        return error;
    clock_gettime(CLOCK_REALTIME, &now);
    if (stat(keyPath, &key) != 0)
        return QuWindowsError(errno);
    // A value added, removed or replaced changes the folder; one rewritten in
    // place changes only its own file, and of those only the separator is
    // ever acted on.
    if (stat(valuePath, &value) != 0)
        memset(&value, 0, sizeof value);
    int64_t keyChanged = QuNanoseconds(key.st_ctim), valueChanged = QuNanoseconds(value.st_ctim);
    int64_t latest = keyChanged > valueChanged ? keyChanged : valueChanged;
    stamp->marks[0] = (uint64_t)key.st_dev;
    stamp->marks[1] = (uint64_t)key.st_ino;
    stamp->marks[2] = (uint64_t)keyChanged;
    stamp->marks[3] = (uint64_t)value.st_ino;
    stamp->marks[4] = (uint64_t)valueChanged;
    stamp->age = (QuNanoseconds(now) - latest) / 1000;
    // A file system that keeps whole seconds only (two on some) shows no
    // change within them; others step with the kernel's clock.
    bool wholeSeconds = key.st_ctim.tv_nsec == 0 && value.st_ctim.tv_nsec == 0;
    stamp->grain = wholeSeconds ? 2000000 : 20000;
    return 0;
}

void QuOsClosePrefsKey(QuOsPrefsKey)
{
}

int32_t QuOsQueryPrefValue(QuOsPrefsKey key, const char *name, void *data, uint32_t *size)
{
    char path[kPathSize];
    unsigned char stored[4096 + 4];
    int32_t error = QuValuePath(key, name, path);
    if (error != 0)
        return error;
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return QuWindowsError(errno);
    ssize_t n = read(fd, stored, sizeof stored);
    int readError = errno;
    close(fd);
    if (n < 0)
        return QuWindowsError(readError);
    if (n < 4)
        return kWinBadKey;
    uint32_t length = (uint32_t)n - 4;
    uint32_t capacity = *size;
    *size = length;
    if (length > capacity)
        return kWinMoreData;
    QuCopyBytes(data, stored + 4, (int32_t)length);
    return 0;
}

int32_t QuOsSetPrefValue(QuOsPrefsKey key, const char *name, uint32_t type, const void *data, uint32_t size)
{
    char path[kPathSize];
    unsigned char stored[4096 + 4];
    int32_t error = QuValuePath(key, name, path);
    if (error != 0)
        return error;
    if (size > 4096)
        return kWinInvalidParameter;
    for (int i = 0; i < 4; i++)
        stored[i] = (unsigned char)(type >> (8 * i));
    QuCopyBytes(stored + 4, data, (int32_t)size);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return QuWindowsError(errno);
    ssize_t n = write(fd, stored, size + 4);
    int writeError = errno;
    close(fd);
    if (n != (ssize_t)(size + 4))
        return n < 0 ? QuWindowsError(writeError) : kWinDiskFull;
    return 0;
}

uint32_t QuOsMilliseconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint32_t)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}

int32_t QuOsProgramPath(char *buffer, int32_t capacity)
{
    ssize_t n = readlink("/proc/self/exe", buffer, capacity > 0 ? (size_t)capacity : 0);
    return n < 0 ? 0 : (int32_t)n;
}

void QuOsLoadString(void *, int32_t id, char *buffer, int32_t capacity)
{
    static const struct {
        int32_t id;
        const char *text;
    } kTable[] = {
        {ROUS_STRING_NAME_ID, ROUS_STRING_NAME},
        {ROUS_STRING_DESCRIPTION_ID, ROUS_STRING_DESCRIPTION},
        {ROUS_STRING_ID_FLAGS_ID, ROUS_STRING_ID_FLAGS},
        {ROUS_STRING_FIRST_FUNCTION_ID + 0, ROUS_STRING_F0},
        {ROUS_STRING_FIRST_FUNCTION_ID + 1, ROUS_STRING_F1},
        {ROUS_STRING_FIRST_FUNCTION_ID + 2, ROUS_STRING_F2},
        {ROUS_STRING_FIRST_FUNCTION_ID + 3, ROUS_STRING_F3},
        {ROUS_STRING_FIRST_FUNCTION_ID + 4, ROUS_STRING_F4},
        {ROUS_STRING_FIRST_FUNCTION_ID + 5, ROUS_STRING_F5},
        {ROUS_STRING_FIRST_FUNCTION_ID + 6, ROUS_STRING_F6},
        {ROUS_STRING_FIRST_FUNCTION_ID + 7, ROUS_STRING_F7},
        {ROUS_STRING_FIRST_FUNCTION_ID + 8, ROUS_STRING_F8},
        {ROUS_STRING_FIRST_FUNCTION_ID + 9, ROUS_STRING_F9},
        {ROUS_STRING_ERROR_CAPTION_ID, ROUS_STRING_ERROR_CAPTION},
    };
    if (capacity <= 0)
        return;
    buffer[0] = 0;
    for (size_t i = 0; i < sizeof kTable / sizeof kTable[0]; i++) {
        if (kTable[i].id == id) {
            // Cut like LoadStringA: at most capacity - 1 characters.
            int32_t n = QuTextLength(kTable[i].text);
            if (n > capacity - 1)
                n = capacity - 1;
            QuCopyBytes(buffer, kTable[i].text, n);
            buffer[n] = 0;
        }
    }
}

void QuOsBeep(void)
{
}

void QuOsMessageBox(const char *caption, const char *text)
{
    fprintf(stderr, "message box: %s\t%s\n", caption, text);
    fflush(stderr);
}

void QuOsLogError(const char *source, const char *text)
{
    fprintf(stderr, "log: %s\t%s\n", source, text);
    fflush(stderr);
}
