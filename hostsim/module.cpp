// Loads a plug-in module as the host does and finds its one entry point.
#include "hostsim.h"

#ifdef _WIN32
#include <windows.h>

void *HsLoadModule(const char *path, HsEntryProc *entry, std::string *error)
{
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        *error = std::string("cannot load ") + path + ": error " + std::to_string(GetLastError());
        return nullptr;
    }
    *entry =
        reinterpret_cast<HsEntryProc>(reinterpret_cast<void *>(GetProcAddress(module, "FMExternCallProc")));
    if (*entry == nullptr) {
        *error = std::string(path) + " does not export FMExternCallProc";
        FreeLibrary(module);
        return nullptr;
    }
    return module;
}

void HsUnloadModule(void *module)
{
    FreeLibrary(static_cast<HMODULE>(module));
}
#else
#include <dlfcn.h>

void *HsLoadModule(const char *path, HsEntryProc *entry, std::string *error)
{
    void *module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        *error = dlerror();
        return nullptr;
    }
    *entry = reinterpret_cast<HsEntryProc>(dlsym(module, "FMExternCallProc"));
    if (*entry == nullptr) {
        *error = std::string(path) + " does not export FMExternCallProc";
        dlclose(module);
        return nullptr;
    }
    return module;
}

void HsUnloadModule(void *module)
{
    dlclose(module);
}
#endif
