// General preferences in the user's registry. Only the separator changes
// behaviour; the other three values are kept present for other programs.
#include "os_frame.h"
#include "plugin_frame.h"
#include "resources/rouser_strings.h"

enum { kSeparatorSize = 64 };

static QuOsPrefsKey PrefsKey;
static bool PrefsKeyOpen;
static char Separator[kSeparatorSize];
static char DefaultSeparator[kSeparatorSize];
static uint32_t PrefsVersion;
static uint32_t OneTimeSeparator;
// The key's stamp when memory last matched it; a load that finds the same
// stamp reads nothing.
static QuOsPrefsStamp LoadedStamp;
static bool LoadedStampKept;
uint32_t PrefsLoadCount;

int32_t QuOpenPrefsKey(void)
{
    if (PrefsKeyOpen)
        return 0;
    int32_t error = QuOsOpenPrefsKey(&PrefsKey);
    PrefsKeyOpen = error == 0;
    return error;
}

void QuClosePrefsKey(void)
{
    if (PrefsKeyOpen)
        QuOsClosePrefsKey(PrefsKey);
    PrefsKeyOpen = false;
}

int32_t QuWritePrefText(const char *name, const char *text)
{
    int32_t error = QuOpenPrefsKey();
    if (error != 0)
        return error;
    error = QuOsSetPrefValue(PrefsKey, name, kOsValueText, text, (uint32_t)QuTextLength(text) + 1);
    QuClosePrefsKey();
    if (error != 0)
        QuShowErrorNumber(ROUS_STRING_ERROR_CAPTION_ID, "", error);
    return error;
}

int32_t QuWritePrefNumber(const char *name, uint32_t value)
{
    int32_t error = QuOpenPrefsKey();
    if (error != 0)
        return error;
    error = QuOsSetPrefValue(PrefsKey, name, kOsValueNumber, &value, sizeof value);
    QuClosePrefsKey();
    if (error != 0)
        QuShowErrorNumber(ROUS_STRING_ERROR_CAPTION_ID, "", error);
    return error;
}

int32_t QuReadPrefText(const char *name, char *buffer, int32_t *capacity)
{
    int32_t error = QuOpenPrefsKey();
    if (error == 0) {
        uint32_t size = (uint32_t)*capacity;
        error = QuOsQueryPrefValue(PrefsKey, name, buffer, &size);
        QuClosePrefsKey();
        // Another program may have stored the text without its terminating
        // zero; one that then fills the buffer does not fit.
        if (error == 0 && size >= (uint32_t)*capacity && buffer[*capacity - 1] != 0)
            error = kWinMoreData;
        if (error == 0) {
            buffer[size < (uint32_t)*capacity ? size : (uint32_t)*capacity - 1] = 0;
            *capacity = QuTextLength(buffer);
        }
    }
    if (error != 0) {
        buffer[0] = 0;
        if (error == kWinFileNotFound)
            QuWritePrefText(name, "");
    }
    return error;
}

int32_t QuPeekPrefNumber(const char *name, uint32_t *out)
{
    uint32_t value = 0, size = sizeof value;
    int32_t error = QuOpenPrefsKey();
    if (error != 0)
        return error;
    error = QuOsQueryPrefValue(PrefsKey, name, &value, &size);
    QuClosePrefsKey();
    if (error == 0)
        *out = value;
    return error;
}

int32_t QuReadPrefNumber(const char *name, uint32_t *out)
{
    int32_t error = QuOpenPrefsKey();
    if (error == 0) {
        uint32_t size = sizeof *out;
        error = QuOsQueryPrefValue(PrefsKey, name, out, &size);
        QuClosePrefsKey();
    }
    if (error != 0) {
        *out = 0;
        if (error == kWinFileNotFound)
            QuWritePrefNumber(name, 0);
    }
    return error;
}

void QuResetPrefs(void)
{
    LoadedStampKept = false;
    PrefsVersion = 1;
    QuCopyText(Separator, "|");
    QuCopyText(DefaultSeparator, "|");
    OneTimeSeparator = 0;
}

void QuSavePrefs(void)
{
    QuWritePrefText("SeparatorToken", Separator);
    QuWritePrefText("DefSeparatorToken", DefaultSeparator);
    QuWritePrefNumber("Version", PrefsVersion);
    QuWritePrefNumber("isOneTimeSeparator", OneTimeSeparator);
}

static bool QuSameStamp(const QuOsPrefsStamp *a, const QuOsPrefsStamp *b)
{
    for (int i = 0; i < 5; i++)
        if (a->marks[i] != b->marks[i])
            return false;
    return true;
}

// Every value read without error: nothing was created or reset, and memory
// now holds what the key holds.
static bool QuReadAllPrefs(void)
{
    int32_t capacity = kSeparatorSize;
    Separator[0] = 0;
    QuReadPrefText("SeparatorToken", Separator, &capacity);
    if (Separator[0] == 0) {
        QuResetPrefs();
        QuSavePrefs();
        return false;
    }
    capacity = kSeparatorSize;
    bool clean = QuReadPrefText("DefSeparatorToken", DefaultSeparator, &capacity) == 0;
    clean = QuReadPrefNumber("Version", &PrefsVersion) == 0 && clean;
    clean = QuReadPrefNumber("isOneTimeSeparator", &OneTimeSeparator) == 0 && clean;
    return clean;
}

void QuLoadPrefs(void)
{
    QuOsPrefsStamp stamp;
    bool stamped = QuOsReadPrefsStamp(&stamp) == 0;
    if (stamped && LoadedStampKept && QuSameStamp(&stamp, &LoadedStamp))
        return;
    LoadedStampKept = false;
    PrefsLoadCount++;
    // A stamp taken within one step of the clock after a write may not
    // change at the next write; such a key is read again next time. A load
    // that had to create or reset values, or failed, is repeated too, as it
    // would be without the stamp.
    bool clean = QuReadAllPrefs();
    if (stamped && clean && stamp.age > stamp.grain) {
        LoadedStamp = stamp;
        LoadedStampKept = true;
    }
}

const char *QuGetSeparator(void)
{
    // Never split at an empty separator, even before the first load.
    return Separator[0] != 0 ? Separator : "|";
}

// `what`, then " error number N  ", the number always whole.
static void QuErrorText(const char *what, int32_t number, char *text)
{
    char digits[12];
    QuFormatSigned(number, digits);
    if (QuCopyBounded(what, QuTextLength(what), text, 200) != 0)
        QuCopyBounded(what, 199, text, 200);
    QuAppendText(text, " error number ");
    QuAppendText(text, digits);
    QuAppendText(text, "  ");
}

static void QuShowText(int32_t stringId, const char *text)
{
    char caption[256];
    QuOsLoadString(Host.record != NULL ? Host.record->instance : NULL, stringId, caption, sizeof caption);
    QuOsBeep();
    QuOsMessageBox(caption, text);
}

void QuShowErrorNumber(int32_t stringId, const char *what, int32_t number)
{
    char text[256];
    QuErrorText(what, number, text);
    QuShowText(stringId, text);
}

void QuReportError(int32_t stringId, const char *what, int32_t number, bool box)
{
    char text[256];
    QuErrorText(what, number, text);
    QuOsLogError("Rouser Plug-In", text);
    if (box)
        QuShowText(stringId, text);
}
