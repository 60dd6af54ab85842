// Scheduling and firing end to end through the entry point: which start
// method runs, when a due event fires, the poll throttle, the nesting
// limit, and what happens to an event after each kind of start result.
#include "support/fixture.h"

#include "frame/plugin_frame.h"
#include "scheduler/event_table.h"
#include "trigger/trigger.h"

namespace {

enum { kVersion = 0, kControl = 1, kGetEventInfo = 3, kScheduleEvent = 5 };

const int64_t kNow1970 = 1796083200 + 12 * 3600; // noon, a day in 2026
const int64_t kDay = kNow1970 / 86400 + 719163;  // its FileMaker day number

// "-addSingleEvent" due `ahead` seconds from now, for this file and script.
std::string Schedule(int64_t ahead, const std::string &file = "Orders.fp5",
                     const std::string &script = "Print", const std::string &options = "-addSingleEvent")
{
    int64_t seconds = kNow1970 % 86400 + ahead;
    return options + "|" + std::to_string(kDay) + "|" + std::to_string(seconds) + "|" + file + "|" + script;
}

class FiringTest : public PluginTest {
protected:
    int16_t StartupVersion() const override { return 0; }
    void SetUp() override
    {
        PluginTest::SetUp();
        HsSetClockSeconds(kNow1970);
        HsOpenFile("Orders.fp5", {"Print", "Report"});
    }
    // As a host that has just loaded the module.
    void Start(int16_t version)
    {
        QuResetLoadState();
        ASSERT_EQ(HsStartup(version), 4);
    }
    std::string Call(uint32_t index, const std::string &parameter)
    {
        return HsCallFunction(index, parameter).text;
    }
    // One idle call after the clock has moved on by `ms`.
    void IdleAfter(uint32_t ms)
    {
        HsAdvanceMilliseconds(ms);
        HsIdle(0);
    }
    size_t Starts() { return HsTakeStarts().size(); }
    std::string Count(const char *option = "-getTriggerCount") { return Call(kGetEventInfo, option); }
};

TEST_F(FiringTest, StartMethodByHostVersionAndSwitch)
{
    const struct {
        int16_t version;
        const char *switchOption; // null: the host's default
        size_t startsInsideCall;  // started before ScheduleEvent returns
        size_t startsAtPoll;
        const char *activeAfter; // pending events once both are done
    } cases[] = {
        {50, nullptr, 1, 0, "0"},                      // start-script callback, at once
        {50, "-usealternatetriggermethod", 0, 1, "0"}, // start-script callback, at the poll
        {49, nullptr, 0, 1, "0"},                      // old host's callbacks, at the poll
        {49, "-alternatetriggermethodoff", 0, 0, "1"}, // automation: no server here, stays pending
    };
    for (const auto &c : cases) {
        Start(c.version);
        if (c.switchOption != nullptr) {
            EXPECT_EQ(Call(kVersion, c.switchOption), "0");
        }
        HsTakeStarts();
        EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "4242") << c.version;
        EXPECT_EQ(Starts(), c.startsInsideCall) << c.version;
        IdleAfter(100);
        EXPECT_EQ(Starts(), c.startsAtPoll) << c.version;
        EXPECT_EQ(Count("-getActiveTriggerCount"), c.activeAfter) << c.version;
        HsShutdown();
        ExpectHostRulesKept();
        EmptyHostFolder();
    }
}

TEST_F(FiringTest, PollOnlyPastNextPollTicks)
{
    Start(50);
    Call(kVersion, "-usealternatetriggermethod");
    EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "4242");
    HsRunInside([](HostCallRecord *record) {
        QuUseCallRecord(record);
        QuRequestPoll(0);
    });
    HsIdle(0);
    EXPECT_EQ(Starts(), 0u) << "a reading equal to the next poll does not poll";
    HsIdle(1);
    IdleAfter(50); // the next reading, 3 ticks on
    EXPECT_EQ(Starts(), 1u);
    EXPECT_EQ(NextPollTicks, QuGetTicks() + 40);
}

