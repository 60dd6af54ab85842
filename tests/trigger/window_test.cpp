// Host window detection at start-up, over the simulated desktop natively and
// over real windows of the test process on Windows.
#include "support/fixture.h"

#include "frame/plugin_frame.h"
#include "trigger/trigger.h"

namespace {

class WindowTest : public PluginTest {
protected:
    int16_t StartupVersion() const override { return 0; }

    // Host.windowKind after a start-up among windows of these classes.
    int32_t KindAmong(const std::vector<std::string> &topToBottom)
    {
        std::string error;
        EXPECT_TRUE(HsSetWindowClasses(topToBottom, &error)) << error;
        return KindAfterStartup();
    }

    int32_t KindAfterStartup()
    {
        QuSetHostWindowKind(7); // neither answer: shows a start-up that left it alone
        EXPECT_EQ(HsStartup(50), 4);
        int32_t kind = Host.windowKind;
        HsShutdown();
        return kind;
    }
};

// Names of `length` characters: the host prefix, filler, then `tail`.
std::string Long(int length, const std::string &tail)
{
    return "FMPRO5" + std::string(static_cast<size_t>(length) - 6 - tail.size(), 'x') + tail;
}

TEST_F(WindowTest, TopmostHostWindowDecides)
{
    const struct {
        std::vector<std::string> classes; // top first
        int32_t kind;
    } cases[] = {
        {{"FMPRO5APP"}, 0},
        {{"FMPRO3APP"}, 0},
        {{"FMPRO6APP"}, 0},
        {{"FMPRO7"}, 1},
        {{"FMPRO5APPx"}, 1},
        {{"FMPRO3xAPPxAPP"}, 1}, // only the first "APP" counts
        {{}, 1},
        // Not host windows: the walk goes on below them.
        {{"FMPRO4APP", "FMPRO7"}, 1},
        {{"fmpro5APP", "FMPRO7"}, 1},
        {{"Tools5FMPROAPP", "FMPRO7"}, 1}, // the prefix elsewhere
        {{"FMPRO", "FMPRO5APP"}, 0},
        {{"OtherApp", "FMPRO5APP"}, 0},
        // The highest host window stops the walk, even at six characters.
        {{"FMPRO5", "FMPRO5APP"}, 1},
        {{"FMPRO7", "FMPRO5APP"}, 1},
        {{"FMPRO5APP", "FMPRO7"}, 0},
        // 255 is the limit handed over, so 254 characters are read; Windows
        // registers no longer class name.
        {{Long(254, "APP")}, 0},
        {{Long(255, "APP")}, 1},
    };
    for (const auto &c : cases) {
        std::string names;
        for (const std::string &name : c.classes)
            names += (names.empty() ? "" : ", ") + name.substr(0, 20);
        EXPECT_EQ(KindAmong(c.classes), c.kind) << "windows: " << names;
    }
}

TEST_F(WindowTest, WindowsOfAModuleLoadedFromAFile)
{
    // The way rouser-host hands its windows over, the plug-in linked here.
    std::string error;
    ASSERT_TRUE(HsCreateWindows({"OtherApp", "FMPRO7", "FMPRO5APP"}, &error)) << error;
    EXPECT_EQ(KindAfterStartup(), 1);
    ASSERT_TRUE(HsCreateWindows({"OtherApp", "FMPRO5APP", "FMPRO7"}, &error)) << error;
    EXPECT_EQ(KindAfterStartup(), 0);
    HsDestroyWindows();
    EXPECT_EQ(KindAfterStartup(), 1);
}

#ifndef _WIN32
TEST_F(WindowTest, NoMoreIsReadThanADesktopCanHold)
{
    EXPECT_EQ(KindAmong({Long(300, "APP")}), 1);
    EXPECT_EQ(KindAmong({Long(254, "APP") + std::string(46, 'y')}), 0);
    // The walk ends after as many windows as a desktop can hold.
    std::vector<std::string> classes(65535, "OtherApp");
    classes.push_back("FMPRO5APP");
    EXPECT_EQ(KindAmong(classes), 0);
    classes.insert(classes.begin(), "OtherApp");
    EXPECT_EQ(KindAmong(classes), 1);
}
#endif

} // namespace
