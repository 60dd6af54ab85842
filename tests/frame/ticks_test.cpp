// The Ticks clock and the busy wait, on the simulated millisecond counter.
#include <gtest/gtest.h>

#include "frame/plugin_frame.h"
#include "hostsim/overrides_helpers.h"

namespace {

class TicksTest : public testing::Test {
protected:
    void SetUp() override { HsUseSimulatedClock(0); }
    void TearDown() override { HsUseRealSources(); }

    // Simulated milliseconds a busy wait of n takes when every read of the
    // counter moves it on by one.
    uint32_t WaitLength(uint32_t start, int32_t n)
    {
        HsSetMilliseconds(start);
        HsSetMillisecondsPerRead(1);
        QuBusyWait(n);
        HsSetMillisecondsPerRead(0);
        return HsMilliseconds() - start;
    }
};

TEST_F(TicksTest, ThreeTicksEveryFiftyMilliseconds)
{
    const struct {
        uint32_t ms, ticks;
    } cases[] = {
        {0, 0},     {49, 0},
        {50, 3},    {99, 3},
        {1000, 60}, {1049, 60},
        {1050, 63}, {0xFFFFFFFFu, 257698035u}, // the counter's last value, just before Ticks fall back to 0
    };
    for (const auto &c : cases) {
        HsSetMilliseconds(c.ms);
        EXPECT_EQ(QuGetTicks(), c.ticks) << c.ms << " ms";
    }
}

TEST_F(TicksTest, BusyWaitLastsSixteenMillisecondsATick)
{
    // The first read sets the deadline; the wait ends on the first read at
    // or past it.
    EXPECT_LE(WaitLength(5000, 0), 2u);
    EXPECT_EQ(WaitLength(5000, 60), 961u);
    EXPECT_EQ(WaitLength(5000, 4), 65u);
}

TEST_F(TicksTest, BusyWaitAcrossTheCounterWrap)
{
    // Neither ends early (the deadline lies past the wrap) nor hangs.
    EXPECT_EQ(WaitLength(0xFFFFFF00u, 60), 961u);
    EXPECT_EQ(WaitLength(0xFFFFFFFFu - 959u, 60), 961u);
    EXPECT_EQ(WaitLength(0xFFFFFFFFu, 1), 17u);
}

TEST(Deadlines, ReachedComparesByDifference)
{
    const struct {
        uint32_t now, deadline;
        bool reached;
    } cases[] = {
        {100, 100, true},
        {99, 100, false},
        {101, 100, true},
        {0xFFFFFFF0u, 0x10u, false},     // deadline beyond the wrap
        {0x10u, 0xFFFFFFF0u, true},      // counter wrapped past the deadline
        {0x7FFFFFFFu + 100u, 100, true}, // the widest span still read as passed
    };
    for (const auto &c : cases)
        EXPECT_EQ(QuReached(c.now, c.deadline), c.reached) << c.now << " vs " << c.deadline;
}

} // namespace
