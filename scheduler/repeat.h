// Repeating events: the interval a caller gives with "-every", its form in
// the 4 reserved bytes of an event's record, and the arithmetic of the next
// occurrence on the local wall clock.
#ifndef ROUSER_REPEAT_H
#define ROUSER_REPEAT_H

#include <stdint.h>

enum QuEveryUnit {
    kEveryNone = 0,
    kEverySeconds = 1,
    kEveryMinutes = 2,
    kEveryHours = 3,
    kEveryDays = 4,
    kEveryWeeks = 5,
    kEveryMonths = 6
};

// An interval as a value. `day` is the day of the month that monthly
// occurrences keep (1 to 31); 0 for the other units.
struct QuEvery {
    int32_t unit; // QuEveryUnit; kEveryNone for a single event
    uint32_t count;
    int32_t day;
};

enum {
    kMaxEveryCount = 4095,
    kEveryTextSize = 16 // "4095mo" and its terminator, with room to spare
};

// The interval of "-every N" in an options field: 0, -50 when it is
// malformed, zero, larger than the entry holds or longer than the window of
// due times; *found false (and 0) when there is no "-every" at all.
int32_t QuParseEvery(const char *options, QuEvery *every, bool *found);

// The reserved bytes of an event with this ID and interval; 0 for a single
// event. They carry a check made from the ID: a version before this one
// moves records without their reserved bytes, and the stale bytes a record
// gets that way must not make a single event repeat.
uint32_t QuEncodeEvery(const QuEvery *every, uint32_t eventID);
// The interval the reserved bytes hold for the event with this ID; false
// (and kEveryNone) for a single event and for bytes that are not one of ours.
bool QuDecodeEvery(uint32_t reserved, uint32_t eventID, QuEvery *every);
// "1d", "15m", "3mo": the interval as given, into kEveryTextSize bytes.
void QuFormatEvery(const QuEvery *every, char *out);

// The first occurrence of the series through `base` (seconds since 1904 on
// the local wall clock) that is strictly after `after`. Fixed intervals
// step from `base`; months keep every.day and base's time of day, and land
// on a shorter month's last day.
int64_t QuOccurrenceAfter(int64_t base, const QuEvery *every, int64_t after);
// The last occurrence at or before `at`, not before `base`; base itself
// when `at` is earlier.
int64_t QuOccurrenceAtOrBefore(int64_t base, const QuEvery *every, int64_t at);
// The day of the month (1 to 31) of a time in seconds since 1904.
int32_t QuDayOfMonth(int64_t seconds);

#endif
