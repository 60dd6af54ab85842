// Starting a script through the host's automation server: the open document
// whose file matches the event's runs the script. OLE is started on first
// use and stays started until shutdown.
#include "frame/plugin_frame.h"
#include "os_automation.h"
#include "trigger.h"

static bool Started;
const bool &OleStarted = Started;

enum { kFullNameSize = 2000 };

bool QuStartAutomation(void)
{
    if (Started)
        return true;
    // S_FALSE: the thread had OLE already; our start still needs its stop.
    int32_t hr = QuOsOleInitialize();
    if (hr != kOsOk && hr != kOsFalse)
        return false; // tried again at the next start
    Started = true;
    return true;
}

void QuStopAutomation(void)
{
    if (Started)
        QuOsOleUninitialize();
    Started = false;
}

// Runs the script in the first of `count` documents whose base name begins
// `fileName`. Without a match the answer is that of the last Item get, so a
// failed Item counts only when no later document answers.
static int32_t QuRunInMatchingDocument(QuOsAutomationObject documents, int32_t count, const char *fileName,
                                       const char *scriptName)
{
    int32_t pending = 0;
    int32_t conversionError = 0;
    QuOsAutomationObject match = NULL;
    for (int64_t next = 1; next <= count && conversionError == 0 && match == NULL; next++) {
        int32_t index = (int32_t)next;
        QuOsAutomationObject document;
        pending = QuOsGetObjectProperty(documents, L"Item", &index, &document);
        if (pending < 0)
            continue;
        // A failed get leaves no text, and converting no text fails: either
        // way a name we cannot read ends the search.
        QuOsAutomationText text;
        QuOsGetTextProperty(document, L"FullName", &text);
        char fullName[kFullNameSize];
        conversionError = QuOsTextToMultibyte(text, fullName, sizeof fullName);
        QuOsFreeText(text);
        if (conversionError == 0 && QuBaseNameMatches(fullName, fileName))
            match = document;
        else
            QuOsReleaseObject(document);
    }
    if (match != NULL) {
        pending = QuOsCallWithText(match, L"doFMScript", scriptName);
        QuOsReleaseObject(match);
    }
    return conversionError != 0 ? conversionError : pending;
}

int32_t QuTriggerByAutomation(const char *fileName, const char *scriptName)
{
    if (fileName[0] == 0)
        return kErrBadParameter;
    if (!QuStartAutomation())
        return kErrOleNotStarted;
    // Created afresh each time: the host may have quit or opened other
    // documents since the last start.
    QuOsAutomationObject application;
    int32_t status = QuOsCreateApplication(&application);
    if (status < 0)
        return status;
    QuOsAutomationObject documents;
    status = QuOsGetObjectProperty(application, L"Documents", NULL, &documents);
    if (status < 0) {
        QuOsReleaseObject(application);
        return status;
    }
    int32_t count;
    status = QuOsGetNumberProperty(documents, L"Count", &count);
    if (status >= 0)
        status = count > 0 ? QuRunInMatchingDocument(documents, count, fileName, scriptName) : 0;
    QuOsReleaseObject(documents);
    QuOsReleaseObject(application);
    return status;
}
