// Repeating events end to end through the entry point on the simulated
// clock, and what "Rous-GetEventInfo" lists and reads of the schedule.
#include "events.h"

#include "hostsim/hostsim.h"

namespace {


// Noon of 7 December 2026 on the local clock, as seconds since 1970.
const int64_t kNoon1970 = 1796083200 + 12 * 3600;

// Day number and second of the day of a clock reading (seconds since 1970).
std::string DateTime(int64_t at1970)
{
    return std::to_string(at1970 / 86400 + 719163) + "|" + std::to_string(at1970 % 86400);
}

// The host's timestamp number of a clock reading.
std::string Timestamp(int64_t at1970)
{
    return std::to_string(at1970 + 62135596800ll);
}

class RepeatingTest : public PluginTest {
protected:
    int64_t now = kNoon1970;
    void SetUp() override
    {
        PluginTest::SetUp();
        HsSetClockSeconds(now);
        HsOpenFile("Orders", {"Report"});
        HsTakeStarts();
    }
    std::string Call(uint32_t index, const std::string &parameter)
    {
        return HsCallFunction(index, parameter).text;
    }
    std::string Schedule(const std::string &options, int64_t first1970, const std::string &file = "Orders")
    {
        return Call(kScheduleEvent, options + "|" + DateTime(first1970) + "|" + file + "|Report|");
    }
    std::string Info(const std::string &options, const std::string &id = "4242")
    {
        return Call(kGetEventInfo, options + "|" + id);
    }
    // The clock moves on; one idle call then polls.
    size_t After(int64_t seconds)
    {
        now += seconds;
        HsSetClockSeconds(now);
        HsAdvanceMilliseconds(1000);
        HsIdle(0);
        return HsTakeStarts().size();
    }
    void Restart(int64_t downFor)
    {
        HsShutdown();
        now += downFor;
        HsSetClockSeconds(now);
        QuResetLoadState();
        ASSERT_EQ(HsStartup(50), 4);
        HsTakeStarts();
    }
};

TEST_F(RepeatingTest, EveryMinuteFiresOnceAMinuteForAHundredOccurrences)
{
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1m", now + 60), "4242");
    size_t starts = 0, early = 0;
    for (int i = 1; i <= 100; i++) {
        early += After(30);
        starts += After(30);
        ASSERT_EQ(Info("-byEventID -getDueTimestamp"), Timestamp(kNoon1970 + 60 * (i + 1))) << i;
    }
    EXPECT_EQ(starts, 100u);
    EXPECT_EQ(early, 0u);
    EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getRouserEventID"), "4242");
    EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), "1");
    EXPECT_EQ(Info("-byEventID -getState"), "pending");
    EXPECT_EQ(Info("-byEventID -getEvery"), "1m");
    // Ended by its ID: nothing fires any more.
    EXPECT_EQ(Call(kDeleteEvent, "-deleteByID|4242"), "0");
    EXPECT_EQ(After(60) + After(60), 0u);
    EXPECT_EQ(Call(kGetEventInfo, "-listEventIDs"), "");
}

TEST_F(RepeatingTest, HoldOrBusyHostFiresOnceNotInABurst)
{
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1m", now + 60), "4242");
    EXPECT_EQ(Call(kControl, "-DisableLocalTriggers|night"), "0");
    size_t held = 0;
    for (int i = 0; i < 20; i++)
        held += After(30);
    EXPECT_EQ(held, 0u);
    EXPECT_EQ(Call(kControl, "-EnableLocalTriggers|night"), "0");
    EXPECT_EQ(After(1), 1u);
    EXPECT_EQ(After(1) + After(1), 0u);
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Timestamp(kNoon1970 + 11 * 60));
    EXPECT_EQ(After(58), 1u);
    // A busy host: no idle call for ten minutes, then one start.
    now += 600;
    EXPECT_EQ(After(0), 1u);
    EXPECT_EQ(After(1), 0u);
}

TEST_F(RepeatingTest, RefusedStartIsRetriedUntilTheNextOccurrenceThenSkipsIt)
{
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1m", now + 60), "4242");
    HsSetStartScriptAnswer(3); // the host refuses for now
    EXPECT_EQ(After(60), 0u);
    EXPECT_EQ(HsTakeCallbacks().size(), 1u);
    EXPECT_EQ(After(10), 0u);
    EXPECT_EQ(HsTakeCallbacks().size(), 1u) << "tried again like a single event";
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Timestamp(kNoon1970 + 60));
    EXPECT_EQ(After(55), 0u); // the next occurrence came due while refused
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Timestamp(kNoon1970 + 120));
    HsSetStartScriptAnswer(std::nullopt);
    EXPECT_EQ(After(1), 1u);
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Timestamp(kNoon1970 + 180));
    EXPECT_EQ(Info("-byEventID -getState"), "pending");
}

