// The event table's limits, IDs, due-event choice and counters, and the
// conversions of FileMaker dates and times.
#include "events.h"

#include <algorithm>
#include <random>

namespace {

class EventTableTest : public EventTest {
protected:
    // What QuSelectDueEvent chooses: "slot ID file", or its status.
    std::string SelectDue()
    {
        uint32_t id = 0;
        int32_t status = 0;
        char file[8], script[8];
        Inside([&] { status = QuSelectDueEvent(QuStartDeferral, &id, file, script, sizeof file); });
        if (status != 0)
            return std::to_string(status);
        std::vector<uint32_t> ids = EventIDs();
        size_t slot = std::find(ids.begin(), ids.end(), id) - ids.begin();
        return std::to_string(slot) + " " + std::to_string(id) + " " + file;
    }
};

TEST_F(EventTableTest, Conversions)
{
    const struct {
        const char *text;
        uint32_t date, time;
    } cases[] = {
        {"695056", 0, 695056},
        {"695057", 86400, 695057},
        {"695055", 0, 695055},
        {"739957", 3879446400u, 739957},
        {"744766", 4294944000u, 744766},
        {"744767", 63104, 744767}, // wraps into 1904
        {"695057abc", 86400, 695057},
        {"abc", 0, 0},
        {"-1", 0, 0},
        {" 3600", 0, 3600},
        {"-5", 0, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(QuDateToTimestamp(c.text), c.date) << c.text;
        EXPECT_EQ(QuTimeToSeconds(c.text), c.time) << c.text;
    }
    // 1 January 2000, the window's first second, and a clock before it,
    // which counts as that second rather than as the window's end.
    for (int64_t clock : {946684800ll, 0ll, 946684799ll}) {
        HsSetClockSeconds(clock);
        uint32_t out = 0;
        EXPECT_EQ(QuNow1904(&out), kWindowStart1904) << clock;
        EXPECT_EQ(out, kWindowStart1904) << clock;
    }
    HsSetClockSeconds(946684801);
    EXPECT_EQ(QuNow1904(NULL), kWindowStart1904 + 1);
}

TEST_F(EventTableTest, ThousandEventsAndNoIDForTheRefusedOne)
{
    int32_t failures = 0;
    uint32_t id = 0;
    Inside([&] {
        for (int i = 0; i < kMaxEvents; i++)
            failures += QuInsertEvent(kDue1 + i, 0, "f|s", 3, &id) != 0;
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(id, 4242u + kMaxEvents - 1);
    EXPECT_EQ(AddEvent(kDue1, 0, "f|s"), kErrTableFull);
    EXPECT_EQ(EventTable.nextID, 4242u + kMaxEvents);
    EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), "1000");
    ExpectCountersMatchRecords("full table", true);
}

// Equal due times go in slot order, and a removal moves the last record
// into the hole, ahead of the others.
TEST_F(EventTableTest, EqualDueTimesGoInSlotOrder)
{
    SetNow1904(kDue1 + 10);
    for (const char *text : {"a|1", "b|2", "c|3"})
        AddEvent(kDue1, 0, text);
    EXPECT_EQ(SelectDue(), "0 4242 a");
    EXPECT_EQ(Call(kDeleteEvent, "-deleteByID|4242"), "0");
    EXPECT_EQ(SelectDue(), "0 4244 c");
    EXPECT_EQ(EventIDs(), (std::vector<uint32_t>{4244, 4243}));
}

// A single removal keeps the earliest due time; the due event is still found
// once its time has come, and emptying the table resets the counters.
TEST_F(EventTableTest, RemovalKeepsEarliestDueTimeUntilTableEmpties)
{
    AddEvent(kDue1, 0, "f|s");
    AddEvent(kDue1 + 100, 0, "f|s");
    AddEvent(kDue1 + 200, 0, "f|s");
    FireEvent(4244);
    Inside([] { QuDeleteEventByID(4242); });
    EXPECT_EQ(EventTable.earliestDue, kDue1);
    EXPECT_EQ(EventTable.active, 1);
    SetNow1904(kDue1 + 99);
    EXPECT_EQ(SelectDue(), "-1");
    SetNow1904(kDue1 + 100);
    EXPECT_EQ(SelectDue(), "1 4243 f");
    Inside([] { QuDeleteEventByID(4243); });
    EXPECT_EQ(EventTable.earliestDue, kDue1);
    Inside([] { QuDeleteEventByID(4244); }); // the only record, triggered
    EXPECT_EQ(EventTable.count, 0);
    EXPECT_EQ(EventTable.active, 0);
    EXPECT_EQ(EventTable.earliestDue, kNoDueTime);
}

// An update changes an event in place, its text kept, and the counters
// follow; one that would leave a free record among the live ones, or names
// no event, changes nothing.
TEST_F(EventTableTest, UpdatesKeepTextAndCounters)
{
    const struct {
        uint32_t id;
        int32_t state;
        uint32_t due;
        int32_t status;
        int16_t active;
        uint32_t earliest;
    } cases[] = {
        {4243, kStatePending, kDue1 - 30, 0, 2, kDue1 - 30},
        {4242, kStateSilent, kDue1, 0, 1, kDue1 + 3600},
        {4244, kStatePending, kDue1 + 7200, 0, 3, kDue1},
        {4242, kStateFree, kDue1, kErrBadParameter, 2, kDue1},
        {4299, kStatePending, kDue1, kErrNotFound, 2, kDue1},
    };
    for (const auto &c : cases) {
        AddStandardEvents();
        std::vector<EventView> before = Events();
        QuEvent event = {c.id, c.due, c.state, 5, 77, nullptr};
        int32_t status = 0;
        Inside([&] { status = QuUpdateEvent(&event); });
        EXPECT_EQ(status, c.status) << c.id;
        EXPECT_EQ(EventTable.active, c.active) << c.id;
        EXPECT_EQ(EventTable.earliestDue, c.earliest) << c.id;
        std::vector<EventView> after = Events();
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); i++) {
            bool changed = status == 0 && after[i].id == c.id;
            EXPECT_EQ(after[i].text, before[i].text) << c.id;
            EXPECT_EQ(after[i].state, changed ? c.state : before[i].state) << c.id;
            EXPECT_EQ(after[i].due, changed ? c.due : before[i].due) << c.id;
            EXPECT_EQ(after[i].flags, changed ? 5 : before[i].flags) << c.id;
        }
        Inside([&] { status = QuFindEvent(c.id, &event); });
        EXPECT_EQ(status == 0 && event.reserved == 77, c.status == 0) << c.id;
    }
}

