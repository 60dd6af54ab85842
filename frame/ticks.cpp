// The Ticks clock (sixtieths of a second, in steps of 3 every 50 ms) and the
// busy wait the socket polls use.
#include "host_overrides.h"
#include "plugin_frame.h"

uint32_t QuGetTicks(void)
{
    return QuMilliseconds() / 50 * 3;
}

bool QuReached(uint32_t now, uint32_t deadline)
{
    // By difference, so that a deadline beyond the counter's wrap still holds.
    return (int32_t)(now - deadline) >= 0;
}

// The Ticks value the clock would reach when the millisecond counter wraps
// (2^32 / 50 * 3); it falls back to 0 instead.
static const uint32_t kTicksAtWrap = 257698038u;

uint32_t QuTicksSince(uint32_t start)
{
    uint32_t now = QuGetTicks();
    return now >= start ? now - start : now + (kTicksAtWrap - start);
}

bool QuBeforeDeadline(uint32_t start, int32_t timeout)
{
    return QuTicksSince(start) < (uint32_t)timeout;
}

void QuBusyWait(int32_t n)
{
    uint32_t deadline = QuMilliseconds() + (uint32_t)n * 16u;
    while (!QuReached(QuMilliseconds(), deadline)) {
    }
}
