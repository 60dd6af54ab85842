// Fetches 1 KB, 16 KB and 64 KB files from Python's http.server on the
// loopback address with "Rous-SendRemoteEvent" -tcprequest, and the same
// files from the same server with curl in the same run, as the reference;
// the plug-in keeps the first 64000 bytes of the 64 KB file. And the CPU
// time of a request that waits 3 s on a server that never answers.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "frame/host_call.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"

namespace {

const uint32_t kSendRemoteEvent = 6;
const char *const kFiles[] = {"1k.txt", "16k.txt", "64k.txt"};
const std::string kFolder = std::string(ROUSER_BENCH_DIR) + "/bench-work";

FILE *ServerPipe; // the servers stop when this closes, at exit
int PlainPort, ScriptedPort;

bool StartServer(void)
{
    std::string folder = kFolder + "/servers";
    std::filesystem::remove(folder + "/servers.txt");
    std::string command = "python3 '" + std::string(ROUSER_SOURCE_DIR) + "/tests/servers/serve.py' '" + folder +
                          "' --stop-on-eof --max-seconds 3600 >/dev/null";
    ServerPipe = popen(command.c_str(), "w");
    for (int i = 0; ServerPipe != nullptr && i < 600; i++) {
        std::ifstream in(folder + "/servers.txt");
        std::string name;
        int port;
        while (in >> name >> port) {
            if (name == "plain")
                PlainPort = port;
            else if (name == "scripted")
                ScriptedPort = port;
        }
        if (PlainPort != 0 && ScriptedPort != 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string Request(const char *file)
{
    return "-tcprequest -portnumber=" + std::to_string(PlainPort) + "|127.0.0.1|GET /" + file +
           " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
}

void PluginFetch(benchmark::State &state)
{
    const char *file = kFiles[state.range(0)];
    std::string request = Request(file);
    size_t bytes = 0;
    for (auto _ : state) {
        HsCallResult result = HsCallFunction(kSendRemoteEvent, request);
        if (result.text.compare(0, 13, "HTTP/1.0 200 ") != 0) {
            state.SkipWithError(("unexpected answer: " + result.text.substr(0, 40)).c_str());
            break;
        }
        bytes += result.text.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.SetLabel(file);
}

// Per fetch: the whole curl process, and curl's own time_total as a counter.
void CurlFetch(benchmark::State &state)
{
    const char *file = kFiles[state.range(0)];
    std::string command = "curl -s -S -o /dev/null -w '%{time_total} %{size_download}' http://127.0.0.1:" +
                          std::to_string(PlainPort) + "/" + file;
    double transfer = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        FILE *out = popen(command.c_str(), "r");
        double seconds = 0;
        long size = 0;
        if (out == nullptr || fscanf(out, "%lf %ld", &seconds, &size) != 2) {
            if (out != nullptr)
                pclose(out);
            state.SkipWithError("curl gave no figures");
            break;
        }
        pclose(out);
        transfer += seconds;
        bytes += static_cast<size_t>(size);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["curl_time_total_ms"] =
        benchmark::Counter(transfer * 1000, benchmark::Counter::kAvgIterations);
    state.SetLabel(file);
}

double CpuSeconds(void)
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// A server that takes the request and never answers: the request waits out
// its 3-second time-out. The counter is the process's CPU time over the
// wall time of the wait.
void SilentServerWait(benchmark::State &state)
{
    std::string request = "-tcprequest -timeoutsecs=3 -portnumber=" + std::to_string(ScriptedPort) +
                          "|127.0.0.1|GET /mute HTTP/1.0\r\n\r\n";
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        double cpuStart = CpuSeconds();
        auto wallStart = std::chrono::steady_clock::now();
        HsCallResult result = HsCallFunction(kSendRemoteEvent, request);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        cpu += CpuSeconds() - cpuStart;
        if (result.text != "$$-4230") {
            state.SkipWithError(("unexpected answer: " + result.text.substr(0, 40)).c_str());
            break;
        }
    }
    state.counters["cpu_share_percent"] = wall > 0 ? 100 * cpu / wall : 0;
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
}

BENCHMARK(SilentServerWait)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(PluginFetch)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();
BENCHMARK(CurlFetch)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

} // namespace


int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (!StartServer()) {
        fprintf(stderr, "tcp_request_bench: the loopback servers did not start\n");
        return 1;
    }
    // The linked plug-in on the simulated host, with the real clock: the
    // waits are real waits here.
    std::filesystem::create_directories(kFolder + "/host");
    HsReset();
    HsSetEntry(FMExternCallProc, nullptr);
    HsSetPrefsRoot(kFolder + "/prefs");
    HsSetHostFolder(kFolder + "/host/");
    if (HsStartup(50) != 4) {
        fprintf(stderr, "tcp_request_bench: the plug-in did not start\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    HsShutdown();
    benchmark::Shutdown();
    return 0;
}
