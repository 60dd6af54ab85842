// The entry point through the simulated host: start-up, call kinds, idle
// sub-kinds and the dispatch of function indexes.
#include "support/fixture.h"

#include "frame/plugin_frame.h"
#include "trigger/trigger.h"

namespace {

class EntryTest : public PluginTest {
protected:
    int16_t StartupVersion() const override { return 0; }
};

TEST_F(EntryTest, StartupAcceptsOnlyVersions4To255)
{
    const struct {
        int16_t version;
        int32_t answer;
    } cases[] = {{3, -1}, {4, 4}, {50, 4}, {255, 4}, {256, -1}, {-1, -1}, {-32768, -1}, {0, -1}};
    for (const auto &c : cases) {
        QuSetHostVersion(0);
        EXPECT_EQ(HsStartup(c.version), c.answer) << "version " << c.version;
        // A refused start-up sets up nothing, not even the version.
        EXPECT_EQ(Host.version, c.answer == 4 ? c.version : 0) << "version " << c.version;
        HsShutdown();
    }
}

TEST_F(EntryTest, TriggerMethodSwitchFollowsHostVersion)
{
    ASSERT_EQ(HsStartup(49), 4);
    EXPECT_EQ(UseAlternateTriggerMethod, 1);
    HsShutdown();
    ASSERT_EQ(HsStartup(50), 4);
    EXPECT_EQ(UseAlternateTriggerMethod, 0);
}

TEST_F(EntryTest, UnknownCallKindsAndIndexesChangeNothing)
{
    ASSERT_EQ(HsStartup(50), 4);
    const int64_t live = HsLiveHandles(); // the event table
    for (uint8_t kind : {2, 5, 6, 7, 200})
        HsRawCall(kind);
    for (uint32_t index : {10u, 11u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        HsCallResult result = HsCallFunction(index, "-getversionnumber", "untouched");
        EXPECT_FALSE(result.touched) << "index " << index;
        EXPECT_EQ(result.text, "untouched") << "index " << index;
    }
    EXPECT_EQ(Host.version, 50);
    EXPECT_EQ(HsLiveHandles(), live);
}

} // namespace
