#include "fixture.h"

#include <filesystem>

#include "message_boxes.h"
#include "prefs_store.h"

#ifdef _WIN32
#include <windows.h>
#endif

void UsePluginEntry(void)
{
#ifdef _WIN32
    HsSetEntry(FMExternCallProc, GetModuleHandleA(nullptr));
#else
    HsSetEntry(FMExternCallProc, nullptr);
#endif
}

void Inside(const std::function<void()> &body)
{
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        body();
    });
}

void PluginTest::EmptyHostFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(hostFolder, ignored);
    std::filesystem::create_directories(hostFolder, ignored);
}

void PluginTest::SetUp()
{
    HsReset();
    UsePluginEntry();
    BoxesDismissAll();
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    PrefsStoreUseFresh(info->name());
    hostFolder = FreshFolder(std::string(info->test_suite_name()) + "." + info->name());
    HsSetHostFolder(hostFolder);
    HsUseSimulatedClock(1000000);
    // The linked plug-in is loaded once for all cases: no case may see
    // another's state.
    QuResetLoadState();
    if (StartupVersion() != 0) {
        ASSERT_EQ(HsStartup(StartupVersion()), 4);
    }
}

void PluginTest::ExpectHostRulesKept()
{
    std::vector<std::string> violations = HsTakeViolations();
    for (const std::string &v : violations)
        ADD_FAILURE() << "host rule broken: " << v;
}

void PluginTest::TearDown()
{
    HsFailNthFallible(0);
    HsShutdown();
    ExpectHostRulesKept();
    EXPECT_EQ(HsLiveHandles(), 0) << "handles leaked";
    HsUseRealSources();
    HsReset();
}
