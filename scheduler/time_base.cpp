// Timestamp1904: whole seconds since 1 January 1904 00:00 on the local wall
// clock, modulo 2^32, and the conversions of FileMaker date and time numbers.
#include "event_table.h"
#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"

static const uint32_t kSeconds1904To1970 = 2082844800u;

// A clock set before the window (a machine without its time yet) counts as
// the window's first second: read as the window's end, it would make every
// event due at once.
int64_t QuNowSeconds(void)
{
    int64_t now = QuLocalClockSeconds() + kSeconds1904To1970;
    return now < kWindowStart1904 ? kWindowStart1904 : now;
}

uint32_t QuNow1904(uint32_t *out)
{
    uint32_t now = (uint32_t)QuNowSeconds();
    if (out != NULL)
        *out = now;
    return now;
}

int64_t QuDateToSeconds(const char *text)
{
    int32_t day = (int32_t)QuParseUnsigned(text);
    if (day < kDay1904)
        return 0;
    return (int64_t)(day - kDay1904) * 86400;
}

uint32_t QuDateToTimestamp(const char *text)
{
    return (uint32_t)QuDateToSeconds(text);
}

int64_t QuDueSeconds(uint32_t due)
{
    return due >= kWindowStart1904 ? (int64_t)due : (int64_t)due + 0x100000000ll;
}

bool QuDueFromSeconds(int64_t seconds, uint32_t *due)
{
    if (seconds < kWindowStart1904 || seconds >= (int64_t)kWindowStart1904 + 0xFFFFFFFFll)
        return false;
    *due = (uint32_t)seconds;
    return true;
}

uint32_t QuTimeToSeconds(const char *text)
{
    int32_t seconds = (int32_t)QuParseUnsigned(text);
    return seconds < 0 ? 0 : (uint32_t)seconds;
}
