// Repeating events end to end through the entry point on the simulated
// clock, and what "Rous-GetEventInfo" lists and reads of the schedule.
#include "events.h"

namespace {

const int64_t kNoon1970 = 1796083200 + 12 * 3600; // 7 December 2026, local
// Braced lists run their calls in order.
using Starts = std::vector<size_t>;
using Answers = std::vector<std::string>;

class RepeatingTest : public PluginTest {
protected:
    int64_t now = kNoon1970;
    void SetUp() override
    {
        PluginTest::SetUp();
        HsSetClockSeconds(now);
        HsOpenFile("Orders", {"Report"});
    }
    // Day number and second of the day, and the host's timestamp number, of
    // a clock reading (seconds since 1970).
    static std::string DateTime(int64_t at)
    {
        return std::to_string(at / 86400 + 719163) + "|" + std::to_string(at % 86400);
    }
    static std::string Stamp(int64_t at) { return std::to_string(at + 62135596800ll); }
    std::string Schedule(const std::string &options, int64_t first, const std::string &file = "Orders")
    {
        return Call(kScheduleEvent, options + "|" + DateTime(first) + "|" + file + "|Report|");
    }
    std::string Info(const std::string &options, const std::string &id = "4242")
    {
        return Call(kGetEventInfo, options + "|" + id);
    }
    // The clock moves on, then one idle call polls: the scripts it started.
    size_t After(int64_t seconds)
    {
        HsSetClockSeconds(now += seconds);
        HsAdvanceMilliseconds(1000);
        HsIdle(0);
        return HsTakeStarts().size();
    }
    void Restart(int16_t version, int64_t downFor)
    {
        HsShutdown();
        HsSetClockSeconds(now += downFor);
        QuResetLoadState();
        ASSERT_EQ(HsStartup(version), 4);
    }
};

TEST_F(RepeatingTest, EveryMinuteAHundredTimesThenDeletedByID)
{
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1m", now + 60), "4242");
    size_t starts = 0, early = 0;
    for (int i = 1; i <= 100; i++) {
        early += After(30);
        starts += After(30);
        ASSERT_EQ(Info("-byEventID -getDueTimestamp"), Stamp(kNoon1970 + 60 * (i + 1))) << i;
    }
    EXPECT_EQ(starts, 100u);
    EXPECT_EQ(early, 0u);
    EXPECT_EQ((Answers{Call(kGetEventInfo, "-lastTriggered -getRouserEventID"),
                       Call(kGetEventInfo, "-getTriggerCount"), Info("-byEventID -getState"),
                       Info("-byEventID -getEvery")}),
              (Answers{"4242", "1", "pending", "1m"}));
    EXPECT_EQ(Call(kDeleteEvent, "-deleteByID|4242"), "0");
    EXPECT_EQ(After(60) + After(60), 0u);
}

TEST_F(RepeatingTest, HeldOrBusyFiresOnceNotInABurst)
{
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1m", now + 60), "4242");
    EXPECT_EQ(Call(kControl, "-DisableLocalTriggers|night"), "0");
    size_t starts = 0;
    for (int i = 0; i < 20; i++) // ten minutes
        starts += After(30);
    EXPECT_EQ(Call(kControl, "-EnableLocalTriggers|night"), "0");
    EXPECT_EQ(starts, 0u);
    EXPECT_EQ((Starts{After(1), After(1)}), (Starts{1, 0}));
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Stamp(kNoon1970 + 11 * 60));
    now += 600; // a busy host: no idle call for ten minutes
    EXPECT_EQ((Starts{After(0), After(1)}), (Starts{1, 0}));
}

TEST_F(RepeatingTest, RefusedStartRetriedUntilTheNextOccurrenceThenSkipped)
{
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1m", now + 60), "4242");
    HsSetStartScriptAnswer(3); // the host refuses for now
    EXPECT_EQ(After(60) + After(10), 0u);
    EXPECT_EQ(HsTakeCallbacks().size(), 2u) << "tried again like a single event";
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Stamp(kNoon1970 + 60));
    EXPECT_EQ(After(55), 0u);
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Stamp(kNoon1970 + 120)) << "the next came due";
    HsSetStartScriptAnswer(std::nullopt);
    EXPECT_EQ(After(1), 1u);
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Stamp(kNoon1970 + 180));
}

