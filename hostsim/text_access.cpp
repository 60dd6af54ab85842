// The host's view of its text library while the plug-in has it loaded.
// The host never keeps it loaded itself, so that tests see exactly when
// the plug-in loads and frees it.
#include "hostsim.h"

#include "internal.h"

#ifdef _WIN32
#include <windows.h>

// Null when no module of that name is loaded; takes no reference.
static void *Export(const char *name)
{
    HMODULE module = GetModuleHandleA("FMWrapper.dll");
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(module, name));
}

bool HsTextLibraryLoaded(void)
{
    return GetModuleHandleA("FMWrapper.dll") != nullptr;
}
#else
#include <dlfcn.h>

// The library's soname is its file name, so a loaded copy is found by that
// name wherever it was loaded from.
static void *Export(const char *name)
{
    void *module = dlopen("FMWrapper.dll", RTLD_LAZY | RTLD_NOLOAD);
    if (module == nullptr)
        return nullptr;
    void *address = dlsym(module, name);
    dlclose(module); // drops only the reference RTLD_NOLOAD added
    return address;
}

bool HsTextLibraryLoaded(void)
{
    void *module = dlopen("FMWrapper.dll", RTLD_LAZY | RTLD_NOLOAD);
    if (module != nullptr)
        dlclose(module);
    return module != nullptr;
}
#endif

template <typename Proc> static Proc Find(const char *name)
{
    return reinterpret_cast<Proc>(Export(name));
}

std::vector<HsTextLogEntry> HsTakeTextCalls(void)
{
    std::vector<HsTextLogEntry> calls;
    auto count = Find<HsTextLogCountProc>(HS_TEXT_LOG_COUNT);
    auto read = Find<HsTextLogReadProc>(HS_TEXT_LOG_READ);
    auto clear = Find<HsTextLogClearProc>(HS_TEXT_LOG_CLEAR);
    if (count == nullptr || read == nullptr || clear == nullptr)
        return calls;
    int32_t n = count();
    if (n > kHsTextLogSize)
        HsNoteViolation("more text library calls than its log keeps");
    HsTextLogEntry entry;
    for (int32_t i = 0; i < n && read(i, &entry) == 0; i++)
        calls.push_back(entry);
    clear();
    return calls;
}

int32_t HsTextObjectsAlive(void)
{
    auto live = Find<HsTextLiveObjectsProc>(HS_TEXT_LIVE_OBJECTS);
    return live != nullptr ? live() : -1;
}

bool HsFailTextConstructor(int32_t nth)
{
    auto fail = Find<HsTextFailConstructorProc>(HS_TEXT_FAIL_CONSTRUCTOR);
    if (fail == nullptr)
        return false;
    fail(nth);
    return true;
}

bool HsReadTextObject(const void *object, std::string *content)
{
    content->clear();
    auto read = Find<HsTextContentProc>(HS_TEXT_CONTENT);
    if (read == nullptr)
        return false;
    int32_t length = read(object, nullptr, 0);
    if (length < 0)
        return false;
    content->resize(static_cast<size_t>(length));
    if (length > 0)
        read(object, &(*content)[0], length);
    return true;
}

void HsResetTextLibrary(void)
{
    auto clear = Find<HsTextLogClearProc>(HS_TEXT_LOG_CLEAR);
    if (clear != nullptr)
        clear();
    HsFailTextConstructor(0);
}
