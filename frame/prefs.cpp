// General preferences in the user's registry. Only the separator changes
// behaviour; the other three values are kept present for other programs.
#include "host_overrides.h"
#include "os_frame.h"
#include "plugin_frame.h"
#include "resources/rouser_strings.h"

enum { kSeparatorSize = 64 };

static struct {
    QuOsPrefsKey key;
    bool keyOpen;
    char separator[kSeparatorSize];
    char defaultSeparator[kSeparatorSize];
    uint32_t version;
    uint32_t oneTimeSeparator;
    // The key's stamp when memory last matched it; a load that finds the
    // same stamp reads nothing.
    QuOsPrefsStamp loadedStamp;
    bool loadedStampKept;
    uint32_t loadCount;
} Prefs;
const uint32_t &PrefsLoadCount = Prefs.loadCount;

int32_t QuOpenPrefsKey(void)
{
    if (Prefs.keyOpen)
        return 0;
    int32_t error = QuOsOpenPrefsKey(QuPrefsRootOverride(), &Prefs.key);
    Prefs.keyOpen = error == 0;
    return error;
}

void QuClosePrefsKey(void)
{
    if (Prefs.keyOpen)
        QuOsClosePrefsKey(Prefs.key);
    Prefs.keyOpen = false;
}

int32_t QuWritePrefText(const char *name, const char *text)
{
    int32_t error = QuOpenPrefsKey();
    if (error != 0)
        return error;
    error = QuOsSetPrefValue(Prefs.key, name, kOsValueText, text, (uint32_t)QuTextLength(text) + 1);
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
    error = QuOsSetPrefValue(Prefs.key, name, kOsValueNumber, &value, sizeof value);
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
        error = QuOsQueryPrefValue(Prefs.key, name, buffer, &size);
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
    error = QuOsQueryPrefValue(Prefs.key, name, &value, &size);
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
        error = QuOsQueryPrefValue(Prefs.key, name, out, &size);
        QuClosePrefsKey();
    }
    if (error != 0) {
        *out = 0;
        if (error == kWinFileNotFound)
            QuWritePrefNumber(name, 0);
    }
    return error;
}

static void QuUseDefaultPrefs(void)
{
    Prefs.version = 1;
    QuCopyText(Prefs.separator, "|");
    QuCopyText(Prefs.defaultSeparator, "|");
    Prefs.oneTimeSeparator = 0;
}

void QuResetPrefs(void)
{
    QuClosePrefsKey();
    QuUseDefaultPrefs();
    Prefs.loadedStampKept = false;
    Prefs.loadCount = 0;
}

void QuSavePrefs(void)
{
    QuWritePrefText("SeparatorToken", Prefs.separator);
    QuWritePrefText("DefSeparatorToken", Prefs.defaultSeparator);
    QuWritePrefNumber("Version", Prefs.version);
    QuWritePrefNumber("isOneTimeSeparator", Prefs.oneTimeSeparator);
}

static bool QuSameStamp(const QuOsPrefsStamp *a, const QuOsPrefsStamp *b)
{
    for (int i = 0; i < kPrefsStampMarks; i++)
        if (a->marks[i] != b->marks[i])
            return false;
    return true;
}

// Every value read without error: nothing was created or reset, and memory
// now holds what the key holds.
static bool QuReadAllPrefs(void)
{
    int32_t capacity = kSeparatorSize;
    Prefs.separator[0] = 0;
    QuReadPrefText("SeparatorToken", Prefs.separator, &capacity);
    if (Prefs.separator[0] == 0) {
        QuUseDefaultPrefs();
        QuSavePrefs();
        return false;
    }
    capacity = kSeparatorSize;
    bool clean = QuReadPrefText("DefSeparatorToken", Prefs.defaultSeparator, &capacity) == 0;
    clean = QuReadPrefNumber("Version", &Prefs.version) == 0 && clean;
    clean = QuReadPrefNumber("isOneTimeSeparator", &Prefs.oneTimeSeparator) == 0 && clean;
    return clean;
}

void QuLoadPrefs(void)
{
    QuOsPrefsStamp stamp;
    bool stamped = QuOsReadPrefsStamp(QuPrefsRootOverride(), &stamp) == 0;
    if (stamped && Prefs.loadedStampKept && QuSameStamp(&stamp, &Prefs.loadedStamp))
        return;
    Prefs.loadedStampKept = false;
    Prefs.loadCount++;
    // A stamp taken within one step of the clock after a write may not
    // change at the next write; such a key is read again next time. A load
    // that had to create or reset values, or failed, is repeated too, as it
    // would be without the stamp.
    bool clean = QuReadAllPrefs();
    if (stamped && clean && stamp.age > stamp.grain) {
        Prefs.loadedStamp = stamp;
        Prefs.loadedStampKept = true;
    }
}

const char *QuGetSeparator(void)
{
    // Never split at an empty separator, even before the first load.
    return Prefs.separator[0] != 0 ? Prefs.separator : "|";
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
