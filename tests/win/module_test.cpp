// The built module itself, as the host finds it: its one export, the
// system DLLs it imports, its string table and version, and the real
// registry and message boxes when the host drives it.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "hostsim/hostsim.h"
#include "support/message_boxes.h"
#include "support/prefs_store.h"

namespace {

const std::string kModulePath = std::string(ROUSER_BUILD_DIR) + "/RouserPlugIn.fmx";

// The headers of this build's own width: the shipped module is 32-bit; a
// 64-bit build of the same sources runs the tests where 32-bit programs
// cannot run.
#ifdef _WIN64
typedef IMAGE_NT_HEADERS64 NtHeaders;
const WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
typedef IMAGE_NT_HEADERS32 NtHeaders;
const WORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

// The module mapped without running it; freed when the test ends, on every
// path: a module left loaded with unresolved imports breaks later tests.
struct Image {
    HMODULE module = nullptr;
    const unsigned char *base = nullptr;
    const NtHeaders *nt = nullptr;
    explicit Image(DWORD flags) : module(LoadLibraryExA(kModulePath.c_str(), nullptr, flags))
    {
        // A data-file mapping tags its handle's low bits; headers are read
        // only from an image mapping.
        if (module != nullptr && flags == DONT_RESOLVE_DLL_REFERENCES) {
            base = reinterpret_cast<const unsigned char *>(module);
            const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
            nt = reinterpret_cast<const NtHeaders *>(base + dos->e_lfanew);
        }
    }
    ~Image()
    {
        if (module != nullptr)
            FreeLibrary(module);
    }
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;
};

TEST(Module, ExportsOnlyTheEntryPoint)
{
    Image image(DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(image.module, nullptr) << kModulePath;
    EXPECT_EQ(image.nt->FileHeader.Machine, kMachine);
    EXPECT_EQ(image.nt->FileHeader.SizeOfOptionalHeader, sizeof image.nt->OptionalHeader);
    EXPECT_NE(image.nt->FileHeader.Characteristics & IMAGE_FILE_DLL, 0);
    const IMAGE_DATA_DIRECTORY &dir = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    const IMAGE_EXPORT_DIRECTORY *exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(image.base + dir.VirtualAddress);
    EXPECT_EQ(exports->NumberOfFunctions, 1u);
    ASSERT_EQ(exports->NumberOfNames, 1u);
    const DWORD *names = reinterpret_cast<const DWORD *>(image.base + exports->AddressOfNames);
    EXPECT_STREQ(reinterpret_cast<const char *>(image.base + names[0]), "FMExternCallProc");
}

TEST(Module, ImportsOnlySystemLibraries)
{
    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll",   "advapi32.dll",
                                           "wsock32.dll",  "secur32.dll",  "crypt32.dll",
                                           "ole32.dll",    "oleaut32.dll", "msvcrt.dll"};
    Image image(DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(image.module, nullptr);
    ASSERT_EQ(image.nt->FileHeader.Machine, kMachine);
    const IMAGE_DATA_DIRECTORY &dir = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const IMAGE_IMPORT_DESCRIPTOR *entry =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(image.base + dir.VirtualAddress);
    int count = 0;
    for (; entry->Name != 0; entry++, count++) {
        std::string name = reinterpret_cast<const char *>(image.base + entry->Name);
        for (char &c : name)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(allowed.count(name), 1u) << "imports " << name;
    }
    EXPECT_GT(count, 0);
}

TEST(Module, StringTableReadsBack)
{
    Image image(LOAD_LIBRARY_AS_DATAFILE);
    HMODULE module = image.module;
    ASSERT_NE(module, nullptr);
    const struct {
        UINT id;
        const char *text;
    } strings[] = {
        {128, "Rouser Plug-In Classic"}, {131, "Rous1YYYYnY"},
        {144, "Rous-Version"},           {145, "Rous-Control"},
        {146, "Rous-DeleteEvent"},       {147, "Rous-GetEventInfo"},
        {148, "Rous-GetIPAddress"},      {149, "Rous-ScheduleEvent"},
        {150, "Rous-SendRemoteEvent"},   {151, "Rous-Sleep"},
        {152, "Rous-StartListener"},     {153, "Rous-StopListener"},
        {256, "Rouser Plug-In Classic"},
    };
    char text[1024];
    for (const auto &s : strings) {
        int n = LoadStringA(module, s.id, text, sizeof text);
        EXPECT_EQ(std::string(text, n > 0 ? static_cast<size_t>(n) : 0), s.text) << "string " << s.id;
    }
    const std::string description = "This plug-in adds function to trigger scripts on remote computers.\n"
                                    "See the plug-in documentation or visit our web site: ";
    int n = LoadStringA(module, 129, text, sizeof text);
    ASSERT_GT(n, static_cast<int>(description.size()));
    EXPECT_EQ(std::string(text, description.size()), description);
    EXPECT_EQ(LoadStringA(module, 130, text, sizeof text), 0) << "no string 130";
    // Language 1033 holds the table (strings are stored 16 to a block).
    EXPECT_NE(FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(128 / 16 + 1), 1033), nullptr);
    EXPECT_NE(FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(256 / 16 + 1), 1033), nullptr);
}

