// Repeating events: "-every N", its 4 bytes in the record, and the next
// occurrence. Due times are counted on the local wall clock as if every day
// had 86400 seconds, so a daily event keeps its time of day across a
// daylight-saving change without any correction here.
#include "repeat.h"
#include "frame/plugin_frame.h"

static const char *const kUnitNames[] = {"", "s", "m", "h", "d", "w", "mo"};
// The longest length of one unit in seconds; a month counts 31 days.
static const int64_t kUnitSeconds[] = {0, 1, 60, 3600, 86400, 604800, 31 * 86400};
// The window of due times is 2^32 - 1 seconds long: an interval longer than
// that could never repeat.
static const int64_t kLongestInterval = 0xFFFFFFFFll;
static const int64_t kDaySeconds = 86400;
// Days from 1 January 1970 back to 1 January 1904.
static const int64_t kDays1904To1970 = 24107;

// The check is 12 bits of the event's ID: bytes that an earlier version
// left behind from another event read as a series once in 4096.
enum { kCheckShift = 0, kDayShift = 12, kUnitShift = 17, kCountShift = 20 };

static bool QuIsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

static int32_t QuUnitFromText(const char *unit, int32_t length)
{
    char lower[3] = {0, 0, 0};
    if (length < 1 || length > 2)
        return kEveryNone;
    for (int32_t i = 0; i < length; i++)
        lower[i] = QuToLower(unit[i]);
    for (int32_t u = kEverySeconds; u <= kEveryMonths; u++)
        if (QuTextLength(kUnitNames[u]) == length && QuCompareText(lower, kUnitNames[u], length, true) == 0)
            return u;
    return kEveryNone;
}

int32_t QuParseEvery(const char *options, QuEvery *every, bool *found)
{
    char value[2000];
    static const char kOption[] = "-every";
    every->unit = kEveryNone;
    every->count = 0;
    every->day = 0;
    *found = QuHasOption(options, kOption);
    if (!*found)
        return 0;
    // The value runs to the next option or the end of the field.
    QuGetTextAfter(options, QuTextLength(options), kOption, QuTextLength(kOption), '-', 0, 1, false, value,
                   sizeof value);
    const char *p = value;
    while (QuIsBlank(*p))
        p++;
    int64_t count = 0;
    const char *digits = p;
    while (*p >= '0' && *p <= '9' && count <= kMaxEveryCount)
        count = count * 10 + (*p++ - '0');
    const char *unit = p;
    while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))
        p++;
    int32_t unitCode = QuUnitFromText(unit, (int32_t)(p - unit));
    while (QuIsBlank(*p))
        p++;
    if (unit == digits || unitCode == kEveryNone || *p != 0 || count < 1 || count > kMaxEveryCount ||
        count * kUnitSeconds[unitCode] > kLongestInterval)
        return kErrBadParameter;
    every->unit = unitCode;
    every->count = (uint32_t)count;
    return 0;
}

static uint32_t QuEveryCheck(uint32_t eventID)
{
    return (eventID * 2654435761u) >> 20;
}

uint32_t QuEncodeEvery(const QuEvery *every, uint32_t eventID)
{
    if (every->unit == kEveryNone)
        return 0;
    return QuEveryCheck(eventID) << kCheckShift | (uint32_t)every->day << kDayShift |
           (uint32_t)every->unit << kUnitShift | every->count << kCountShift;
}

bool QuDecodeEvery(uint32_t reserved, uint32_t eventID, QuEvery *every)
{
    int32_t unit = (int32_t)(reserved >> kUnitShift & 7);
    int32_t day = (int32_t)(reserved >> kDayShift & 31);
    uint32_t count = reserved >> kCountShift;
    every->unit = kEveryNone;
    every->count = 0;
    every->day = 0;
    if ((reserved >> kCheckShift & 0xFFF) != QuEveryCheck(eventID) || unit < kEverySeconds ||
        unit > kEveryMonths || count < 1 || (int64_t)count * kUnitSeconds[unit] > kLongestInterval)
        return false;
    if ((unit == kEveryMonths) != (day >= 1))
        return false;
    every->unit = unit;
    every->count = count;
    every->day = day;
    return true;
}

