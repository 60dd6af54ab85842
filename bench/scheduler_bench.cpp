// The scheduler's hot paths, on the simulated host: an idle call that is
// not due to poll (every idle call of the host), choosing the due event
// among 1000, an insertion and deletion, a whole "Rous-ScheduleEvent" call,
// 1000 of them next to the 1000 insertions alone, "Rous-Version" with the
// preferences unchanged next to one that must read them again, saving and
// loading 1000 events, the write-behind save of 1000 events next to the
// same write by hand, and an idle poll over 1000 due events whose starts the
// host refuses.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "bench_host.h"
#include "frame/plugin_frame.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"
#include "scheduler/event_file.h"
#include "scheduler/event_table.h"
#include "trigger/trigger.h"

namespace {

const int64_t kNow1970 = 1796083200 + 12 * 3600;
const uint32_t kNow = static_cast<uint32_t>(kNow1970 + 2082844800);
const std::string kFolder = std::string(ROUSER_BENCH_DIR) + "/bench-work/scheduler/";

void Start()
{
    HsSetClockSeconds(kNow1970);
    BenchStartHost(kFolder);
}

void Stop()
{
    HsShutdown();
    HsUseRealSources();
}

// `count` pending events an hour ahead, the last one due now.
void Fill(int count)
{
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        uint32_t id;
        for (int i = 0; i < count; i++)
            QuInsertEvent(i == count - 1 ? kNow : kNow + 3600, 0, "Orders.fp5|Print|id|text", 24, &id);
    });
}

void BM_IdleNotDue(benchmark::State &state)
{
    Start();
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        QuRequestPoll(20); // within the poll interval
        for (auto _ : state)
            QuDoIdle();
    });
    Stop();
}
BENCHMARK(BM_IdleNotDue);

void BM_SelectDueAmong1000(benchmark::State &state)
{
    Start();
    Fill(999);
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        // A removal leaves EventTable.earliestDue a lower bound, so that the
        // scan takes the fallback to the event due now in slot 998 of 1000,
        // the longest path.
        uint32_t id;
        QuInsertEvent(1, 0, "Orders.fp5|Print", 16, &id);
        QuDeleteEventByID(id);
        QuInsertEvent(kNow + 3600, 0, "Orders.fp5|Print", 16, &id);
        char file[1000], script[1000];
        for (auto _ : state)
            benchmark::DoNotOptimize(QuSelectDueEvent(QuStartDeferral, &id, file, script, 1000));
    });
    Stop();
}
BENCHMARK(BM_SelectDueAmong1000);

// One idle poll over 1000 due events whose starts the host refuses, in CPU
// time: every event has failed before, so that the choice weighs each one's
// turn, and the poll starts the one that failed longest ago, which fails
// again.
void BM_IdlePollAllStartsRefused(benchmark::State &state)
{
    Start();
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        uint32_t id;
        for (int i = 0; i < 1000; i++)
            QuInsertEvent(kNow, 0, "Orders.fp5|Print", 16, &id);
    });
    HsSetStartScriptAnswer(1);
    for (int i = 0; i < 1000; i++) {
        HsAdvanceMilliseconds(1000);
        HsIdle(0);
    }
    HsTakeCallbacks();
    int64_t tries = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HsAdvanceMilliseconds(1000);
        tries += static_cast<int64_t>(HsTakeCallbacks().size());
        HsTakeTextCalls();
        state.ResumeTiming();
        HsIdle(0);
    }
    tries += static_cast<int64_t>(HsTakeCallbacks().size());
    if (EventTable.active != 1000 || !HsTakeStarts().empty() || tries != state.iterations())
        state.SkipWithError("a poll tried no start, or an event started or went");
    HsSetStartScriptAnswer(std::nullopt);
    Stop();
}
BENCHMARK(BM_IdlePollAllStartsRefused)->Unit(benchmark::kMicrosecond);

void BM_InsertAndDelete(benchmark::State &state)
{
    Start();
    Fill(999);
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        uint32_t id;
        for (auto _ : state) {
            QuInsertEvent(kNow + 60, 0, "Orders.fp5|Print", 16, &id);
            QuDeleteEventByID(id);
        }
    });
    Stop();
}
BENCHMARK(BM_InsertAndDelete);

std::string ScheduleParameter(void);

void BM_ScheduleEventCall(benchmark::State &state)
{
    Start();
    HsCallFunction(0, "-usealternatetriggermethod");
    const std::string parameter = ScheduleParameter();
    for (auto _ : state) {
        HsCallFunction(5, parameter);
        state.PauseTiming();
        HsCallFunction(2, "-deleteAllEvents");
        state.ResumeTiming();
    }
    Stop();
}
BENCHMARK(BM_ScheduleEventCall);

std::string ScheduleParameter(void)
{
    const std::string day = std::to_string(kNow1970 / 86400 + 719163);
    return "-addSingleEvent|" + day + "|50000|Orders.fp5|Print|id|text";
}