TEST(Module, VersionResourceIs151)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(kModulePath.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(kModulePath.c_str(), 0, size, &data[0]));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 5u);
    EXPECT_EQ(fixed->dwFileVersionLS, 1u << 16);
    char *text = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904E4\\FileVersion",
                               reinterpret_cast<void **>(&text), &length));
    EXPECT_STREQ(text, "1.5.1");
}

// The module as the host loads it: its own registry key and its own
// message box caption.
class LoadedModuleTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        HsEntryProc entry = nullptr;
        HsReset();
        PrefsStoreUseFresh("loaded-module");
        module = HsLoadModule(kModulePath.c_str(), &entry, &error);
        ASSERT_NE(module, nullptr) << error;
        HsSetEntry(entry, module);
        ASSERT_EQ(HsStartup(50), 4);
    }
    void TearDown() override
    {
        if (module == nullptr)
            return;
        HsShutdown();
        for (const std::string &v : HsTakeViolations())
            ADD_FAILURE() << "host rule broken: " << v;
        EXPECT_EQ(HsLiveHandles(), 0);
        HsUnloadModule(module);
        HsReset();
        // The module saved its (empty) table beside this program.
        DeleteFileA((std::string(ROUSER_BUILD_DIR) + "/RousEvR7.Qul").c_str());
    }
    void *module = nullptr;
};

TEST_F(LoadedModuleTest, CreatesThePreferencesAndSplitsAsTheyChange)
{
    EXPECT_FALSE(PrefsStoreKeyExists());
    EXPECT_EQ(HsCallFunction(0, "x|-getversionnumber").text, "Rouser Plug-In 1.5.1");
    std::string separator;
    ASSERT_TRUE(PrefsStoreGetText("SeparatorToken", &separator));
    EXPECT_EQ(separator, "|");
    PrefsStoreSetText("SeparatorToken", "++");
    EXPECT_EQ(HsCallFunction(0, "x|-getversionnumber").text, "1500");
    EXPECT_EQ(HsCallFunction(0, "x++-getversionnumber").text, "Rouser Plug-In 1.5.1");
}

TEST_F(LoadedModuleTest, ShowsAFailedRegistryWriteWithItsOwnCaption)
{
    HsCallFunction(0, "");
    PrefsStoreSetText("SeparatorToken", "++");
    PrefsStoreBreakWrites("Version");
    BoxesStartWatching();
    EXPECT_EQ(HsCallFunction(0, "-getversionnumber").text, "1500");
    std::vector<ShownBox> boxes = BoxesStopWatching();
    PrefsStoreMendWrites();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Rouser Plug-In Classic");
    EXPECT_EQ(boxes[0].text, " error number 5  ") << "access denied";
}

} // namespace
