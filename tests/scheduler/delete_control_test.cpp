// "Rous-DeleteEvent", "Rous-Control" and "Rous-Sleep" through the entry point.
#include "events.h"

namespace {

class DeleteControlTest : public EventTest {};

typedef std::vector<uint32_t> IDs;

TEST_F(DeleteControlTest, DeletionsAndTheCountersAfterThem)
{
    const struct {
        std::string parameter, answer;
        IDs left; // by slot
        int16_t active;
        uint32_t earliest; // recomputed after every deletion
        bool fired = true;
    } cases[] = {
        {"", "$$-50", {4242, 4243, 4244, 4245, 4246}, 2, kDue1},
        {"-deleteByID|4242", "0", {4246, 4243, 4244, 4245}, 1, kDue1 + 3600},
        {"-deleteByID|4245", "0", {4242, 4243, 4244, 4246}, 2, kDue1}, // silent
        {"-deleteByID|4241", "$$-50", {4242, 4243, 4244, 4245, 4246}, 2, kDue1},
        {"-deleteByID", "$$-50", {4242, 4243, 4244, 4245, 4246}, 2, kDue1},
        {"-deleteByID|-1", "0", {4242, 4243, 4244, 4245, 4246}, 2, kDue1}, // a large ID
        {"-deleteByID|9999", "0", {4242, 4243, 4244, 4245, 4246}, 2, kDue1},
        {"-deleteByID -deleteAllEvents|4242", "$$-50", {4242, 4243, 4244, 4245, 4246}, 2, kDue1},
        {"-deleteEverything", "$$-50", {4242, 4243, 4244, 4245, 4246}, 2, kDue1},
        {"x|-deleteAllEvents", "$$-50", {4242, 4243, 4244, 4245, 4246}, 2, kDue1},
        {"-deleteLastTriggered", "0", {4242, 4243, 4246, 4245}, 2, kDue1},
        {"-deleteLastTriggered", "0", {4242, 4243, 4244, 4245, 4246}, 2, kDue1, false},
        {"-deleteAllTriggeredEvents", "0", {4242, 4243, 4245}, 2, kDue1},
        {"-DELETEALLEVENTS", "0", {}, 0, kNoDueTime},
    };
    for (const auto &c : cases) {
        AddStandardEvents();
        if (!c.fired)
            Inside([] { QuSetLastTriggered(0); });
        EXPECT_EQ(Call(kDeleteEvent, c.parameter), c.answer) << c.parameter;
        EXPECT_EQ(EventIDs(), c.left) << c.parameter;
        EXPECT_EQ(EventTable.active, c.active) << c.parameter;
        EXPECT_EQ(EventTable.earliestDue, c.earliest) << c.parameter;
        ExpectCountersMatchRecords(c.parameter, true);
    }
    EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), "0");
    EXPECT_EQ(Call(kGetEventInfo, "-FirstTriggerSec"), "-1");
}

// "0" only when the deletion happened: a deletion that could not lock the
// table says so. Only when the answer itself could not be written may the
// memory error stand for a deletion that was made.
TEST_F(DeleteControlTest, AnswersZeroOnlyWhenItDeleted)
{
    bool sawFailure = false;
    for (int64_t n = 1; n < 50; n++) {
        AddStandardEvents();
        HsFailNthFallible(n);
        HsCallResult call = HsCallFunction(kDeleteEvent, "-deleteAllEvents");
        const std::string &answer = call.text;
        bool injected = HsFaultInjected();
        HsFailNthFallible(0);
        if (!injected)
            break;
        if (answer == "0") {
            EXPECT_TRUE(Events().empty()) << "failing callback " << n;
        }
        if (answer == "$$-108" && !call.faulted) {
            sawFailure = true;
            EXPECT_EQ(Events().size(), 5u) << "failing callback " << n;
        }
    }
    EXPECT_TRUE(sawFailure) << "no failing lock of the table was reached";
}

TEST_F(DeleteControlTest, LockText)
{
    const std::string longest(64, 'k');
    const struct {
        std::string parameter, answer;
        bool disabledAfter;
    } steps[] = {
        {"", "0", false},
        {"-GetLocalTriggerStatus", "1", false},
        {"-EnableLocalTriggers|", "$$-4218", false},
        {"-EnableLocalTriggers|abc", "$$-4218", false},
        {"-DisableLocalTriggers -EnableLocalTriggers|abc", "$$-4218", false},
        {"-DisableLocalTriggers|ab", "$$-416", false},
        {"-DisableLocalTriggers|" + longest + "x", "$$-416", false},
        {"-DisableLocalTriggers -GetLocalTriggerStatus|abc", "$$-50", false},
        {"x|-DisableLocalTriggers|abc", "$$-50", false},
        {"-disablelocaltriggers|abc", "0", true},
        {"-GetLocalTriggerStatus", "0", true},
        {"-DisableLocalTriggers|xyz", "$$-4217", true},
        {"-EnableLocalTriggers|ABC", "$$-4219", true},
        {"-EnableLocalTriggers|abcd", "$$-4219", true},
        {"-EnableLocalTriggers|ab", "$$-416", true},
        {"-DisableLocalTriggers -EnableLocalTriggers|abc", "$$-50", true},
        {"-EnableLocalTriggers|abc", "0", false},
        {"-DisableLocalTriggers|" + longest, "0", true},
        {"-EnableLocalTriggers|" + longest, "0", false},
    };
    for (const auto &s : steps) {
        EXPECT_EQ(Call(kControl, s.parameter), s.answer) << s.parameter;
        EXPECT_EQ(QuLocalTriggersDisabled(), s.disabledAfter) << s.parameter;
    }
}

TEST_F(DeleteControlTest, SleepNeverWaitsHere)
{
    SetNow1904(kDue1 + 36000);
    const std::string day(kDay1);
    const struct {
        std::string parameter, answer;
    } cases[] = {
        {"-tilldatetime|" + day + "|36001", "$$-4221"},
        {"-TillDateTime|" + day + "|36000", "$$-4221"}, // the current second
        {"-tilldatetime|" + day + "|35999", "$$-4226"},
        {"-tilldatetime|" + day + "|-5", "$$-4226"},
        {"-tilldatetime|739956|122401", "$$-4221"}, // a time past midnight
        {"-tilldatetime|" + day, "$$-50"},
        {"-tilldatetime|" + day + "|", "$$-50"},
        {"-tilldatetime", "$$-50"},
        {"-sleep|" + day + "|36001", "$$-50"},
        {"|-tilldatetime|" + day + "|36001", "$$-50"},
        {"", "$$-50"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Call(kSleep, c.parameter), c.answer) << c.parameter;
}

} // namespace
