// Fails every fallible host callback of each table operation and scheduler
// function in turn: nothing stays locked or leaks, and the counters still
// agree with the records.
#include "events.h"

namespace {

class EventFaultSweepTest : public EventTest {
protected:
    void Sweep(const std::string &name, const std::function<void()> &operation)
    {
        SweepTableFaults(
            name,
            [] {
                AddStandardEvents();
                QuResetLocalTriggers();
            },
            operation);
    }
};

TEST_F(EventFaultSweepTest, TableOperations)
{
    SetNow1904(kDue1);
    const struct {
        const char *name;
        std::function<void()> body;
    } operations[] = {
        {"insert",
         [] {
             uint32_t id;
             QuInsertEvent(kDue1 - 5, 0, "f|s|i|t", 7, &id);
         }},
        {"insert silent",
         [] {
             uint32_t id;
             QuInsertEvent(kDue1 - 5, kFlagSilent, "f|s", 3, &id);
         }},
        {"insert without text",
         [] {
             uint32_t id;
             QuInsertEvent(kDue1, 0, "", 0, &id);
         }},
        {"select",
         [] {
             uint32_t id;
             char file[4], script[4];
             QuSelectDueEvent(QuStartDeferral, &id, file, script, sizeof file);
         }},
        {"mark", [] { QuMarkEventTriggered(4242); }},
        {"update",
         [] {
             QuEvent event;
             if (QuFindEvent(4244, &event) == 0) {
                 event.due = kDue1 - 10;
                 event.state = kStatePending;
                 QuUpdateEvent(&event);
             }
         }},
        {"delete by ID", [] { QuDeleteEventByID(4242); }},
        {"delete triggered", [] { QuDeleteTriggeredEvents(); }},
        {"delete all", [] { QuDeleteAllEvents(); }},
    };
    for (const auto &op : operations)
        Sweep(op.name, [&] { Inside(op.body); });
}

TEST_F(EventFaultSweepTest, Functions)
{
    const struct {
        uint32_t index;
        std::string parameter;
    } calls[] = {
        {kGetEventInfo, "-getTriggerCount"},
        {kGetEventInfo, "-byEventID -getYourText -deletethisevent|4242"},
        {kGetEventInfo, "-firstSilentEvent -getYourID -deletethisevent"},
        {kGetEventInfo, "-lastTriggered -getRouserEventID"},
        {kGetEventInfo, "-listEventIDs"},
        {kGetEventInfo, "-byEventID -getScriptName -deletethisevent|4242"},
        {kGetEventInfo, "-byEventID -getDueTimestamp|4243"},
        {kScheduleEvent, std::string("-addRepeatingEvent -every 1d|") + kDay1 + "|3600|f|s|id|text"},
        {kDeleteEvent, "-deleteByID|4243"},
        {kDeleteEvent, "-deleteLastTriggered"},
        {kDeleteEvent, "-deleteAllTriggeredEvents"},
        {kDeleteEvent, "-deleteAllEvents"},
        {kControl, "-DisableLocalTriggers|abc"},
        {kControl, "-GetLocalTriggerStatus"},
        {kSleep, std::string("-tilldatetime|") + kDay1 + "|1"},
    };
    for (const auto &c : calls)
        Sweep(std::to_string(c.index) + " " + c.parameter, [&] { HsCallFunction(c.index, c.parameter); });
}

// A text that cannot be stored takes its event out again: a counted event
// without text would be chosen at every poll and hold back the later ones.
TEST_F(EventFaultSweepTest, FailedInsertionLeavesTableAsItWas)
{
    for (int64_t n = 1; n <= 4; n++) { // lock table, allocate, size and lock the text
        AddStandardEvents();
        std::vector<uint32_t> before = EventIDs();
        HsFailNthFallible(n);
        EXPECT_EQ(AddEvent(kDue1 - 100, 0, "f|s"), kErrMemory) << "failing callback " << n;
        HsFailNthFallible(0);
        EXPECT_EQ(EventIDs(), before) << "failing callback " << n;
        EXPECT_EQ(EventTable.active, 2) << "failing callback " << n;
        EXPECT_EQ(EventTable.earliestDue, kDue1) << "failing callback " << n;
        ExpectCountersMatchRecords("failing callback " + std::to_string(n), true);
    }
    EXPECT_EQ(AddEvent(kDue1 - 100, 0, "f|s"), 0);
}

} // namespace
