// Without a folder from the simulated host, the event file lives beside the
// running program, as it does beside the host's executable.
#include <windows.h>

#include "support/fixture.h"

#include "frame/plugin_frame.h"
#include "trigger/trigger.h"

namespace {

class DefaultFolderTest : public PluginTest {
protected:
    int16_t StartupVersion() const override { return 0; }
};

TEST_F(DefaultFolderTest, EventFileIsBesideTheProgram)
{
    char program[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
    ASSERT_GT(n, 0u);
    std::string folder(program, n);
    folder.erase(folder.find_last_of('\\') + 1);
    // Version 14's files, which no other case leaves there.
    const std::string names[] = {folder + "RousEvn5.Qul", folder + "RousEvR5.Qul"};
    for (const std::string &name : names)
        DeleteFileA(name.c_str());
    HsSetHostFolder("");
    ASSERT_EQ(HsStartup(14), 4);
    const std::string &path = names[Host.windowKind == 0 ? 0 : 1];
    HsShutdown();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    char bytes[32];
    DWORD read = 0;
    ReadFile(file, bytes, sizeof bytes, &read, nullptr);
    CloseHandle(file);
    EXPECT_EQ(std::string(bytes, read), "#Quil v1.0\n");
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

} // namespace
