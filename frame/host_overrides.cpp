// Sources the simulated host may replace; each falls back to the system.
#include <time.h>

#include "host_overrides.h"
#include "os_frame.h"
#include "plugin_frame.h"

static QuMillisecondsProc MillisecondsOverride;
static QuClockProc ClockOverride;
static char HostFolderOverride[kHostPathSize];
static char PrefsRootOverride[1024];
static const char *const *WindowListOverride;
static int32_t WindowCountOverride;
static char TextLibraryOverride[1024];
static uint8_t TrustedRoot[kTrustedRootSize];
static int32_t TrustedRootLength;

void QuOverrideMilliseconds(QuMillisecondsProc proc)
{
    MillisecondsOverride = proc;
}

void QuOverrideClock(QuClockProc proc)
{
    ClockOverride = proc;
}

static void QuSetOverrideText(char *dest, int32_t capacity, const char *text)
{
    if (text == NULL || QuCopyBounded(text, QuTextLength(text), dest, capacity) != 0)
        dest[0] = 0;
}

void QuOverrideHostFolder(const char *folder)
{
    QuSetOverrideText(HostFolderOverride, sizeof HostFolderOverride, folder);
}

void QuOverridePrefsRoot(const char *root)
{
    QuSetOverrideText(PrefsRootOverride, sizeof PrefsRootOverride, root);
}

void QuOverrideWindowList(const char *const *classes, int32_t count)
{
    WindowListOverride = classes;
    WindowCountOverride = classes != NULL && count > 0 ? count : 0;
}

void QuOverrideTextLibrary(const char *path)
{
    QuSetOverrideText(TextLibraryOverride, sizeof TextLibraryOverride, path);
}

void QuOverrideTrustedRoot(const uint8_t *der, int32_t length)
{
    TrustedRootLength = 0;
    if (der != NULL && length > 0 && length <= kTrustedRootSize) {
        QuCopyBytes(TrustedRoot, der, length);
        TrustedRootLength = length;
    }
}

bool QuTrustedRootOverride(const uint8_t **der, int32_t *length)
{
    *der = TrustedRoot;
    *length = TrustedRootLength;
    return TrustedRootLength > 0;
}

uint32_t QuMilliseconds(void)
{
    return MillisecondsOverride != NULL ? MillisecondsOverride() : QuOsMilliseconds();
}

bool QuMillisecondsReplaced(void)
{
    return MillisecondsOverride != NULL;
}

int64_t QuLocalClockSeconds(void)
{
    if (ClockOverride != NULL)
        return ClockOverride();
    // The standard library's local clock, counted with a leap year every
    // fourth year (exact from 1901 to 2099).
    time_t now = time(NULL);
    const struct tm *local = localtime(&now);
    if (local == NULL)
        return 0;
    int64_t years = local->tm_year - 70;
    int64_t days = years * 365 + (years + 1) / 4 + local->tm_yday;
    if (years < -1)
        days = years * 365 + (years - 2) / 4 + local->tm_yday;
    return days * 86400 + local->tm_hour * 3600 + local->tm_min * 60 + local->tm_sec;
}

int32_t QuHostFolder(char *buffer, int32_t capacity)
{
    if (capacity <= 0)
        return kErrFileNotFound;
    buffer[0] = 0;
    if (HostFolderOverride[0] != 0) {
        int32_t status =
            QuCopyBounded(HostFolderOverride, QuTextLength(HostFolderOverride), buffer, capacity);
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
    return PrefsRootOverride[0] != 0 ? PrefsRootOverride : NULL;
}

bool QuWindowListOverride(const char *const **classes, int32_t *count)
{
    *classes = WindowListOverride;
    *count = WindowCountOverride;
    return WindowListOverride != NULL;
}

const char *QuTextLibraryName(void)
{
    return TextLibraryOverride[0] != 0 ? TextLibraryOverride : "FMWrapper.dll";
}