TEST_F(RepeatingTest, AFileNotOpenSkipsAnOccurrenceAndTheSeriesGoesOn)
{
    Restart(49, 0); // the old host's callbacks: a closed file is -4232
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1h", now + 3600, "Closed"), "4242");
    EXPECT_EQ(Schedule("-addSingleEvent", now + 3600, "Closed"), "4243");
    EXPECT_EQ(After(3600) + After(1) + After(1), 0u);
    EXPECT_EQ(Call(kGetEventInfo, "-listEventIDs"), "4242") << "the single one is removed";
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Stamp(kNoon1970 + 7200));
    HsOpenFile("Closed", {"Report"});
    EXPECT_EQ(After(3600), 1u);
}

TEST_F(RepeatingTest, MonthlyFrom31JanuaryLandsOnShorterMonthsLastDay)
{
    const int64_t nine = 9 * 3600, days[] = {740012, 740040, 740071, 740101, 740132, 740162, 740193, 740224,
                                             740254, 740285, 740315, 740346, 740377, 740406, 740437};
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1mo", (days[0] - 719163) * 86400 + nine), "4242");
    for (int i = 1; i < 15; i++) {
        int64_t due = (days[i - 1] - 719163) * 86400 + nine;
        EXPECT_EQ((Starts{After(due - now - 1), After(1)}), (Starts{0, 1})) << "day " << days[i - 1];
        EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Stamp((days[i] - 719163) * 86400 + nine)) << days[i];
    }
}

TEST_F(RepeatingTest, RestartAcrossPassedOccurrencesFiresOnlyWhenAsked)
{
    for (bool late : {false, true}) {
        Call(kDeleteEvent, "-deleteAllEvents");
        std::string id = Schedule(late ? "-addRepeatingEvent -every 1h -triggerPastEventAfterRestart"
                                       : "-addRepeatingEvent -every 1h",
                                  now + 3600);
        int64_t next = now + 4 * 3600;
        Restart(50, 3 * 3600 + 1800); // three occurrences pass
        EXPECT_EQ(Info("-byEventID -getState", id), "pending");
        EXPECT_EQ(After(1) + After(1) + After(1), late ? 1u : 0u) << late;
        EXPECT_EQ(Info("-byEventID -getDueTimestamp", id), Stamp(next)) << late;
        EXPECT_EQ(After(next - now), 1u) << late;
        EXPECT_EQ(
            (Answers{Call(kDeleteEvent, "-deleteAllTriggeredEvents"), Call(kGetEventInfo, "-listEventIDs")}),
            (Answers{"0", id}));
    }
}

TEST_F(RepeatingTest, SchedulingChecksKindIntervalAndWindow)
{
    const int64_t day = 86400;
    const struct {
        const char *options;
        int64_t first, due; // from now
        const char *answer;
    } cases[] = {
        {"-addRepeatingEvent", 60, 0, "$$-50"},
        {"-addRepeatingEvent -every 0s", 60, 0, "$$-50"},
        {"-addRepeatingEvent -every 1x", 60, 0, "$$-50"},
        {"-addSingleEvent -every 1d", 60, 0, "$$-50"},
        {"-addSingleEvent -addRepeatingEvent -every 1d", 60, 0, "$$-50"},
        {"-addSingleEvent", -60, 0, "$$-4226"},
        // A first occurrence that passed: the first one from now on.
        {"-addRepeatingEvent -every 1d", -100 * day - 3600, day - 3600, "1d"},
        {"-addRepeatingEvent -every 2s", -61, 1, "2s"},
        {"-addRepeatingEvent -every 1h", 0, 0, "1h"},
        // Past 2040, and the end of the window in 2136.
        {"-addSingleEvent", 20 * 365 * day, 20 * 365 * day, ""},
        {"-addRepeatingEvent -every 1w", 100 * 365 * day, 100 * 365 * day, "1w"},
        {"-addSingleEvent", 110 * 365 * day, 0, "$$-4260"},
        {"-addRepeatingEvent -every 1d", 110 * 365 * day, 0, "$$-4260"},
    };
    HsSetStartScriptAnswer(3); // nothing fires while we look
    for (const auto &c : cases) {
        Call(kDeleteEvent, "-deleteAllEvents");
        std::string id = Schedule(c.options, now + c.first);
        bool added = id[0] != '$';
        EXPECT_EQ(added ? Info("-byEventID -getEvery", id) : id, c.answer) << c.options << " " << c.first;
        EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), added ? "1" : "0") << c.options;
        EXPECT_TRUE(!added || Info("-byEventID -getDueTimestamp", id) == Stamp(now + c.due)) << c.options;
    }
    // No date from 1904 on: a series would not know where it starts.
    for (const char *date : {"", "3/1/2024", "695055"})
        EXPECT_EQ(Call(kScheduleEvent,
                       std::string("-addRepeatingEvent -every 1d|") + date + "|32400|Orders|Report|"),
                  "$$-50")
            << date;
    EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), "0");
    HsSetStartScriptAnswer(std::nullopt);
}

