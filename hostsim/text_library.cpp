// The simulated host's "FMWrapper.dll". A text object keeps the bytes it
// was assigned and their encoding value. Built without one of the three
// plug-in exports (HS_TEXT_WITHOUT_*) for tests of a faulty library.
// No standard containers: the library must unload cleanly.
#include <stdlib.h>
#include <string.h>

#include "text_library.h"

#ifdef _WIN32
#define HS_TEXT_EXPORT extern "C" __declspec(dllexport)
#else
#define HS_TEXT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct Text {
    Text *next;
    char *bytes;
    int32_t length;
    int32_t encoding;
};

Text *LiveTexts;
HsTextLogEntry Log[kHsTextLogSize];
int32_t LogCount;
int32_t ConstructorsUntilFailure;

bool IsLive(const void *object)
{
    for (Text *t = LiveTexts; t != nullptr; t = t->next) {
        if (t == object)
            return true;
    }
    return false;
}

HsTextLogEntry *Note(int32_t call, const void *object, const QuTextStatus *status)
{
    static HsTextLogEntry overflow;
    HsTextLogEntry *entry = LogCount < kHsTextLogSize ? &Log[LogCount] : &overflow;
    LogCount++;
    memset(entry, 0, sizeof *entry);
    entry->call = call;
    entry->object = object;
    entry->known = IsLive(object) ? 1 : 0;
    entry->statusGiven = status != nullptr ? 1 : 0;
    if (status != nullptr) {
        entry->status[0] = status->first;
        entry->status[1] = status->second;
    }
    return entry;
}

} // namespace

#ifndef HS_TEXT_WITHOUT_CONSTRUCTOR
HS_TEXT_EXPORT void *TEXT_LIB_CALL FM_Text_Constructor1(QuTextStatus *status)
{
    bool fail = ConstructorsUntilFailure > 0 && --ConstructorsUntilFailure == 0;
    Text *text = fail ? nullptr : static_cast<Text *>(calloc(1, sizeof(Text)));
    if (text != nullptr) {
        text->next = LiveTexts;
        LiveTexts = text;
    }
    Note(kHsTextConstruct, text, status);
    return text;
}
#endif

#ifndef HS_TEXT_WITHOUT_ASSIGN
HS_TEXT_EXPORT void TEXT_LIB_CALL FM_Text_Assign(void *object, const char *source, int32_t encoding,
                                                 QuTextStatus *status)
{
    HsTextLogEntry *entry = Note(kHsTextAssign, object, status);
    entry->encoding = encoding;
    entry->textLength = source != nullptr ? static_cast<int32_t>(strlen(source)) : -1;
    if (source != nullptr) {
        size_t kept = strlen(source) < sizeof entry->text - 1 ? strlen(source) : sizeof entry->text - 1;
        memcpy(entry->text, source, kept);
    }
    if (!entry->known || source == nullptr)
        return;
    Text *text = static_cast<Text *>(object);
    size_t length = strlen(source);
    char *bytes = static_cast<char *>(malloc(length + 1));
    if (bytes == nullptr)
        return;
    memcpy(bytes, source, length + 1);
    free(text->bytes);
    text->bytes = bytes;
    text->length = static_cast<int32_t>(length);
    text->encoding = encoding;
}
#endif

#ifndef HS_TEXT_WITHOUT_DELETE
HS_TEXT_EXPORT void TEXT_LIB_CALL FM_Text_Delete(void *object, QuTextStatus *status)
{
    Note(kHsTextDelete, object, status);
    for (Text **link = &LiveTexts; *link != nullptr; link = &(*link)->next) {
        if (*link == object) {
            Text *text = *link;
            *link = text->next;
            free(text->bytes);
            free(text);
            return;
        }
    }
}
#endif

HS_TEXT_EXPORT int32_t TEXT_LIB_CALL HsTextContent(const void *object, char *buffer, int32_t capacity)
{
    if (!IsLive(object))
        return -1;
    const Text *text = static_cast<const Text *>(object);
    int32_t kept = text->length < capacity ? text->length : capacity;
    if (kept > 0)
        memcpy(buffer, text->bytes, static_cast<size_t>(kept));
    return text->length;
}

HS_TEXT_EXPORT int32_t TEXT_LIB_CALL HsTextLogCount(void)
{
    return LogCount;
}

HS_TEXT_EXPORT int32_t TEXT_LIB_CALL HsTextLogRead(int32_t index, HsTextLogEntry *out)
{
    if (index < 0 || index >= LogCount || index >= kHsTextLogSize)
        return -1;
    *out = Log[index];
    return 0;
}

HS_TEXT_EXPORT void TEXT_LIB_CALL HsTextLogClear(void)
{
    LogCount = 0;
}

HS_TEXT_EXPORT int32_t TEXT_LIB_CALL HsTextLiveObjects(void)
{
    int32_t n = 0;
    for (Text *t = LiveTexts; t != nullptr; t = t->next)
        n++;
    return n;
}

HS_TEXT_EXPORT void TEXT_LIB_CALL HsTextFailConstructor(int32_t nth)
{
    ConstructorsUntilFailure = nth > 0 ? nth : 0;
}