TEST_F(FiringTest, IdleSubKindsOtherThanZeroDoNothing)
{
    Start(49);
    EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "4242");
    HsAdvanceMilliseconds(1000);
    for (uint8_t kind : {1, 2, 255})
        HsIdle(kind);
    EXPECT_EQ(Starts(), 0u);
    HsIdle(0);
    EXPECT_EQ(Starts(), 1u);
}

TEST_F(FiringTest, EventsWaitForTheirTimeAndFireInSlotOrder)
{
    Start(49);
    EXPECT_EQ(Call(kScheduleEvent, Schedule(60, "Orders.fp5", "Report")), "4242");
    EXPECT_EQ(Call(kScheduleEvent, Schedule(60, "Orders.fp5", "Print")), "4243");
    IdleAfter(1000);
    EXPECT_EQ(Starts(), 0u);
    HsSetClockSeconds(kNow1970 + 60);
    IdleAfter(1000);
    std::vector<HsScriptStart> starts = HsTakeStarts();
    ASSERT_EQ(starts.size(), 1u) << "one event a poll";
    EXPECT_EQ(starts[0].script, "Report");
    IdleAfter(1000);
    starts = HsTakeStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].script, "Print");
    EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getRouserEventID"), "4243");
}

TEST_F(FiringTest, OldHostOutcomesDeleteOrKeepTheEvent)
{
    const struct {
        const char *file, *script;
        bool performFails;
        const char *countAfter, *activeAfter;
    } cases[] = {
        {"Orders.fp5", "Print", false, "1", "0"},   // started, marked triggered
        {"Missing.fp5", "Print", false, "0", "0"},  // kErrFileNotOpen: deleted
        {"Orders.fp5", "Missing", false, "0", "0"}, // kErrScriptNotFound: deleted
        {"Orders.fp5", "Print", true, "1", "1"},    // kErrFailed: stays pending
    };
    for (const auto &c : cases) {
        Start(49);
        HsSetPerformFails(c.performFails);
        EXPECT_EQ(Call(kScheduleEvent, Schedule(0, c.file, c.script)), "4242");
        IdleAfter(1000);
        IdleAfter(1000);
        EXPECT_EQ(Count(), c.countAfter) << c.file << " " << c.script;
        EXPECT_EQ(Count("-getActiveTriggerCount"), c.activeAfter) << c.file << " " << c.script;
        HsSetPerformFails(false);
        HsShutdown();
        EmptyHostFolder();
    }
    HsTakeStarts();
}

TEST_F(FiringTest, NewHostAnswerLow16BitsAndLateLibrary)
{
    Start(50);
    HsSetTextLibraryPath(hostFolder + "no-such-library.dll");
    Call(kVersion, "-usealternatetriggermethod");
    EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "4242");
    for (int poll = 0; poll < 3; poll++)
        IdleAfter(1000);
    EXPECT_EQ(Starts(), 0u);
    EXPECT_EQ(Count("-getActiveTriggerCount"), "1") << "a missing library keeps the event pending";
    HsSetTextLibraryPath("");
    HsSetStartScriptAnswer(0x00050000); // low 16 bits zero: a start
    IdleAfter(1000);
    EXPECT_EQ(Count("-getActiveTriggerCount"), "0");
    EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getRouserEventID"), "4242");
    HsSetStartScriptAnswer(std::nullopt);
}

TEST_F(FiringTest, DisabledTriggersHoldEveryEventUntilEnabled)
{
    Start(49);
    EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "4242");
    EXPECT_EQ(Call(kControl, "-DisableLocalTriggers|secret"), "0");
    EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "-4220");
    for (int poll = 0; poll < 5; poll++)
        IdleAfter(1000);
    EXPECT_EQ(Starts(), 0u);
    EXPECT_EQ(Call(kControl, "-EnableLocalTriggers|secret"), "0");
    IdleAfter(1000);
    EXPECT_EQ(Starts(), 1u);
}