void QuFormatEvery(const QuEvery *every, char *out)
{
    out[0] = 0;
    if (every->unit <= kEveryNone || every->unit > kEveryMonths)
        return;
    QuFormatUnsigned(every->count, out);
    QuAppendText(out, kUnitNames[every->unit]);
}

// Civil dates and day numbers (days since 1 January 1970), proleptic
// Gregorian, after H. Hinnant's well-known algorithms.
static int64_t QuDaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

static void QuCivilFromDays(int64_t z, int64_t *y, int64_t *m, int64_t *d)
{
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

static int64_t QuFloorDiv(int64_t a, int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

static int64_t QuLastDayOfMonth(int64_t y, int64_t m)
{
    static const int64_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// Months since year 0 of a time, and its time of day.
static int64_t QuMonthIndex(int64_t seconds, int64_t *timeOfDay)
{
    int64_t days = QuFloorDiv(seconds, kDaySeconds), y, m, d;
    if (timeOfDay != NULL)
        *timeOfDay = seconds - days * kDaySeconds;
    QuCivilFromDays(days - kDays1904To1970, &y, &m, &d);
    return y * 12 + m - 1;
}

int32_t QuDayOfMonth(int64_t seconds)
{
    int64_t y, m, d;
    QuCivilFromDays(QuFloorDiv(seconds, kDaySeconds) - kDays1904To1970, &y, &m, &d);
    return (int32_t)d;
}

// The k-th monthly occurrence from base.
static int64_t QuMonthlyOccurrence(int64_t baseMonth, int64_t timeOfDay, const QuEvery *every, int64_t k)
{
    int64_t month = baseMonth + k * every->count;
    int64_t y = QuFloorDiv(month, 12), m = month - y * 12 + 1;
    int64_t d = every->day;
    if (d > QuLastDayOfMonth(y, m))
        d = QuLastDayOfMonth(y, m);
    return (QuDaysFromCivil(y, m, d) + kDays1904To1970) * kDaySeconds + timeOfDay;
}

int64_t QuOccurrenceAfter(int64_t base, const QuEvery *every, int64_t after)
{
    if (every->unit == kEveryMonths) {
        int64_t timeOfDay;
        int64_t baseMonth = QuMonthIndex(base, &timeOfDay);
        int64_t k = QuFloorDiv(QuMonthIndex(after, NULL) - baseMonth, every->count);
        // Occurrences before k's fall in earlier months than `after`.
        if (k < 0)
            k = 0;
        while (QuMonthlyOccurrence(baseMonth, timeOfDay, every, k) <= after)
            k++;
        return QuMonthlyOccurrence(baseMonth, timeOfDay, every, k);
    }
    int64_t step = (int64_t)every->count * kUnitSeconds[every->unit];
    if (step <= 0 || base > after)
        return base;
    return base + ((after - base) / step + 1) * step;
}

int64_t QuOccurrenceAtOrBefore(int64_t base, const QuEvery *every, int64_t at)
{
    if (at <= base)
        return base;
    if (every->unit == kEveryMonths) {
        int64_t timeOfDay;
        int64_t baseMonth = QuMonthIndex(base, &timeOfDay);
        int64_t k = QuFloorDiv(QuMonthIndex(at, NULL) - baseMonth, every->count);
        while (k > 0 && QuMonthlyOccurrence(baseMonth, timeOfDay, every, k) > at)
            k--;
        return QuMonthlyOccurrence(baseMonth, timeOfDay, every, k);
    }
    int64_t step = (int64_t)every->count * kUnitSeconds[every->unit];
    if (step <= 0)
        return base;
    return base + (at - base) / step * step;
}
