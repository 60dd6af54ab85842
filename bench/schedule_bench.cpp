// The schedule that a solution can list, and repeating events in the idle
// step: "Rous-GetEventInfo -listEventIDs" over 1000 events, and an idle
// poll over 1000 repeating events none of which is due next to the same
// poll over 1000 single events.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "bench_host.h"
#include "scheduler/event_table.h"

namespace {

const int64_t kNow1970 = 1796083200 + 12 * 3600;
const std::string kFolder = std::string(ROUSER_BENCH_DIR) + "/bench-work/schedule/";
const std::string kDay = std::to_string(kNow1970 / 86400 + 719163);

enum { kGetEventInfo = 3, kScheduleEvent = 5 };

// 1000 events due from an hour ahead on, later ones first, so that the list
// runs against the table's order; every second one repeats when asked.
void Start(bool repeating)
{
    HsSetClockSeconds(kNow1970);
    BenchStartHost(kFolder);
    for (int i = 0; i < 1000; i++) {
        std::string options = repeating || i % 2 == 1 ? "-addRepeatingEvent -every 1d" : "-addSingleEvent";
        std::string time = std::to_string(kNow1970 % 86400 + 3600 + (1000 - i) * 10);
        HsCallFunction(kScheduleEvent, options + "|" + kDay + "|" + time + "|Orders.fp5|Print|id|text");
    }
}

void Stop()
{
    HsShutdown();
    HsUseRealSources();
}

void BM_ListEventIDs1000(benchmark::State &state)
{
    Start(false);
    std::string list;
    for (auto _ : state)
        list = HsCallFunction(kGetEventInfo, "-listEventIDs").text;
    // IDs go on from run to run of the benchmark: count the lines.
    if (EventTable.count != 1000 || std::count(list.begin(), list.end(), '\r') != 999)
        state.SkipWithError("the table or the list is not what was scheduled");
    Stop();
}
BENCHMARK(BM_ListEventIDs1000)->Repetitions(5)->Unit(benchmark::kMicrosecond);

// One idle call that polls: no datagram, 1000 pending events, none due.
// Argument 1: all of them repeat; 0: all single, as every event was before.
void BM_IdlePollNoneDue(benchmark::State &state)
{
    bool repeating = state.range(0) != 0;
    HsSetClockSeconds(kNow1970);
    BenchStartHost(kFolder);
    for (int i = 0; i < 1000; i++)
        HsCallFunction(kScheduleEvent,
                       std::string(repeating ? "-addRepeatingEvent -every 1m" : "-addSingleEvent") + "|" +
                           kDay + "|" + std::to_string(kNow1970 % 86400 + 3600 + i) + "|Orders.fp5|Print|");
    HsAdvanceMilliseconds(1000);
    HsIdle(0); // the write-behind save of the new events, outside the timing
    for (auto _ : state) {
        state.PauseTiming();
        HsAdvanceMilliseconds(1000);
        state.ResumeTiming();
        HsIdle(0);
    }
    if (EventTable.active != 1000 || !HsTakeStarts().empty())
        state.SkipWithError("an event fired or went");
    Stop();
}
BENCHMARK(BM_IdlePollNoneDue)->Arg(0)->Arg(1)->Repetitions(5)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