// 1000 calls, a full table, in CPU time: no idle call comes between them, so
// the event file is not written.
void BM_Schedule1000Calls(benchmark::State &state)
{
    Start();
    HsCallFunction(0, "-usealternatetriggermethod");
    const std::string parameter = ScheduleParameter();
    for (auto _ : state) {
        for (int i = 0; i < 1000; i++)
            HsCallFunction(5, parameter);
        state.PauseTiming();
        HsCallFunction(2, "-deleteAllEvents");
        state.ResumeTiming();
    }
    Stop();
}
BENCHMARK(BM_Schedule1000Calls)->Unit(benchmark::kMillisecond);

// Its reference: the same 1000 events inserted into the table directly.
void BM_Insert1000(benchmark::State &state)
{
    Start();
    for (auto _ : state) {
        Fill(1000);
        state.PauseTiming();
        HsCallFunction(2, "-deleteAllEvents");
        state.ResumeTiming();
    }
    Stop();
}
BENCHMARK(BM_Insert1000)->Unit(benchmark::kMillisecond);

const std::string kSeparatorFile =
    kFolder + "prefs/HKCU/Software/Quil/Quil Plug-in General Prefs/SeparatorToken";

// The preferences written by the first call, and then left alone long
// enough that the next write must change the key's stamp.
void SettlePrefs(void)
{
    HsCallFunction(0, "-getversionnumber");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

void BM_VersionCall(benchmark::State &state)
{
    Start();
    SettlePrefs();
    for (auto _ : state)
        HsCallFunction(0, "-getversionnumber");
    Stop();
}
BENCHMARK(BM_VersionCall);

// Its reference: the same call after the separator was written again (the
// same "|"), so that the preferences are read in full.
void BM_VersionCallPrefsChanged(benchmark::State &state)
{
    Start();
    SettlePrefs();
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(kSeparatorFile, std::ios::binary | std::ios::trunc).write("\x01\0\0\0|", 6);
        state.ResumeTiming();
        HsCallFunction(0, "-getversionnumber");
    }
    Stop();
}
BENCHMARK(BM_VersionCallPrefsChanged);

// For bench/syscalls.py, which counts system calls with strace: `count`
// calls with unchanged preferences (kind 0), as many each after a write of
// the separator (1), or the writes alone (2).
void BM_SyscallProbe(benchmark::State &state)
{
    Start();
    SettlePrefs();
    const int64_t kind = state.range(1);
    for (auto _ : state) {
        for (int64_t i = 0; i < state.range(0); i++) {
            if (kind != 0)
                std::ofstream(kSeparatorFile, std::ios::binary | std::ios::trunc).write("\x01\0\0\0|", 6);
            if (kind != 2)
                HsCallFunction(0, "-getversionnumber");
        }
    }
    Stop();
}
BENCHMARK(BM_SyscallProbe)->ArgsProduct({{0, 1000}, {0, 1, 2}})->Iterations(1);

void BM_SaveAndLoad1000(benchmark::State &state)
{
    Start();
    Fill(1000);
    for (auto _ : state) {
        HsShutdown();
        HsStartup(50);
    }
    Stop();
}
BENCHMARK(BM_SaveAndLoad1000)->Unit(benchmark::kMicrosecond);

// The write-behind save of a full table of 170-byte texts, as one idle poll
// makes it after a change: image, temporary file, flush, rename, folder sync.
void BM_WriteBehindSave1000(benchmark::State &state)
{
    Start();
    const std::string text = "Orders.fp5|Print|id|" + std::string(150, 't');
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        uint32_t id;
        for (int i = 0; i < 1000; i++)
            QuInsertEvent(kNow + 3600, 0, text.data(), static_cast<int32_t>(text.size()), &id);
    });
    for (auto _ : state) {
        // One change, so that the poll saves.
        HsRunInside([&](HostCallRecord *record) {
            QuUseCallRecord(record);
            uint32_t id;
            QuDeleteEventByID(EventTable.nextID - 1);
            QuInsertEvent(kNow + 3600, 0, text.data(), static_cast<int32_t>(text.size()), &id);
        });
        HsAdvanceMilliseconds(1000);
        HsIdle(0);
    }
    if (EventTable.changed)
        state.SkipWithError("the save failed");
    Stop();
}
BENCHMARK(BM_WriteBehindSave1000)->Unit(benchmark::kMicrosecond);

// The reference for the save: the same 200,011 bytes written the same safe
// way with the system's calls alone.
void BM_ReferenceSafeWrite(benchmark::State &state)
{
    std::filesystem::create_directories(kFolder);
    const std::string bytes(11 + 1000 * 200, 'x');
    const std::string temp = kFolder + "reference.tmp", path = kFolder + "reference";
    for (auto _ : state) {
        int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            fsync(fd) != 0 || close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
            state.SkipWithError("the reference write failed");
            break;
        }
        int folder = open(kFolder.c_str(), O_RDONLY | O_DIRECTORY);
        fsync(folder);
        close(folder);
    }
}
BENCHMARK(BM_ReferenceSafeWrite)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
