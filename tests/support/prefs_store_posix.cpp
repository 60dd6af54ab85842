#include "prefs_store.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixture.h"

namespace fs = std::filesystem;

static fs::path Root;

static fs::path Key()
{
    return Root / "HKCU" / "Software" / "Quil" / "Quil Plug-in General Prefs";
}

static bool Read(const std::string &name, uint32_t *type, std::string *data)
{
    std::ifstream in(Key() / name, std::ios::binary);
    if (!in)
        return false;
    std::stringstream all;
    all << in.rdbuf();
    std::string bytes = all.str();
    if (bytes.size() < 4)
        return false;
    *type = 0;
    for (int i = 3; i >= 0; i--)
        *type = *type << 8 | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
    *data = bytes.substr(4);
    return true;
}

void PrefsStoreUseFresh(const std::string &caseName)
{
    Root = fs::path(FreshFolder("prefs/" + caseName));
    HsSetPrefsRoot(Root.string());
}

bool PrefsStoreKeyExists(void)
{
    return fs::is_directory(Key());
}

void PrefsStoreSetText(const std::string &name, const std::string &value)
{
    fs::create_directories(Key());
    std::ofstream out(Key() / name, std::ios::binary | std::ios::trunc);
    out.write("\x01\x00\x00\x00", 4);
    out.write(value.c_str(), static_cast<std::streamsize>(value.size() + 1));
}

bool PrefsStoreGetText(const std::string &name, std::string *value)
{
    uint32_t type;
    std::string data;
    if (!Read(name, &type, &data) || type != 1)
        return false;
    *value = data.substr(0, data.find('\0'));
    return true;
}

bool PrefsStoreGetNumber(const std::string &name, uint32_t *value)
{
    uint32_t type;
    std::string data;
    if (!Read(name, &type, &data) || type != 4 || data.size() != 4)
        return false;
    *value = 0;
    for (int i = 3; i >= 0; i--)
        *value = *value << 8 | static_cast<unsigned char>(data[static_cast<size_t>(i)]);
    return true;
}

void PrefsStoreDelete(const std::string &name)
{
    fs::remove(Key() / name);
}

void PrefsStoreBreakWrites(const std::string &name)
{
    // A link into a folder that does not exist: reading finds no value and
    // writing cannot create one, whatever the user's rights.
    fs::create_directories(Key());
    fs::remove(Key() / name);
    fs::create_symlink(Root / "missing-folder" / name, Key() / name);
}

void PrefsStoreMendWrites(void)
{
}