TEST_F(FiringTest, PollingGoesOnAcrossTheTicksWrap)
{
    Start(49);
    HsSetMilliseconds(0xFFFFFFFFu - 10); // Ticks at their highest, 257698035
    IdleAfter(0);
    EXPECT_GT(NextPollTicks, 257698035u);
    EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "4242");
    IdleAfter(100); // the counter wraps and Ticks fall back to a few
    EXPECT_LT(QuGetTicks(), 100u);
    EXPECT_EQ(Starts(), 1u);
    EXPECT_EQ(NextPollTicks, QuGetTicks() + 40) << "polls keep their interval after the wrap";
}

TEST_F(FiringTest, NestedDirectStartsStopAtFive)
{
    Start(49);
    EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "4242");
    int depth = 0, deepest = 0;
    // The host calls back while each script starts; the event is still
    // pending, so every nested poll picks it again.
    HsSetStartHook([&](const HsScriptStart &) {
        deepest = std::max(deepest, ++depth);
        IdleAfter(1000);
        depth--;
    });
    IdleAfter(1000);
    HsSetStartHook(nullptr);
    EXPECT_EQ(deepest, 5);
    EXPECT_EQ(Starts(), 5u) << "the sixth nested firing starts nothing";
    EXPECT_EQ(Count(), "1");
    EXPECT_EQ(Count("-getActiveTriggerCount"), "0");
}

// An event whose start fails is tried again, but only when no other due
// event waits, and failed events take turns; events never tried keep the
// usual order.
TEST_F(FiringTest, FailingStartWaitsItsTurn)
{
    Start(50);
    Call(kVersion, "-usealternatetriggermethod");
    // By slot: two that fail (no such file on this host), then two that start.
    for (const char *file : {"Gone.fp5", "Lost.fp5", "Orders.fp5", "Orders.fp5"})
        Call(kScheduleEvent, Schedule(0, file, "Print"));
    Call(kScheduleEvent, Schedule(60, "Orders.fp5", "Report")); // due from the sixth poll on
    // What each poll tries to start.
    const char *const tried[] = {"Gone.fp5/Print",   "Lost.fp5/Print", "Orders.fp5/Print",
                                 "Orders.fp5/Print", "Gone.fp5/Print", "Orders.fp5/Report",
                                 "Lost.fp5/Print",   "Gone.fp5/Print"};
    HsTakeCallbacks();
    int poll = 0;
    for (const char *expected : tried) {
        if (++poll == 6)
            HsSetClockSeconds(kNow1970 + 60);
        IdleAfter(2000);
        std::vector<HsCallback> calls = HsTakeCallbacks();
        ASSERT_EQ(calls.size(), 1u) << expected;
        EXPECT_EQ(calls[0].fileText + "/" + calls[0].scriptText, expected);
    }
    EXPECT_EQ(Count("-getActiveTriggerCount"), "2");
}

// A started script whose triggered mark cannot be recorded is not started
// again: the mark is recorded at the next poll, and only the poll after
// that fires the next event.
TEST_F(FiringTest, StartedEventIsMarkedBeforeAnythingStartsAgain)
{
    for (int16_t version : {50, 14}) {
        Start(version);
        Call(kVersion, "-usealternatetriggermethod");
        Call(kScheduleEvent, Schedule(0));
        Call(kScheduleEvent, Schedule(0, "Orders.fp5", "Report"));
        HsTakeStarts();
        // The callbacks of the save that ends a poll which changed the table,
        // counted while events are held, so that nothing fires.
        Call(kControl, "-DisableLocalTriggers|held");
        ASSERT_TRUE(EventTable.changed) << "the scheduling awaits its save";
        HsFailNthFallible(1000000);
        IdleAfter(2000);
        const int64_t save = HsFallibleCount();
        HsFailNthFallible(0);
        Call(kControl, "-EnableLocalTriggers|held");
        // Count the callbacks of a clean poll; the last one before the save
        // is the mark's lock.
        int64_t before = 0;
        HsFailNthFallible(1000000);
        IdleAfter(2000);
        before = HsFallibleCount() - save;
        HsFailNthFallible(0);
        ASSERT_EQ(HsTakeStarts().size(), 1u);
        HsFailNthFallible(before); // the same again, for the second event
        IdleAfter(2000);
        ASSERT_TRUE(HsFaultInjected()) << version;
        HsFailNthFallible(0);
        EXPECT_EQ(HsTakeStarts().size(), 1u) << version;
        EXPECT_EQ(Count("-getActiveTriggerCount"), "1") << "not marked yet, host version " << version;
        IdleAfter(2000);
        EXPECT_EQ(HsTakeStarts().size(), 0u) << "started again, host version " << version;
        EXPECT_EQ(Count("-getActiveTriggerCount"), "0") << version;
        EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getRouserEventID"), "4243") << version;
        HsShutdown();
        EmptyHostFolder();
    }
}

