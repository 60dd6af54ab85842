// "Rous-Version" through the entry point.
#include "support/fixture.h"

#include "trigger/trigger.h"

namespace {

class VersionTest : public PluginTest {};

// Makes the speed test read 78 ticks: a direct start 1.3 s after scheduling
// left its event to the idle poll.
void MeasureSpeed()
{
    const int64_t now1970 = 1796083200 + 12 * 3600;
    HsSetClockSeconds(now1970);
    HsOpenFile("Orders", {"Print"});
    HsCallFunction(0, "-usealternatetriggermethod");
    HsCallFunction(5, "-addSingleEvent|" + std::to_string(now1970 / 86400 + 719163) + "|" +
                          std::to_string(now1970 % 86400) + "|Orders|Print");
    HsAdvanceMilliseconds(1300);
    HsIdle(0);
    ASSERT_EQ(HsTakeStarts().size(), 1u);
}

TEST_F(VersionTest, AnswersByTheFirstMatchingOption)
{
    const struct {
        std::string parameter, answer;
        int32_t switchAfter; // UseAlternateTriggerMethod, starting from 0
    } cases[] = {
        {"", "Rouser Plug-In 1.5.1", 0},
        {"-GetVersionNumber", "1500", 0},
        {"xx-getversionnumberyy -showplugininfo", "1500", 0},
        {"-showplugininfo", "Intel", 0},
        {"-showplugininfo -usealternatetriggermethod", "Intel", 0},
        {"-usealternatetriggermethod", "0", 1},
        {"-usealternatetriggermethod -alternatetriggermethodoff", "0", 1},
        {"-alternatetriggermethodoff", "0", 0},
        {"-usealternatetriggermethod -returnSpeedTest_ElapsedTicks", "78", 1},
        {"-RETURNSPEEDTEST_ELAPSEDTICKS", "78", 0},
        {"-unknown", "Rouser Plug-In 1.5.1", 0},
        {"x|-getversionnumber", "Rouser Plug-In 1.5.1", 0}, // only the first token counts
        {"|-usealternatetriggermethod", "Rouser Plug-In 1.5.1", 0},
    };
    MeasureSpeed();
    for (const auto &c : cases) {
        QuSetTriggerMethod(false);
        HsCallResult result = HsCallFunction(0, c.parameter, "junk");
        EXPECT_EQ(result.text, c.answer) << c.parameter;
        EXPECT_EQ(UseAlternateTriggerMethod, c.switchAfter) << c.parameter;
    }
}

TEST_F(VersionTest, SwitchLastsUntilChanged)
{
    EXPECT_EQ(UseAlternateTriggerMethod, 0);
    HsCallFunction(0, "-usealternatetriggermethod");
    HsCallFunction(0, "");
    HsCallFunction(0, "-getversionnumber");
    EXPECT_EQ(UseAlternateTriggerMethod, 1);
    HsCallFunction(0, "-alternatetriggermethodoff");
    EXPECT_EQ(UseAlternateTriggerMethod, 0);
}

TEST_F(VersionTest, OnlyTheFirstThousandBytesOfTheTokenAreSearched)
{
    std::string padding(998, ' ');
    EXPECT_EQ(HsCallFunction(0, padding + "-getversionnumber").text, "Rouser Plug-In 1.5.1");
    EXPECT_EQ(HsCallFunction(0, std::string(982, ' ') + "-getversionnumber").text, "1500");
}

} // namespace