TEST_F(RepeatingTest, AFileNotOpenSkipsAnOccurrenceAndTheSeriesGoesOn)
{
    HsShutdown();
    QuResetLoadState();
    ASSERT_EQ(HsStartup(49), 4); // the old host's callbacks: a closed file is -4232
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1h", now + 3600, "Closed"), "4242");
    EXPECT_EQ(Schedule("-addSingleEvent", now + 3600, "Closed"), "4243");
    EXPECT_EQ(After(3600) + After(1) + After(1), 0u);
    EXPECT_EQ(Call(kGetEventInfo, "-listEventIDs"), "4242") << "the single one is removed";
    EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Timestamp(kNoon1970 + 7200));
    EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getRouserEventID"), "$$-1");
    HsOpenFile("Closed", {"Report"});
    EXPECT_EQ(After(3600), 1u);
}

TEST_F(RepeatingTest, MonthlyFrom31JanuaryLandsOnShorterMonthsLastDay)
{
    // 31 January 2027 09:00 and the days each next occurrence falls on.
    const int64_t first = (740012 - 719163) * 86400ll + 9 * 3600;
    const int64_t days[] = {740040, 740071, 740101, 740132, 740162, 740193, 740224,
                            740254, 740285, 740315, 740346, 740377, 740406, 740437};
    EXPECT_EQ(Schedule("-addRepeatingEvent -every 1mo", first), "4242");
    EXPECT_EQ(Info("-byEventID -getEvery"), "1mo");
    int64_t due = first;
    for (int64_t day : days) {
        EXPECT_EQ(After(due - now - 1), 0u);
        EXPECT_EQ(After(1), 1u) << "due " << due;
        due = (day - 719163) * 86400 + 9 * 3600;
        EXPECT_EQ(Info("-byEventID -getDueTimestamp"), Timestamp(due)) << "day " << day;
    }
}

TEST_F(RepeatingTest, RestartAcrossPassedOccurrencesFiresOnlyWhenAsked)
{
    for (const char *options :
         {"-addRepeatingEvent -every 1h", "-addRepeatingEvent -every 1h -triggerPastEventAfterRestart"}) {
        bool late = std::string(options).find("-trigger") != std::string::npos;
        EXPECT_EQ(Call(kDeleteEvent, "-deleteAllEvents"), "0");
        std::string id = Schedule(options, now + 3600);
        Restart(3 * 3600 + 1800); // three occurrences pass
        EXPECT_EQ(Info("-byEventID -getState", id), "pending") << options;
        EXPECT_EQ(After(1) + After(1) + After(1), late ? 1u : 0u) << options;
        int64_t next = now - 3 - 1800 + 3600;
        EXPECT_EQ(Info("-byEventID -getDueTimestamp", id), Timestamp(next)) << options;
        EXPECT_EQ(After(next - now), 1u) << options;
        // Never removed with the fired and missed ones.
        EXPECT_EQ(Call(kDeleteEvent, "-deleteAllTriggeredEvents"), "0");
        EXPECT_EQ(Call(kGetEventInfo, "-listEventIDs"), id) << options;
    }
}

TEST_F(RepeatingTest, SchedulingChecksKindIntervalAndWindow)
{
    const int64_t day = 86400;
    struct Case {
        const char *options;
        int64_t first; // from now
        const char *answer;
        int64_t due; // from now, when scheduled
        const char *every;
    } cases[] = {
        {"-addRepeatingEvent", 60, "$$-50", 0, ""},
        {"-addRepeatingEvent -every 0s", 60, "$$-50", 0, ""},
        {"-addRepeatingEvent -every 65536s", 60, "$$-50", 0, ""},
        {"-addRepeatingEvent -every 1x", 60, "$$-50", 0, ""},
        {"-addSingleEvent -every 1d", 60, "$$-50", 0, ""},
        {"-addSingleEvent -addRepeatingEvent -every 1d", 60, "$$-50", 0, ""},
        {"-addSingleEvent", -60, "$$-4226", 0, ""},
        // A first occurrence that passed: the first one from now on.
        {"-addRepeatingEvent -every 1d", -100 * day - 3600, "added", day - 3600, "1d"},
        {"-addRepeatingEvent -every 2s", -61, "added", 1, "2s"},
        {"-addRepeatingEvent -every 1h", 0, "added", 0, "1h"},
        // Past 2040, and the end of the window.
        {"-addSingleEvent", 20 * 365 * day, "added", 20 * 365 * day, ""},
        {"-addSingleEvent", 73 * 365 * day, "added", 73 * 365 * day, ""},
        {"-addRepeatingEvent -every 1w", 100 * 365 * day, "added", 100 * 365 * day, "1w"},
        {"-addSingleEvent", 110 * 365 * day, "$$-4260", 0, ""},
        {"-addRepeatingEvent -every 1d", 110 * 365 * day, "$$-4260", 0, ""},
    };
    HsSetStartScriptAnswer(3); // nothing fires while we look
    for (const Case &c : cases) {
        Call(kDeleteEvent, "-deleteAllEvents");
        std::string answer = Schedule(c.options, now + c.first);
        bool added = answer[0] != '$';
        EXPECT_EQ(added ? "added" : answer, c.answer) << c.options << " " << c.first;
        EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), added ? "1" : "0") << c.options;
        if (added) {
            EXPECT_EQ(Info("-byEventID -getDueTimestamp", answer), Timestamp(now + c.due)) << c.options;
            EXPECT_EQ(Info("-byEventID -getEvery", answer), c.every) << c.options;
        }
    }
    HsSetStartScriptAnswer(std::nullopt);
}