TEST_F(FiringTest, ScheduleEventRules)
{
    Start(49);
    const std::string day = std::to_string(kDay);
    const int64_t noon = kNow1970 % 86400;
    const struct {
        std::string parameter, answer;
    } cases[] = {
        {"", "$$-50"},
        {"-addEvent|" + day + "|" + std::to_string(noon) + "|F|S", "$$-50"},
        {"-addSingleEvent|" + day + "|" + std::to_string(noon), "$$-50"},       // nothing after the time
        {"-addSingleEvent|" + day + "|" + std::to_string(noon) + "|", "$$-50"}, // separator, then nothing
        {"-addSingleEvent|" + day + "|" + std::to_string(noon) + "||S", "$$-50"},
        {"-addSingleEvent|" + day + "|" + std::to_string(noon) + "|F|", "$$-50"},
        {"-addSingleEvent|" + day + "|" + std::to_string(noon - 1) + "|F|S", "$$-4226"},
        {"-addSingleEvent|" + day + "|-5|F|S", "$$-4226"},                 // -5 counts as 0
        {"-addSingleEvent|x|" + std::to_string(noon) + "|F|S", "$$-4226"}, // no date: 1904
        {"-addSingleEvent|" + day + "|" + std::to_string(noon) + "|F|S", "4242"},
        {"-addSingleEvent|" + day + "|" + std::to_string(noon + 90000) + "|F|S|id|free|more", "4243"},
        {"-ADDSINGLEEVENT -triggerPastEventAfterRestart|" + std::to_string(kDay + 1) + "|0|F|S", "4244"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Call(kScheduleEvent, c.parameter), c.answer) << c.parameter;
    EXPECT_EQ(Call(kGetEventInfo, "-byEventID -getYourID|4243"), "id");
    EXPECT_EQ(Call(kGetEventInfo, "-byEventID -getYourText|4243"), "free|more");
    EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), "3");
}

TEST_F(FiringTest, FullTableAndMemoryErrorsWhileScheduling)
{
    Start(50);
    Call(kVersion, "-usealternatetriggermethod");
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(Call(kScheduleEvent, Schedule(3600)), std::to_string(4242 + i));
    EXPECT_EQ(Call(kScheduleEvent, Schedule(3600)), "$$-4223");
    Call(2, "-deleteAllEvents");
    int64_t n = 1;
    for (; n < 100; n++) {
        HsFailNthFallible(n);
        Call(kScheduleEvent, Schedule(3600));
        bool injected = HsFaultInjected();
        HsFailNthFallible(0);
        ExpectHostRulesKept();
        EXPECT_EQ(HsLockedHandles(), 0);
        // The table and one text for every event it counts, nothing else.
        EXPECT_EQ(HsLiveHandles(), 1 + EventTable.count) << "failing callback " << n;
        if (!injected)
            break;
    }
    EXPECT_GT(n, 2);
}

TEST_F(FiringTest, SpeedTestMeasuresTheWaitForTheIdlePoll)
{
    Start(50);
    EXPECT_EQ(Call(kVersion, "-returnSpeedTest_ElapsedTicks"), "0") << "before any direct start";
    EXPECT_EQ(Call(kVersion, "-usealternatetriggermethod -returnSpeedTest_ElapsedTicks"), "0");
    EXPECT_EQ(UseAlternateTriggerMethod, 1);
    EXPECT_EQ(Call(kScheduleEvent, Schedule(0)), "4242");
    IdleAfter(1000); // 60 ticks later
    EXPECT_EQ(Starts(), 1u);
    EXPECT_EQ(Call(kVersion, "-returnSpeedTest_ElapsedTicks"), "60");
}

} // namespace
