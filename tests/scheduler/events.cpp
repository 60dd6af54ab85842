#include "events.h"

#include <algorithm>

void EventTest::SetUp()
{
    PluginTest::SetUp();
    SetNow1904(kDue1 - 86400);
}

void SetNow1904(uint32_t now)
{
    HsSetClockSeconds(static_cast<int64_t>(now) - 2082844800);
}

int32_t AddEvent(uint32_t due, int32_t flags, const std::string &text, uint32_t *id)
{
    int32_t status = 0;
    uint32_t newID = 0;
    Inside(
        [&] { status = QuInsertEvent(due, flags, text.data(), static_cast<int32_t>(text.size()), &newID); });
    if (id != nullptr)
        *id = newID;
    return status;
}

void FireEvent(uint32_t id)
{
    Inside([&] {
        QuMarkEventTriggered(id);
        QuSetLastTriggered(id);
    });
}

void SetEventState(uint32_t id, int32_t state)
{
    Inside([&] {
        QuEvent event;
        ASSERT_EQ(QuFindEvent(id, &event), 0) << id;
        event.state = state;
        ASSERT_EQ(QuUpdateEvent(&event), 0) << id;
    });
}

void AddStandardEvents(void)
{
    // A new table, numbered from the first ID again.
    Inside([] {
        QuDisposeEventTable();
        QuResetEventTable();
        QuCreateEventTable();
    });
    AddEvent(kDue1, 0, "file|script|myID|free|text");
    AddEvent(kDue1 + 3600, 1, "f|s");
    AddEvent(kDue1 + 60, 2, "f|s|fid|");
    AddEvent(kDue1 - 60, kFlagSilent, "f|s|sid1|silent one");
    AddEvent(kDue1 - 86400, 0, "f|s|mid|missed");
    FireEvent(4244);
    SetEventState(4246, kStateMissed);
}

static int32_t AddView(const QuEvent *event, void *context)
{
    if (event != nullptr)
        static_cast<std::vector<EventView> *>(context)->push_back(
            {event->id, event->state, event->due, event->text != nullptr, HsHandleContent(event->text),
             event->flags});
    return 0;
}

std::vector<EventView> Events(void)
{
    std::vector<EventView> events;
    if (EventTable.handle == nullptr)
        return events;
    int32_t status = 0;
    Inside([&] { status = QuForEachEvent(AddView, &events, false); });
    EXPECT_EQ(status, 0) << "the table could not be read";
    return events;
}

std::vector<uint32_t> EventIDs(void)
{
    std::vector<uint32_t> ids;
    for (const EventView &e : Events())
        ids.push_back(e.id);
    return ids;
}

std::string Call(uint32_t index, const std::string &parameter)
{
    return HsCallFunction(index, parameter).text;
}

void ExpectCountersMatchRecords(const std::string &where, bool exactEarliest)
{
    int16_t active = 0;
    uint32_t earliest = kNoDueTime;
    std::vector<EventView> events = Events();
    for (const EventView &e : events) {
        EXPECT_TRUE(e.state >= kStatePending && e.state <= kStateMissed) << where << ", event " << e.id;
        EXPECT_TRUE(e.hasText) << where << ", event " << e.id;
        if (e.state == kStatePending) {
            active++;
            if (QuDueBefore(e.due, earliest))
                earliest = e.due;
        }
    }
    EXPECT_EQ(EventTable.active, active) << where;
    if (exactEarliest)
        EXPECT_EQ(EventTable.earliestDue, earliest) << where;
    else
        EXPECT_FALSE(QuDueBefore(earliest, EventTable.earliestDue)) << where;
    EXPECT_EQ(HsLiveHandles(), static_cast<int64_t>(events.size()) + (EventTable.handle != nullptr)) << where;
}

void SweepTableFaults(const std::string &name, const std::function<void()> &prepare,
                      const std::function<void()> &operation)
{
    int64_t n = 1;
    for (; n < 1000; n++) {
        prepare();
        HsSetStrict(n % 2 == 0);
        HsFailNthFallible(n);
        operation();
        bool injected = HsFaultInjected();
        HsFailNthFallible(0);
        const std::string where = name + ", failing callback " + std::to_string(n);
        for (const std::string &v : HsTakeViolations())
            ADD_FAILURE() << where << ": " << v;
        EXPECT_EQ(HsLockedHandles(), 0) << where;
        ExpectCountersMatchRecords(where, false);
        if (!injected)
            break;
    }
    EXPECT_GT(n, 1) << name << " made no fallible callback";
}
