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
#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"
#include "remote/remote.h"
#include "trigger/trigger.h"

namespace {

const std::string kFolder = std::string(ROUSER_BENCH_DIR) + "/bench-work/listener/";
const int kBatch = 200; // below the plug-in's bound of datagrams per poll
const int kForgedBatch = 20;
int Sender = -1;
sockaddr_in To;

// The simulated UTC clock of the sealed cases.
const int64_t kUtcStart = 1796000000000;

bool Start(const std::string &options = "")
{
    BenchStartHost(kFolder);
    HsSetUtcMilliseconds(kUtcStart);
    // Port 0: the system chooses a free one, and the listener holds it.
    if (HsCallFunction(8, "-portnumber 0 " + options + "||key").text != "0")
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

// Sealed with the listener's key, stamped `stamp`: each one a fresh event.
std::string Sealed(const QuSealKey &key, int64_t stamp)
{
    const std::string payload = "Orders.fp5|Print|id|text";
    char datagram[kDatagramSize];
    int32_t length = 0;
    QuSealDatagram(&key, stamp, 0, payload.data(), static_cast<int32_t>(payload.size()), datagram, &length);
    return std::string(datagram, length);
}

// A poll that takes one valid datagram, plain (0) against sealed (1): what
// opening the seal, the time window and the memory of accepted datagrams
// add to an accepted event. Inside a host call, so that no poll writes the
// event file, whose write would hide the difference.
void BM_IdlePollTakesDatagramSealed(benchmark::State &state)
{
    bool sealed = state.range(0) == 1;
    if (!Start())
        state.SkipWithError("no listener");
    QuSealKey key = {};
    if (QuDeriveSealKey("key", &key) != 0)
        state.SkipWithError("no sealing");
    const std::string plain = std::string("QUIL DATAGRAM 1.0|SCTR|key|Orders.fp5|Print|id|text") + '\0';
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        for (auto _ : state) {
            state.PauseTiming();
            HsCallFunction(2, "-deleteAllEvents");
            QuUseCallRecord(record);
            // Past the window: the memory of the round before empties.
            HsAdvanceUtcMilliseconds(250000);
            int64_t now = QuUtcMilliseconds();
            for (int i = 0; i < kBatch; i++)
                Send(sealed ? Sealed(key, now + i) : plain, 1);
            state.ResumeTiming();
            for (int i = 0; i < kBatch; i++) {
                HsAdvanceMilliseconds(1000);
                QuDoIdle();
            }
        }
    });
    state.SetItemsProcessed(state.iterations() * kBatch);
    Stop();
}
BENCHMARK(BM_IdlePollTakesDatagramSealed)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Forged sealed datagrams of the largest size under -sealedOnly, per
// datagram: with a key check that is not the listener's (0, dropped as
// "wrong key" without decrypting) and with the listener's key check copied
// from a captured datagram (1, decrypted and dropped as "bad seal"). The
// key's secret was derived when the listener started; no datagram derives.
void BM_IdlePollDiscardsForgedSealed(benchmark::State &state)
{
    if (!Start("-sealedOnly"))
        state.SkipWithError("no listener");
    QuSealKey key = {};
    if (QuDeriveSealKey("key", &key) != 0)
        state.SkipWithError("no sealing");
    std::string forged = Sealed(key, kUtcStart);
    forged.resize(kDatagramSize, 'x');
    // The tag no longer fits what it covers.
    if (state.range(0) == 0)
        forged[9] = static_cast<char>(forged[9] ^ 0x55);
    // Large datagrams fill the socket's buffer soon: the items are those
    // the listener counted as dropped, not those sent.
    for (auto _ : state) {
        state.PauseTiming();
        Send(forged, kForgedBatch);
        state.ResumeTiming();
        Poll(); // all of them in one poll
    }
    state.SetItemsProcessed(std::stoll(HsCallFunction(3, "-getDroppedCount").text));
    Stop();
}
BENCHMARK(BM_IdlePollDiscardsForgedSealed)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The sender's side of the same comparison: a whole "Rous-SendRemoteEvent"
// call, plain (0) against sealed (1), the key's secret derived before.
void BM_SendRemoteEvent(benchmark::State &state)
{
    if (!Start())
        state.SkipWithError("no listener");
    HsCallFunction(9, "");
    const std::string call = "-portnumber " + std::to_string(ntohs(To.sin_port)) +
                             (state.range(0) == 1 ? " -sealed" : "") +
                             "|127.0.0.1|key|Orders.fp5|Print|id|text";
    HsCallFunction(6, call);
    for (auto _ : state)
        HsCallFunction(6, call);
    Stop();
}
BENCHMARK(BM_SendRemoteEvent)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
