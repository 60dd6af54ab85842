// The preferences as another program sees them: the registry itself.
#include "prefs_store.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

static const char kKey[] = "Software\\Quil\\Quil Plug-in General Prefs";

static void SetKeySecurity(const char *sddl)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        LONG error = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        EXPECT_EQ(error, ERROR_SUCCESS) << "cannot change the key's rights";
        LocalFree(descriptor);
    }
    RegCloseKey(key);
}

void PrefsStoreUseFresh(const std::string &)
{
    PrefsStoreMendWrites();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quil");
}

bool PrefsStoreKeyExists(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void PrefsStoreSetText(const std::string &name, const std::string &value)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

static bool Query(const std::string &name, DWORD wantType, std::string *data)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[4096];
    DWORD type = 0, size = sizeof buffer;
    LONG error = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || type != wantType)
        return false;
    data->assign(buffer, size);
    return true;
}

bool PrefsStoreGetText(const std::string &name, std::string *value)
{
    std::string data;
    if (!Query(name, REG_SZ, &data))
        return false;
    *value = data.substr(0, data.find('\0'));
    return true;
}

bool PrefsStoreGetNumber(const std::string &name, uint32_t *value)
{
    std::string data;
    if (!Query(name, REG_DWORD, &data) || data.size() != 4)
        return false;
    memcpy(value, data.data(), 4);
    return true;
}

void PrefsStoreDelete(const std::string &name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
}

void PrefsStoreBreakWrites(const std::string &name)
{
    // As an administrator might: everyone may read the key, nobody may
    // change its values.
    PrefsStoreDelete(name);
    SetKeySecurity("D:P(A;;KRWDSD;;;WD)");
}

void PrefsStoreMendWrites(void)
{
    SetKeySecurity("D:P(A;;KA;;;WD)");
}
