// Real top-level windows of the test process: a new window lands on top of
// the z-order, and the plug-in walks that order from the top.
#include <windows.h>

#include "frame/plugin_frame.h"
#include "support/fixture.h"
#include "trigger/trigger.h"

namespace {

struct OwnWindow {
    std::string name;
    HWND window = nullptr;

    explicit OwnWindow(const char *className) : name(className)
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = className;
        if (RegisterClassA(&windowClass) != 0)
            window = CreateWindowA(className, "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   windowClass.hInstance, nullptr);
    }
    ~OwnWindow()
    {
        DestroyWindow(window);
        UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
    }
};

class DesktopTest : public PluginTest {
protected:
    int16_t StartupVersion() const override { return 0; }
};

TEST_F(DesktopTest, NewWindowIsOnTopUntilAnotherIsRaised)
{
    OwnWindow full("FMPRO5APP");
    OwnWindow runtime("FMPRO7");
    ASSERT_NE(full.window, nullptr);
    ASSERT_NE(runtime.window, nullptr);
    // Hidden windows too: the one made last is the topmost.
    EXPECT_EQ(GetTopWindow(nullptr), runtime.window);
    EXPECT_EQ(GetWindow(runtime.window, GW_HWNDNEXT), full.window);
    ASSERT_EQ(HsStartup(50), 4);
    EXPECT_EQ(Host.windowKind, 1);
    HsShutdown();

    SetWindowPos(full.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(HsStartup(50), 4);
    EXPECT_EQ(Host.windowKind, 0);
}

} // namespace
