// The idle step with a listener on 127.0.0.1, on the simulated clock: an
// idle call between polls with and without a quiet listener, a poll
// with nothing waiting, one that takes a valid datagram, and one that
// discards a batch of junk. Datagrams are sent with the timing paused; each
// iteration then makes `batch` polls (or one poll over `batch` junk
// datagrams), so that per-item figures are time / items.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench_host.h"
#include "frame/plugin_frame.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"
#include "remote/remote.h"
#include "trigger/trigger.h"

namespace {

const std::string kFolder = std::string(ROUSER_BENCH_DIR) + "/bench-work/listener/";
const int kBatch = 200; // below the plug-in's bound of datagrams per poll
int Sender = -1;
sockaddr_in To;

bool Start()
{
    BenchStartHost(kFolder);
    // Port 0: the system chooses a free one, and the listener holds it.
    if (HsCallFunction(8, "-portnumber 0||key").text != "0")
        return false;
    sockaddr_in at = {};
    socklen_t size = sizeof at;
    if (getsockname(static_cast<int>(ListenerSocket), reinterpret_cast<sockaddr *>(&at), &size) != 0)
        return false;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    To = at;
    Sender = socket(AF_INET, SOCK_DGRAM, 0);
    return true;
}

void Stop()
{
    close(Sender);
    HsShutdown();
    HsUseRealSources();
}

void Send(const std::string &bytes, int count)
{
    for (int i = 0; i < count; i++)
        sendto(Sender, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&To), sizeof To);
}

void Poll()
{
    HsAdvanceMilliseconds(1000);
    HsIdle(0);
}

void BM_IdlePollNothingWaiting(benchmark::State &state)
{
    if (!Start())
        state.SkipWithError("no listener");
    for (auto _ : state)
        Poll();
    Stop();
}
BENCHMARK(BM_IdlePollNothingWaiting);

// An idle call between polls: without a listener (the reference), and with
// a quiet one, which costs the look at its socket.
void BM_IdleBetweenPolls(benchmark::State &state)
{
    if (!Start())
        state.SkipWithError("no listener");
    if (state.range(0) == 0)
        HsCallFunction(9, "");
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        for (auto _ : state) {
            QuRequestPoll(20); // within the poll interval
            QuDoIdle();
        }
    });
    Stop();
}
BENCHMARK(BM_IdleBetweenPolls)->Arg(0)->Arg(1);

void BM_IdlePollTakesDatagram(benchmark::State &state)
{
    if (!Start())
        state.SkipWithError("no listener");
    const std::string valid = std::string("QUIL DATAGRAM 1.0|SCTR|key|Orders.fp5|Print|id|text") + '\0';
    for (auto _ : state) {
        state.PauseTiming();
        HsCallFunction(2, "-deleteAllEvents");
        Send(valid, kBatch);
        state.ResumeTiming();
        for (int i = 0; i < kBatch; i++)
            Poll();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    Stop();
}
BENCHMARK(BM_IdlePollTakesDatagram)->Unit(benchmark::kMicrosecond);

void BM_IdlePollDiscardsJunk(benchmark::State &state)
{
    if (!Start())
        state.SkipWithError("no listener");
    const std::string junk = std::string("QUIL DATAGRAM 1.0|SCTR|wrong|Orders.fp5|Print|id|text") + '\0';
    for (auto _ : state) {
        state.PauseTiming();
        Send(junk, kBatch);
        state.ResumeTiming();
        Poll(); // all of them in one poll
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    Stop();
}
BENCHMARK(BM_IdlePollDiscardsJunk)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