// The failed starts are found through an index: after any run of failures
// and forgettings, the oldest entry giving way once a thousand are kept,
// every event's turn is what a search of a plain list gives.
TEST_F(EventTableTest, FailedStartTurnsMatchAPlainList)
{
    std::vector<std::pair<uint32_t, uint32_t>> list; // ID, turn
    uint32_t lastTurn = 0;
    int evictions = 0;
    auto turnOf = [&](uint32_t id) {
        for (const auto &entry : list)
            if (entry.first == id)
                return static_cast<int32_t>(1 + entry.second % 0x7FFFFFFFu);
        return 0;
    };
    std::vector<uint32_t> ids;
    std::mt19937 random(23);
    for (uint32_t i = 0; i < 1500; i++) {
        ids.push_back(kFirstEventID + i);
        ids.push_back(static_cast<uint32_t>(random()));
    }
    QuForgetStartOutcomes();
    for (int step = 0; step < 20000; step++) {
        // Many more failures than forgettings, so that the list fills.
        uint32_t id = ids[random() % (step < 10000 ? 1200 : ids.size())];
        auto at =
            std::find_if(list.begin(), list.end(), [&](const auto &entry) { return entry.first == id; });
        if (random() % 4 != 0) {
            QuNoteFailedStart(id);
            if (at == list.end() && list.size() == kMaxEvents && ++evictions)
                at = std::min_element(list.begin(), list.end(),
                                      [](const auto &a, const auto &b) { return a.second < b.second; });
            if (at == list.end())
                at = list.insert(list.end(), {id, 0});
            *at = {id, ++lastTurn};
        } else {
            QuForgetFailedStart(id);
            if (at != list.end()) {
                *at = list.back();
                list.pop_back();
            }
        }
        ASSERT_EQ(QuStartDeferral(id), turnOf(id)) << "step " << step << ", ID " << id;
        for (size_t i = 0; step % 2000 == 1999 && i < ids.size(); i++)
            ASSERT_EQ(QuStartDeferral(ids[i]), turnOf(ids[i])) << "step " << step << ", ID " << ids[i];
    }
    EXPECT_GT(evictions, 100);
    QuForgetStartOutcomes();
    for (uint32_t id : ids)
        ASSERT_EQ(QuStartDeferral(id), 0) << id;
}

} // namespace
