// The automation start where the host's automation server is not installed:
// the POSIX stand-in answers as Windows does when nothing has registered
// "FMPro.Application".
#include "support/fixture.h"

#include "frame/plugin_frame.h"
#include "trigger/trigger.h"

#ifdef _WIN32
#include "win/server_registry.h"
#endif

namespace {

class AutomationAbsentTest : public PluginTest {};

TEST_F(AutomationAbsentTest, AnswersInvalidClassString)
{
#ifdef _WIN32
    TestServerUnregister();
#endif
    const struct {
        const char *file;
        int32_t result;
        bool oleStarted;
    } cases[] = {
        {"", -50, false}, // refused before OLE is touched
        {"Contacts", (int32_t)0x800401F3u, true},
        {"Contacts", (int32_t)0x800401F3u, true}, // OLE stays started
    };
    for (const auto &c : cases) {
        Inside([&] { EXPECT_EQ(QuTriggerByAutomation(c.file, "Report"), c.result) << "file " << c.file; });
        EXPECT_EQ(OleStarted, c.oleStarted) << "file " << c.file;
    }
    HsShutdown();
    EXPECT_FALSE(OleStarted);
#ifdef _WIN32
    TestServerUnregister();
#endif
}

} // namespace
