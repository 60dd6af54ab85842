// The interval of a repeating event, its 4 bytes, the next occurrence on the
// wall clock, and the window in which stored due times are read.
#include <gtest/gtest.h>

#include "frame/plugin_frame.h"
#include "scheduler/event_table.h"
#include "scheduler/repeat.h"

namespace {

// Seconds since 1904 of a FileMaker day number and a time of day.
int64_t At(int64_t day, int64_t seconds = 0)
{
    return (day - 695056) * 86400 + seconds;
}

const int64_t kNine = 9 * 3600;

TEST(Repeat, ParsesEveryAndRefusesWhatTheEntryCannotHold)
{
    struct Case {
        const char *options;
        int32_t status;
        bool found;
        int32_t unit;
        uint32_t count;
    } cases[] = {
        {"-addRepeatingEvent", 0, false, kEveryNone, 0},
        {"-addRepeatingEvent -every 1d", 0, true, kEveryDays, 1},
        {"-every 15m -triggerPastEventAfterRestart", 0, true, kEveryMinutes, 15},
        {"-EVERY 3MO", 0, true, kEveryMonths, 3},
        {"-every   2s   ", 0, true, kEverySeconds, 2},
        {"-every 1h", 0, true, kEveryHours, 1},
        {"-every 2w", 0, true, kEveryWeeks, 2},
        {"-every 65535s", 0, true, kEverySeconds, 65535},
        {"-every 49710d", 0, true, kEveryDays, 49710},   // just inside the window
        {"-every 49711d", kErrBadParameter, true, 0, 0}, // longer than the window
        {"-every 1603mo", 0, true, kEveryMonths, 1603},
        {"-every 1604mo", kErrBadParameter, true, 0, 0},
        {"-every 65536s", kErrBadParameter, true, 0, 0}, // more than the count holds
        {"-every 99999999999999999999s", kErrBadParameter, true, 0, 0},
        {"-every 0d", kErrBadParameter, true, 0, 0},
        {"-every d", kErrBadParameter, true, 0, 0},
        {"-every 5", kErrBadParameter, true, 0, 0},
        {"-every 5y", kErrBadParameter, true, 0, 0},
        {"-every 5 d", kErrBadParameter, true, 0, 0},
        {"-every 1.5h", kErrBadParameter, true, 0, 0},
        {"-every -5d", kErrBadParameter, true, 0, 0},
        {"-every 5dd", kErrBadParameter, true, 0, 0},
        {"-every", kErrBadParameter, true, 0, 0},
    };
    for (const Case &c : cases) {
        QuEvery every;
        bool found;
        EXPECT_EQ(QuParseEvery(c.options, &every, &found), c.status) << c.options;
        EXPECT_EQ(found, c.found) << c.options;
        EXPECT_EQ(every.unit, c.unit) << c.options;
        EXPECT_EQ(every.count, c.count) << c.options;
    }
}

TEST(Repeat, ReservedBytesRoundTripAndRejectStaleOnes)
{
    const QuEvery kinds[] = {{kEverySeconds, 2, 0}, {kEveryDays, 1, 0},      {kEveryWeeks, 7101, 0},
                             {kEveryMonths, 1, 31}, {kEveryMonths, 1603, 1}, {kEveryMinutes, 65535, 0}};
    const char *texts[] = {"2s", "1d", "7101w", "1mo", "1603mo", "65535m"};
    for (size_t i = 0; i < sizeof kinds / sizeof kinds[0]; i++) {
        for (uint32_t id : {4242u, 4243u, 0xFFFFFFFFu}) {
            uint32_t bytes = QuEncodeEvery(&kinds[i], id);
            QuEvery back;
            ASSERT_NE(bytes, 0u);
            ASSERT_TRUE(QuDecodeEvery(bytes, id, &back)) << texts[i];
            EXPECT_EQ(back.unit, kinds[i].unit);
            EXPECT_EQ(back.count, kinds[i].count);
            EXPECT_EQ(back.day, kinds[i].day);
            char text[kEveryTextSize];
            QuFormatEvery(&back, text);
            EXPECT_STREQ(text, texts[i]);
            // Moved onto another event by an older version: single there.
            EXPECT_FALSE(QuDecodeEvery(bytes, id + 1, &back)) << texts[i];
            EXPECT_EQ(back.unit, kEveryNone);
        }
    }
    QuEvery single = {kEveryNone, 0, 0}, back;
    EXPECT_EQ(QuEncodeEvery(&single, 4242), 0u);
    char text[kEveryTextSize];
    QuFormatEvery(&single, text);
    EXPECT_STREQ(text, "");
    // What files of the version before hold, and bytes that are no interval.
    uint32_t check = QuEncodeEvery(&kinds[1], 4242) & 0xFF;
    for (uint32_t bytes : {0u, 0xFFFFFFFFu, check, check | 7u << 13 | 1u << 16, check | 4u << 13,
                           check | 6u << 13 | 1u << 16, check | 4u << 13 | 5u << 8 | 1u << 16})
        EXPECT_FALSE(QuDecodeEvery(bytes, 4242, &back)) << bytes;
}

TEST(Repeat, MonthsKeepTheDayAndLandOnShorterMonthsLastDay)
{
    QuEvery monthly = {kEveryMonths, 1, 31};
    // From 31 January 2027 09:00, each next occurrence after the one before.
    const int64_t expected[] = {740040, 740071, 740101, 740132, 740162, 740193, 740224,
                                740254, 740285, 740315, 740346, 740377, 740406, 740437};
    int64_t due = At(740012, kNine);
    for (int64_t day : expected) {
        int64_t next = QuOccurrenceAfter(due, &monthly, due);
        EXPECT_EQ(next, At(day, kNine)) << "after day " << (due / 86400 + 695056);
        EXPECT_EQ(QuOccurrenceAtOrBefore(due, &monthly, next - 1), due);
        EXPECT_EQ(QuOccurrenceAtOrBefore(due, &monthly, next), next);
        due = next;
    }
    // Far ahead in one step, and from a base that was clamped.
    EXPECT_EQ(QuOccurrenceAfter(At(740012, kNine), &monthly, At(740405)), At(740406, kNine));
    EXPECT_EQ(QuOccurrenceAfter(At(740040, kNine), &monthly, At(740070)), At(740071, kNine));
    QuEvery quarterly = {kEveryMonths, 3, 30};
    EXPECT_EQ(QuOccurrenceAfter(At(740011, kNine), &quarterly, At(740011, kNine)), At(740101, kNine));
    EXPECT_EQ(QuOccurrenceAfter(At(740011, kNine), &quarterly, At(740011)), At(740011, kNine));
    // 2100 is no leap year.
    QuEvery feb = {kEveryMonths, 12, 29};
    EXPECT_EQ(QuOccurrenceAfter(At(740406), &feb, At(740406)), At(740771)); // 28 February 2029
    EXPECT_EQ(QuOccurrenceAfter(At(740406), &feb, At(766339)), At(766703)); // 28 February 2100
    EXPECT_EQ(QuDayOfMonth(At(740012, kNine)), 31);
    EXPECT_EQ(QuDayOfMonth(At(766704)), 1);
}

TEST(Repeat, FixedIntervalsStepFromTheirBase)
{
    struct Case {
        QuEvery every;
        int64_t base, after, next, atOrBefore;
    } cases[] = {
        {{kEveryMinutes, 1, 0}, 1000, 1000, 1060, 1000},       // the occurrence itself has passed
        {{kEveryMinutes, 1, 0}, 1000, 999, 1000, 1000},        // not yet
        {{kEveryMinutes, 1, 0}, 1000, 1000 + 600, 1660, 1600}, // ten passed: one next, not ten
        {{kEveryMinutes, 1, 0}, 1000, 1000 + 601, 1660, 1600},
        {{kEverySeconds, 2, 0}, 0, 7, 8, 6},
        {{kEveryDays, 1, 0}, At(739704, kNine), At(739704, kNine + 1), At(739705, kNine), At(739704, kNine)},
        // Local wall-clock time: a day is 86400 seconds on it whatever the
        // daylight-saving change did to the hours between.
        {{kEveryDays, 1, 0},
         At(739703, 2 * 3600 + 1800),
         At(739704, 3 * 3600),
         At(739705, 2 * 3600 + 1800),
         At(739704, 2 * 3600 + 1800)},
        {{kEveryWeeks, 2, 0},
         At(739957),
         At(739957 + 14 * 100),
         At(739957 + 14 * 101),
         At(739957 + 14 * 100)},
        // A base years back is caught up in one step.
        {{kEverySeconds, 1, 0}, 0, 7324496893ll, 7324496894ll, 7324496893ll},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(QuOccurrenceAfter(c.base, &c.every, c.after), c.next) << c.base << " " << c.after;
        EXPECT_EQ(QuOccurrenceAtOrBefore(c.base, &c.every, c.after), c.atOrBefore)
            << c.base << " " << c.after;
    }
}

TEST(Repeat, DueTimesAreReadInTheWindowFrom2000)
{
    struct Case {
        int64_t seconds; // since 1904
        bool inWindow;
        uint32_t stored;
    } cases[] = {
        {At(730120), true, kWindowStart1904},   // 1 January 2000, the first second
        {At(730120) - 1, false, 0},             // before it
        {At(744729, 86399), true, 4291833599u}, // 31 December 2039
        {0xFFFFFFFFll, true, 0xFFFFFFFFu},      // 6 February 2040 06:28:15, the old last second
        {0x100000000ll, true, 0},               // one more: stored as 0
        {At(745096, kNine), true, (uint32_t)(At(745096, kNine) - 0x100000000ll)}, // 2041
        {At(766704), true, (uint32_t)(At(766704) - 0x100000000ll)},               // 1 March 2100
        {At(779830, 6 * 3600 + 28 * 60 + 14), true, kWindowStart1904 - 2},        // the window's last
        {At(779830, 6 * 3600 + 28 * 60 + 15), false, 0},                          // stands for "no due time"
        {At(800000), false, 0},
    };
    for (const Case &c : cases) {
        uint32_t stored = 0;
        EXPECT_EQ(QuDueFromSeconds(c.seconds, &stored), c.inWindow) << c.seconds;
        if (!c.inWindow)
            continue;
        EXPECT_EQ(stored, c.stored) << c.seconds;
        EXPECT_EQ(QuDueSeconds(stored), c.seconds);
    }
    EXPECT_EQ(QuDueSeconds(kNoDueTime), At(779830, 6 * 3600 + 28 * 60 + 15));
    // Order across the old end: 2039 < 2040 < 2041 < 2136 < none.
    const uint32_t ordered[] = {kWindowStart1904,     4291833599u, 0xFFFFFFFFu, 0, 1000,
                                kWindowStart1904 - 2, kNoDueTime};
    for (size_t i = 0; i + 1 < sizeof ordered / sizeof ordered[0]; i++) {
        EXPECT_TRUE(QuDueBefore(ordered[i], ordered[i + 1])) << i;
        EXPECT_FALSE(QuDueBefore(ordered[i + 1], ordered[i])) << i;
        EXPECT_FALSE(QuDueBefore(ordered[i], ordered[i])) << i;
    }
}

} // namespace
