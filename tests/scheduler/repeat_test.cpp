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

TEST(Repeat, ParsesEveryAndRefusesWhatTheEntryCannotHold)
{
    const struct {
        const char *options;
        int32_t unit;
        uint32_t count;
    } good[] = {{"-addRepeatingEvent -every 1d", kEveryDays, 1},
                {"-every 15m -triggerPast", kEveryMinutes, 15},
                {"-EVERY 3MO", kEveryMonths, 3},
                {"-every   2s   ", kEverySeconds, 2},
                {"-every 4095s", kEverySeconds, 4095},
                {"-every 4095d", kEveryDays, 4095},
                {"-every 1603mo", kEveryMonths, 1603},
                {"-every 2w", kEveryWeeks, 2}};
    QuEvery every;
    bool found;
    for (const auto &c : good) {
        EXPECT_EQ(QuParseEvery(c.options, &every, &found), 0) << c.options;
        EXPECT_TRUE(found && every.unit == c.unit && every.count == c.count) << c.options;
    }
    // Zero, no unit or number, an unknown unit, longer than the window of
    // due times, more than the count holds.
    for (const char *bad : {"-every 0d", "-every d", "-every 5", "-every 5y", "-every 5 d", "-every 1.5h",
                            "-every -5d", "-every 5dd", "-every", "-every 49711d", "-every 1604mo",
                            "-every 4096s", "-every 99999999999999999999s"}) {
        EXPECT_EQ(QuParseEvery(bad, &every, &found), kErrBadParameter) << bad;
        EXPECT_TRUE(found && every.unit == kEveryNone) << bad;
    }
    EXPECT_EQ(QuParseEvery("-addRepeatingEvent", &every, &found), 0);
    EXPECT_FALSE(found);
}

TEST(Repeat, ReservedBytesRoundTripAndRejectStaleOnes)
{
    const QuEvery kinds[] = {{kEverySeconds, 2, 0}, {kEveryWeeks, 4095, 0}, {kEveryMonths, 1603, 31}};
    const char *texts[] = {"2s", "4095w", "1603mo"};
    QuEvery back;
    char text[kEveryTextSize];
    for (int i = 0; i < 3; i++) {
        for (uint32_t id : {4242u, 0xFFFFFFFFu}) {
            uint32_t bytes = QuEncodeEvery(&kinds[i], id);
            ASSERT_TRUE(QuDecodeEvery(bytes, id, &back)) << texts[i];
            QuFormatEvery(&back, text);
            EXPECT_STREQ(text, texts[i]);
            EXPECT_EQ(back.day, kinds[i].day);
            // Moved onto another event by an earlier version: single there.
            EXPECT_FALSE(QuDecodeEvery(bytes, id + 1, &back)) << texts[i];
        }
    }
    // Files of earlier versions hold 0; bytes with our check (bits 0 to 11)
    // but no interval: no unit, an unknown unit (bits 17 to 19), no count
    // (bits 20 to 31), months without their day (bits 12 to 16), days with one.
    uint32_t check = QuEncodeEvery(&kinds[0], 4242) & 0xFFF;
    ASSERT_TRUE(QuDecodeEvery(check | 1u << 17 | 2u << 20, 4242, &back)) << "the layout these cases assume";
    for (uint32_t bytes : {0u, 0xFFFFFFFFu, check, check | 7u << 17 | 1u << 20, check | 4u << 17,
                           check | 6u << 17 | 1u << 20, check | 4u << 17 | 5u << 12 | 1u << 20}) {
        EXPECT_FALSE(QuDecodeEvery(bytes, 4242, &back)) << bytes;
        QuFormatEvery(&back, text);
        EXPECT_STREQ(text, "");
    }
}

TEST(Repeat, OccurrencesStepFromTheirBase)
{
    const int64_t nine = 9 * 3600;
    const struct {
        QuEvery every;
        int64_t base, at, after, atOrBefore;
    } cases[] = {
        {{kEveryMinutes, 1, 0}, 1000, 1000, 1060, 1000}, // the occurrence itself has passed
        {{kEveryMinutes, 1, 0}, 1000, 999, 1000, 1000},
        {{kEveryMinutes, 1, 0}, 1000, 1601, 1660, 1600}, // ten passed: the one next, not ten
        {{kEverySeconds, 1, 0}, 0, 7324496893ll, 7324496894ll, 7324496893ll}, // years in one step
        // Wall-clock days of 86400 seconds, whatever a daylight-saving change
        // did to the hours between: 02:30 stays 02:30.
        {{kEveryDays, 1, 0}, At(739703, 9000), At(739704, 10800), At(739705, 9000), At(739704, 9000)},
        // Months: from 31 January 2027 to 28 February and back to 31 March;
        // from a clamped base, in one step over a year; 2100 is no leap year.
        {{kEveryMonths, 1, 31}, At(740012, nine), At(740012, nine), At(740040, nine), At(740012, nine)},
        {{kEveryMonths, 1, 31}, At(740040, nine), At(740070), At(740071, nine), At(740040, nine)},
        {{kEveryMonths, 1, 31}, At(740012, nine), At(740405), At(740406, nine), At(740377, nine)},
        {{kEveryMonths, 3, 30}, At(740011, nine), At(740011), At(740011, nine), At(740011, nine)},
        {{kEveryMonths, 12, 29}, At(740406), At(766339), At(766703), At(766338)},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(QuOccurrenceAfter(c.base, &c.every, c.at), c.after) << c.base << " " << c.at;
        EXPECT_EQ(QuOccurrenceAtOrBefore(c.base, &c.every, c.at), c.atOrBefore) << c.base << " " << c.at;
    }
}

TEST(Repeat, DueTimesAreReadInTheWindowFrom2000)
{
    const int64_t last = At(779830, 23294); // 7 February 2136 06:28:14
    const struct {
        int64_t seconds;
        bool inWindow;
        uint32_t stored;
    } cases[] = {{At(730120), true, kWindowStart1904},
                 {At(730120) - 1, false, 0},
                 {0xFFFFFFFFll, true, 0xFFFFFFFFu},
                 {0x100000000ll, true, 0},
                 {At(766704), true, (uint32_t)(At(766704) - 0x100000000ll)},
                 {last, true, kNoDueTime - 1},
                 {last + 1, false, 0}};
    for (const auto &c : cases) {
        uint32_t stored = 0;
        EXPECT_EQ(QuDueFromSeconds(c.seconds, &stored), c.inWindow) << c.seconds;
        EXPECT_TRUE(!c.inWindow || (stored == c.stored && QuDueSeconds(stored) == c.seconds)) << c.seconds;
    }
    // 2039 < 6 February 2040 06:28:15 < 2041 < 2136 < none.
    const uint32_t ordered[] = {kWindowStart1904, 4291833599u, 0xFFFFFFFFu, 0, 1000,
                                kNoDueTime - 1,   kNoDueTime};
    for (int i = 0; i + 1 < 7; i++)
        EXPECT_TRUE(QuDueBefore(ordered[i], ordered[i + 1]) && !QuDueBefore(ordered[i + 1], ordered[i]) &&
                    !QuDueBefore(ordered[i], ordered[i]))
            << i;
}

} // namespace