TEST_F(RepeatingTest, ClockIn2039To2041AcrossARestart)
{
    // Noon on 2 July 2039, 6 February 2040 (the day the old count ends),
    // 2 July 2040 and 2 July 2041: a single event a day ahead and a series.
    for (int64_t day : {744547ll, 744766ll, 744913ll, 745278ll}) {
        Call(kDeleteEvent, "-deleteAllEvents");
        now = (day - 719163) * 86400 + 12 * 3600;
        HsSetClockSeconds(now);
        std::string single = Schedule("-addSingleEvent", now + 86400);
        std::string repeating = Schedule("-addRepeatingEvent -every 12h", now + 3600);
        EXPECT_NE(repeating[0], '$') << day;
        Restart(3600 + 60);
        EXPECT_EQ(Call(kGetEventInfo, "-getActiveTriggerCount"), "2") << day;
        EXPECT_EQ(Info("-byEventID -getDueTimestamp", repeating), Timestamp(now - 60 + 12 * 3600)) << day;
        EXPECT_EQ(After(86400 - 3660 - 1), 1u) << day; // the series, at its next occurrence
        EXPECT_EQ(After(1), 1u) << day;                // the single one
        EXPECT_EQ(Info("-byEventID -getState", single), "fired") << day;
    }
}

class ScheduleListTest : public EventTest {};

TEST_F(ScheduleListTest, ListsByDueTimeThenIDAndReadsEachEvent)
{
    AddStandardEvents(); // 4242 pending, 4243 an hour on, 4244 fired, 4245 silent, 4246 missed
    uint32_t id;
    AddEvent(kDue1, 0, "Tie|Same due as 4242", &id);
    EXPECT_EQ(Call(kDeleteEvent, "-deleteByID|4243"), "0"); // 4247 moves into its slot
    AddEvent(0x00000010u, 0, "Late|After 2040", &id);       // stored below the old end: 2040
    const int64_t ts1 = 63932198400ll;                      // kDue1 as the host's timestamp
    struct Step {
        std::string parameter, answer;
    } steps[] = {
        {"-listEventIDs", "4246\r4245\r4242\r4247\r4244\r4248"},
        {"-getTriggerCount -listEventIDs", "6"},
        {"-byEventID -getDueTimestamp|4242", std::to_string(ts1)},
        {"-byEventID -getDueTimestamp|4246", std::to_string(ts1 - 86400)},
        {"-byEventID -getDueTimestamp|4248", std::to_string(ts1 - 3879446400ll + 0x100000010ll)},
        {"-byEventID -getState|4242", "pending"},
        {"-byEventID -getState|4244", "fired"},
        {"-byEventID -getState|4245", "silent"},
        {"-byEventID -getState|4246", "missed"},
        {"-byEventID -getFileName|4242", "file"},
        {"-byEventID -getScriptName|4242", "script"},
        {"-byEventID -getScriptName|4247", "Same due as 4242"},
        {"-lastTriggered -getFileName", "f"},
        {"-firstSilentEvent -getDueTimestamp", std::to_string(ts1 - 60)},
        {"-byEventID -getEvery|4242", ""},
        {"-byEventID -getState -getEvery|4242", "$$-50"},
        {"-byEventID -getState -getYourID|4242", "$$-50"},
        {"-byEventID -getState|4299", "$$-1"},
        {"-byEventID -getFileName -deletethisevent|4247", "Tie"},
        {"-listEventIDs", "4246\r4245\r4242\r4244\r4248"},
    };
    for (const Step &s : steps)
        EXPECT_EQ(Call(kGetEventInfo, s.parameter), s.answer) << s.parameter;
    Inside([] { QuDeleteAllEvents(); });
    EXPECT_EQ(Call(kGetEventInfo, "-listEventIDs"), "");
}

TEST_F(ScheduleListTest, ListOfAFullTable)
{
    Inside([] {
        QuDisposeEventTable();
        QuResetEventTable();
        QuCreateEventTable();
    });
    // Due times falling back, so that the list runs against slot order.
    std::string expected;
    for (uint32_t i = 0; i < 1000; i++) {
        ASSERT_EQ(AddEvent(kDue1 + 1000 - i, 0, "f|s"), 0);
        expected = std::to_string(4242 + i) + (i == 0 ? "" : "\r") + expected;
    }
    EXPECT_EQ(Call(kGetEventInfo, "-listEventIDs"), expected);
}

} // namespace
