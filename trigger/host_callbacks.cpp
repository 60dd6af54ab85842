// The two direct start methods: the old host's find-and-perform callbacks
// and the new host's start-script callback with its text library.
#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "os_library.h"
#include "text_library.h"
#include "trigger.h"

// The host's text library; `module` is set only while all three exports
// are known.
static struct {
    QuOsLibrary module;
    QuTextConstructorProc construct;
    QuTextDeleteProc destroy;
    QuTextAssignProc assign;
} TextLibrary;

// The record of the call a start-script start runs in, held for the start.
// (Calls the host makes into the plug-in while the script starts put their
// own record back when they return.)
static HostCallRecord *StartCallRecord;

enum { kCountedSize = 256 }; // length byte and at most 255 characters

int32_t QuTriggerByHostCallbacks(const char *fileName, const char *scriptName)
{
    if (fileName[0] == 0 || scriptName[0] == 0)
        return kErrBadParameter;
    HostCallRecord *record = Host.record;
    unsigned char countedFile[kCountedSize];
    unsigned char countedScript[kCountedSize];
    QuToCountedString(fileName, countedFile);
    QuToCountedString(scriptName, countedScript);
    int32_t scriptId = 0;

    // Check: only a file and script the host knows may start.
    int32_t fileRef = record->findFile(countedFile);
    if (fileRef == 0)
        return kErrFileNotOpen;
    if (record->findScript(fileRef, countedScript, &scriptId) == 0)
        return kErrScriptNotFound;

    // Run. Should the host lose the file or script between the two lookups,
    // nothing starts, and the caller hears so rather than a success.
    fileRef = record->findFile(countedFile);
    if (fileRef == 0)
        return kErrFileNotOpen;
    if (record->findScript(fileRef, countedScript, &scriptId) == 0)
        return kErrScriptNotFound;
    return record->performScript(fileRef, &scriptId) != 0 ? 0 : kErrFailed;
}

int32_t QuLoadTextLibrary(void)
{
    if (TextLibrary.module != NULL)
        return 0;
    QuOsLibrary module = QuOsLoadLibrary(QuTextLibraryName());
    if (module == NULL)
        return kErrNotFound;
    QuOsProc construct = QuOsFindExport(module, "FM_Text_Constructor1");
    QuOsProc destroy = QuOsFindExport(module, "FM_Text_Delete");
    QuOsProc assign = QuOsFindExport(module, "FM_Text_Assign");
    if (construct == NULL || destroy == NULL || assign == NULL) {
        // Not kept: the next start loads it afresh, in case it was replaced.
        QuOsFreeLibrary(module);
        return kErrNotFound;
    }
    TextLibrary.construct = (QuTextConstructorProc)construct;
    TextLibrary.destroy = (QuTextDeleteProc)destroy;
    TextLibrary.assign = (QuTextAssignProc)assign;
    TextLibrary.module = module;
    return 0;
}

void QuFreeTextLibrary(void)
{
    if (TextLibrary.module == NULL)
        return;
    QuOsFreeLibrary(TextLibrary.module);
    TextLibrary.module = NULL;
    TextLibrary.construct = NULL;
    TextLibrary.destroy = NULL;
    TextLibrary.assign = NULL;
}

int32_t QuTriggerByStartScript(HostCallRecord *record, const char *fileName, const char *scriptName)
{
    HostCallRecord *outer = StartCallRecord; // a start may run inside another
    StartCallRecord = record;
    int32_t result = QuLoadTextLibrary();
    if (result == 0) {
        QuTextStatus status = {1, 0};
        void *fileText = TextLibrary.construct(&status);
        void *scriptText = TextLibrary.construct(&status);
        if (fileText == NULL || scriptText == NULL) {
            // The library is out of memory: no object to hand to the host.
            result = kErrMemory;
        } else {
            TextLibrary.assign(fileText, fileName, kQuTextEncodingMultibyte, &status);
            TextLibrary.assign(scriptText, scriptName, kQuTextEncodingMultibyte, &status);
            int32_t answer = StartCallRecord->startScript(fileText, scriptText, 3, NULL);
            // Only the low 16 bits are the host's code.
            result = (int16_t)(uint16_t)(answer & 0xFFFF);
        }
        if (fileText != NULL)
            TextLibrary.destroy(fileText, &status);
        if (scriptText != NULL)
            TextLibrary.destroy(scriptText, &status);
    }
    StartCallRecord = outer;
    return result;
}