TEST_F(RepeatingTest, ClockIn2039To2041AcrossARestart)
{
    // Noon on 2 July 2039, 6 February 2040 (the day the old count ends),
    // 2 July 2040 and 2 July 2041: a single event a day ahead and a series.
    for (int64_t day : {744547ll, 744766ll, 744913ll, 745278ll}) {
        Call(kDeleteEvent, "-deleteAllEvents");
        HsSetClockSeconds(now = (day - 719163) * 86400 + 12 * 3600);
        std::string single = Schedule("-addSingleEvent", now + 86400);
        std::string series = Schedule("-addRepeatingEvent -every 12h", now + 3600);
        Restart(50, 3660);
        EXPECT_EQ(Call(kGetEventInfo, "-getActiveTriggerCount"), "2") << day;
        EXPECT_EQ(Info("-byEventID -getDueTimestamp", series), Stamp(now - 60 + 12 * 3600)) << day;
        EXPECT_EQ((Starts{After(86400 - 3661), After(1)}), (Starts{1, 1}))
            << day; // the series, then the single one
        EXPECT_EQ(Info("-byEventID -getState", single), "fired") << day;
    }
}

class ScheduleListTest : public EventTest {};

TEST_F(ScheduleListTest, ListsByDueTimeThenIDAndReadsEachEvent)
{
    AddStandardEvents(); // 4242 pending, 4243 an hour on, 4244 fired, 4245 silent, 4246 missed
    AddEvent(kDue1, 0, "Tie|Same due as 4242");
    EXPECT_EQ(Call(kDeleteEvent, "-deleteByID|4243"), "0"); // 4247 moves into its slot
    AddEvent(0x10u, 0, "Late|After 2040");                  // stored below the old end
    const int64_t ts = 63932198400ll;                       // kDue1 as the host's timestamp
    const std::string steps[][2] = {
        {"-listEventIDs", "4246\r4245\r4242\r4247\r4244\r4248"},
        {"-getTriggerCount -listEventIDs", "6"},
        {"-byEventID -getDueTimestamp|4242", std::to_string(ts)},
        {"-byEventID -getDueTimestamp|4248", std::to_string(ts - kDue1 + 0x100000010ll)},
        {"-firstSilentEvent -getDueTimestamp", std::to_string(ts - 60)},
        {"-byEventID -getState|4242", "pending"},
        {"-byEventID -getState|4244", "fired"},
        {"-byEventID -getState|4245", "silent"},
        {"-byEventID -getState|4246", "missed"},
        {"-byEventID -getFileName|4242", "file"},
        {"-byEventID -getScriptName|4247", "Same due as 4242"},
        {"-lastTriggered -getFileName", "f"},
        {"-byEventID -getEvery|4242", ""},
        {"-byEventID -getState -getEvery|4242", "$$-50"},
        {"-byEventID -getState|4299", "$$-1"},
        {"-byEventID -getFileName -deletethisevent|4247", "Tie"},
        {"-listEventIDs", "4246\r4245\r4242\r4244\r4248"},
    };
    for (const auto &s : steps)
        EXPECT_EQ(Call(kGetEventInfo, s[0]), s[1]) << s[0];
    Call(kDeleteEvent, "-deleteAllEvents");
    EXPECT_EQ(Call(kGetEventInfo, "-listEventIDs"), "");
    // A full table, due times falling back against the slot order.
    std::string expected;
    for (uint32_t i = 0; i < 1000; i++) {
        ASSERT_EQ(AddEvent(kDue1 + 1000 - i, 0, "f|s"), 0);
        expected = std::to_string(4249 + i) + (i == 0 ? "" : "\r") + expected;
    }
    EXPECT_EQ(Call(kGetEventInfo, "-listEventIDs"), expected);
}

} // namespace
