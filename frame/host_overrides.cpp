// Sources the simulated host may replace; each falls back to the system.
#include <time.h>

#include <chrono>

#include "host_overrides.h"
#include "os_frame.h"
#include "plugin_frame.h"

// Empty or null: the system's own. Set by the simulated host only.
static struct {
    QuMillisecondsProc milliseconds;
    QuClockProc clock;
    QuUtcClockProc utcClock;
    char hostFolder[kHostPathSize];
    char prefsRoot[1024];
    const char *const *windowList;
    int32_t windowCount;
    char textLibrary[1024];
    uint8_t trustedRoot[kTrustedRootSize];
    int32_t trustedRootLength;
} Overrides;

void QuOverrideMilliseconds(QuMillisecondsProc proc)
{
    Overrides.milliseconds = proc;
}

void QuOverrideClock(QuClockProc proc)
{
    Overrides.clock = proc;
}

void QuOverrideUtcClock(QuUtcClockProc proc)
{
    Overrides.utcClock = proc;
}

int64_t QuUtcMilliseconds(void)
{
    if (Overrides.utcClock != NULL)
        return Overrides.utcClock();
    // The system clock counts from 1970 in UTC on every platform the
    // plug-in is built for.
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

static void QuSetOverrideText(char *dest, int32_t capacity, const char *text)
{
    if (text == NULL || QuCopyBounded(text, QuTextLength(text), dest, capacity) != 0)
        dest[0] = 0;
}

void QuOverrideHostFolder(const char *folder)
{
    QuSetOverrideText(Overrides.hostFolder, sizeof Overrides.hostFolder, folder);
}

void QuOverridePrefsRoot(const char *root)
{
    QuSetOverrideText(Overrides.prefsRoot, sizeof Overrides.prefsRoot, root);
}

void QuOverrideWindowList(const char *const *classes, int32_t count)
{
    Overrides.windowList = classes;
    Overrides.windowCount = classes != NULL && count > 0 ? count : 0;
}

void QuOverrideTextLibrary(const char *path)
{
    QuSetOverrideText(Overrides.textLibrary, sizeof Overrides.textLibrary, path);
}

void QuOverrideTrustedRoot(const uint8_t *der, int32_t length)
{
    Overrides.trustedRootLength = 0;
    if (der != NULL && length > 0 && length <= kTrustedRootSize) {
        QuCopyBytes(Overrides.trustedRoot, der, length);
        Overrides.trustedRootLength = length;
    }
}

bool QuTrustedRootOverride(const uint8_t **der, int32_t *length)
{
    *der = Overrides.trustedRoot;
    *length = Overrides.trustedRootLength;
    return Overrides.trustedRootLength > 0;
}

uint32_t QuMilliseconds(void)
{
    return Overrides.milliseconds != NULL ? Overrides.milliseconds() : QuOsMilliseconds();
}

bool QuMillisecondsReplaced(void)
{
    return Overrides.milliseconds != NULL;
}

int64_t QuLocalClockSeconds(void)
{
    if (Overrides.clock != NULL)
        return Overrides.clock();
    // The standard library's local clock, counted on the Gregorian calendar:
    // due times reach past 2100, which is no leap year.
    time_t now = time(NULL);
    const struct tm *local = localtime(&now);
    if (local == NULL)
        return 0;
    int64_t year = local->tm_year + 1900;
    int64_t before = year - 1; // leap days of the years before this one
    int64_t leapDays = before / 4 - before / 100 + before / 400 - (1969 / 4 - 1969 / 100 + 1969 / 400);
    int64_t days = (year - 1970) * 365 + leapDays + local->tm_yday;
    return days * 86400 + local->tm_hour * 3600 + local->tm_min * 60 + local->tm_sec;
}

int32_t QuHostFolder(char *buffer, int32_t capacity)
{
    if (capacity <= 0)
        return kErrFileNotFound;
    buffer[0] = 0;
    if (Overrides.hostFolder[0] != 0) {
        int32_t status =
            QuCopyBounded(Overrides.hostFolder, QuTextLength(Overrides.hostFolder), buffer, capacity);
        return status == 0 ? 0 : kErrFileNotFound;
    }
    int32_t n = QuOsProgramPath(buffer, capacity);
    // A cut path would name some other folder.
    if (n <= 0 || n >= capacity) {
        buffer[0] = 0;
        return kErrFileNotFound;
    }
    // Cut right after the last separator; a name without one has no folder
    // the file could be found in again.
    while (n > 0 && buffer[n - 1] != '\\' && buffer[n - 1] != '/')
        n--;
    buffer[n] = 0;
    return n > 0 ? 0 : kErrFileNotFound;
}

const char *QuPrefsRootOverride(void)
{
    return Overrides.prefsRoot[0] != 0 ? Overrides.prefsRoot : NULL;
}

bool QuWindowListOverride(const char *const **classes, int32_t *count)
{
    *classes = Overrides.windowList;
    *count = Overrides.windowCount;
    return Overrides.windowList != NULL;
}

const char *QuTextLibraryName(void)
{
    return Overrides.textLibrary[0] != 0 ? Overrides.textLibrary : "FMWrapper.dll";
}
