#include "server_registry.h"

#include <windows.h>

#include "automation_server/test_server.h"

// Written into HKEY_CLASSES_ROOT itself: Wine does not merge the user's
// Software\Classes into it, so COM would not see a registration there.
static std::string SetValue(const std::string &key, const char *name, const std::string &value)
{
    HKEY handle;
    LONG error =
        RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
    if (error != ERROR_SUCCESS)
        return "cannot create " + key + ": error " + std::to_string(error);
    error = RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
    return error == ERROR_SUCCESS ? "" : "cannot write " + key + ": error " + std::to_string(error);
}

std::string TestServerPath(void)
{
    std::string path = std::string(ROUSER_BUILD_DIR) + "/" + TEST_SERVER_DLL;
    for (char &c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string TestServerRegisterNameOnly(void)
{
    TestServerUnregister();
    return SetValue("FMPro.Application\\CLSID", nullptr, TEST_SERVER_CLSID);
}

std::string TestServerRegister(void)
{
    const std::string server = std::string("CLSID\\") + TEST_SERVER_CLSID + "\\InprocServer32";
    std::string error = TestServerRegisterNameOnly();
    if (error.empty())
        error = SetValue(server, nullptr, TestServerPath());
    if (error.empty())
        error = SetValue(server, "ThreadingModel", "Apartment");
    return error;
}

void TestServerUnregister(void)
{
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "FMPro.Application");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + TEST_SERVER_CLSID).c_str());
}
