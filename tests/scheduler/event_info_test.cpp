// "Rous-GetEventInfo" through the entry point.
#include "events.h"

namespace {

class EventInfoTest : public EventTest {};

struct Step {
    std::string parameter, answer;
};

void RunSteps(const std::vector<Step> &steps)
{
    for (const Step &s : steps)
        EXPECT_EQ(Call(kGetEventInfo, s.parameter), s.answer) << s.parameter;
}

TEST_F(EventInfoTest, AnswersByOptionOrder)
{
    AddStandardEvents();
    std::vector<EventView> before = Events();
    RunSteps({
        {"", "$$-50"},
        {"-getTriggerCount", "5"},
        {"-getActiveTriggerCount -lastTriggered -getYourID", "2"},
        {"-FirstTriggerSec -getActiveTriggerCount", "2"},
        {"-FirstTriggerSec", "-415520896"}, // kDue1, past 2^31
        {"-lastTriggered -getYourID", "fid"},
        {"-lastTriggered -getYourText", ""}, // nothing after field 3
        {"-lastTriggered -byEventID -getYourID|4242", "fid"},
        {"-byEventID -firstSilentEvent -getYourID|4242", "myID"},
        {"-BYEVENTID -GETYOURTEXT|4242", "free|text"}, // separators kept
        {"-byEventID -getYourText -getYourID|4242", "$$-50"},
        {"-byEventID|4242", "$$-50"},
        {"-getYourID|4242", "$$-50"},
        {"x|-getTriggerCount", "$$-50"},               // options count in field 1 only
        {"-byEventID -getRouserEventID|4244", "4244"}, // fired
        {"-byEventID -getRouserEventID|4246", "4246"}, // missed
        {"-byEventID -getRouserEventID|4245", "4245"}, // silent
        {"-byEventID -getRouserEventID|4247", "$$-1"},
        {"-byEventID -getRouserEventID|0", "$$-1"},
        {"-byEventID -getRouserEventID", "$$-1"},
        {"-byEventID -getYourID|4243", ""}, // file and script only
        {"-byEventID -getYourText|4243", ""},
        {"-byEventID -getYourText|4246", "missed"},
        {"-firstSilentEvent -getRouserEventID", "4245"},
    });
    std::vector<EventView> after = Events();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); i++)
        EXPECT_EQ(after[i].state, before[i].state) << "event " << after[i].id;
}

TEST_F(EventInfoTest, EmptyTableAndNothingFiredYet)
{
    RunSteps({{"-getTriggerCount", "0"},
              {"-getActiveTriggerCount", "0"},
              {"-FirstTriggerSec", "-1"},
              {"-firstSilentEvent -getYourID", "$$-1"}});
    AddEvent(2147483647u, 0, "f|s|id"); // the last due time that reads positive
    RunSteps({{"-lastTriggered -getRouserEventID", "$$-1"}, {"-FirstTriggerSec", "2147483647"}});
}

// Collecting silent events one by one, and deleting the event that held the
// earliest due time without recomputing it.
TEST_F(EventInfoTest, DeleteThisEventAfterReading)
{
    AddStandardEvents();
    AddEvent(kDue1, kFlagSilent, "f|s|sid2|silent|two");
    RunSteps({
        {"-firstSilentEvent -getYourText -deletethisevent", "silent one"},
        {"-firstSilentEvent -getYourText -deletethisevent", "silent|two"},
        {"-firstSilentEvent -getYourText -deletethisevent", "$$-1"},
        {"-getTriggerCount", "4"},
        {"-byEventID -getRouserEventID -deletethisevent|4242", "4242"},
        {"-byEventID -getRouserEventID|4242", "$$-1"},
        {"-getActiveTriggerCount", "1"},
        {"-FirstTriggerSec", "-415520896"},
        {"-lastTriggered -getYourID -deletethisevent", "fid"},
        {"-getTriggerCount", "2"},
    });
}

// A start-up whose table allocation failed leaves the functions to say so.
TEST_F(EventInfoTest, WithoutTable)
{
    HsShutdown();
    HsFailNthFallible(1); // the table's allocation
    ASSERT_EQ(HsStartup(50), 4);
    HsFailNthFallible(0);
    ASSERT_EQ(EventTable.handle, nullptr);
    EXPECT_NE(AddEvent(kDue1, 0, "f|s"), 0);
    EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), "$$-108");
    EXPECT_EQ(Call(kGetEventInfo, ""), "$$-50");
    EXPECT_EQ(Call(kDeleteEvent, "-deleteAllEvents"), "$$-108");
    EXPECT_EQ(Call(kDeleteEvent, ""), "$$-50");
    EXPECT_EQ(Call(kControl, "-GetLocalTriggerStatus"), "1");
    EXPECT_EQ(EventTable.count, 0);
}

} // namespace
