// Events put into the table the way scheduling, the listener, loading and
// the firing step do, and the table read through its own calls.
#ifndef ROUSER_TEST_EVENTS_H
#define ROUSER_TEST_EVENTS_H

#include "support/fixture.h"

#include "frame/plugin_frame.h"
#include "scheduler/event_table.h"

enum { kControl = 1, kDeleteEvent = 2, kGetEventInfo = 3, kScheduleEvent = 5, kSleep = 7 };

// 7 December 2026 00:00, and its day number.
const uint32_t kDue1 = 3879446400u;
const char kDay1[] = "739957";

struct EventView {
    uint32_t id;
    int32_t state;
    uint32_t due;
    bool hasText;
    std::string text;
    int32_t flags;
};

class EventTest : public PluginTest {
protected:
    void SetUp() override;
};

void SetNow1904(uint32_t now);
// The status of the insertion; the new ID through `id`.
int32_t AddEvent(uint32_t due, int32_t flags, const std::string &text, uint32_t *id = nullptr);
// As the firing step: marks the event triggered and remembers it.
void FireEvent(uint32_t id);
// As loading a missed event: the state changed in place, counters recomputed.
void SetEventState(uint32_t id, int32_t state);
// An empty table and IDs from 4242 on, then, by slot: 4242 pending at kDue1,
// 4243 pending an hour later, 4244 fired, 4245 silent, 4246 missed.
void AddStandardEvents(void);
std::vector<EventView> Events(void);
std::vector<uint32_t> EventIDs(void);
std::string Call(uint32_t index, const std::string &parameter);
// Counters against a recount of the records; EventTable.earliestDue is exact only
// after marking, else a lower bound. Also no record without its text and no
// text handle more or less than the records hold.
void ExpectCountersMatchRecords(const std::string &where, bool exactEarliest);
// Runs `operation` once for every fallible host callback it makes, failing
// that one, after `prepare` has run without faults: no host rule broken,
// nothing left locked, counters in agreement with the records.
void SweepTableFaults(const std::string &name, const std::function<void()> &prepare,
                      const std::function<void()> &operation);

#endif
