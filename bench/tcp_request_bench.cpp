// "Rous-SendRemoteEvent" -tcprequest against libcurl in the same process,
// both fetching the same answers from one small server in this process on
// the loopback address: 1 KB, 64 KB, 1 MB (of which the plug-in keeps its
// 64000 bytes and drains the rest at the close) and a chunked 16 KB. Then
// whole processes: one curl process per request (start-up included), and
// one rouser-host run against one curl process fetching the same N URLs.
// And the CPU time of a request that waits 3 s on a server that never
// answers (Python's scripted server).
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "frame/host_call.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"

namespace {

const uint32_t kSendRemoteEvent = 6;
const std::string kFolder = std::string(ROUSER_BENCH_DIR) + "/bench-work";
// The answers by path, in the order of the benchmarks' argument.
const char *const kPaths[] = {"/1k", "/64k", "/1m", "/chunked"};
const char *const kLabels[] = {"1 KB", "64 KB", "1 MB", "chunked 16 KB"};
const int kProcessRuns = 50; // requests per whole-process run

FILE *ServerPipe; // the Python servers stop when this closes, at exit
int ScriptedPort;
int BenchPort;
std::string Answers[4];

std::string Body(size_t size)
{
    std::string body;
    while (body.size() < size)
        body += "The quick brown fox jumps over the lazy dog 0123456789.\n";
    body.resize(size);
    return body;
}

void MakeAnswers(void)
{
    const size_t sizes[] = {1024, 64 * 1024, 1024 * 1024};
    for (int i = 0; i < 3; i++)
        Answers[i] =
            "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(sizes[i]) +
            "\r\n\r\n" + Body(sizes[i]);
    std::string chunked = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n"
                          "Connection: close\r\n\r\n";
    const std::string piece = Body(1024);
    for (int i = 0; i < 16; i++)
        chunked += "400\r\n" + piece + "\r\n";
    Answers[3] = chunked + "0\r\n\r\n";
}

// One connection at a time, as the requests come one after the other: read
// the request, write the answer, end the sending side and wait for the
// client's end before closing, so that nothing is reset.
void Serve(int listener)
{
    for (;;) {
        int connection = accept(listener, nullptr, nullptr);
        if (connection < 0)
            continue;
        timeval limit = {2, 0};
        setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
        }
        const std::string *answer = nullptr;
        for (int i = 0; i < 4; i++) {
            const std::string line = std::string("GET ") + kPaths[i] + " ";
            if (request.compare(0, line.size(), line) == 0)
                answer = &Answers[i];
        }
        if (answer != nullptr) {
            size_t sent = 0;
            while (sent < answer->size()) {
                ssize_t n = send(connection, answer->data() + sent, answer->size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
        }
        shutdown(connection, SHUT_WR);
        while (recv(connection, buffer, sizeof buffer, 0) > 0) {
        }
        close(connection);
    }
}

bool StartBenchServer(void)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 ||
        listen(listener, 64) != 0 || getsockname(listener, reinterpret_cast<sockaddr *>(&at), &size) != 0)
        return false;
    BenchPort = ntohs(at.sin_port);
    std::thread(Serve, listener).detach();
    return true;
}

bool StartScriptedServer(void)
{
    std::string folder = kFolder + "/servers";
    std::filesystem::remove(folder + "/servers.txt");
    std::string command = "python3 '" + std::string(ROUSER_SOURCE_DIR) + "/tests/servers/serve.py' '" +
                          folder + "' --stop-on-eof --max-seconds 3600 >/dev/null";
    ServerPipe = popen(command.c_str(), "w");
    for (int i = 0; ServerPipe != nullptr && i < 600; i++) {
        std::ifstream in(folder + "/servers.txt");
        std::string name;
        int port;
        while (in >> name >> port)
            if (name == "scripted")
                ScriptedPort = port;
        if (ScriptedPort != 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string Url(int i)
{
    return "http://127.0.0.1:" + std::to_string(BenchPort) + kPaths[i];
}

std::string PluginParameter(int i)
{
    return "-tcprequest -portnumber=" + std::to_string(BenchPort) + "|127.0.0.1|GET " + kPaths[i] +
           " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
}

// The plug-in's answer: the header, then the body cut to the 64000-byte
// buffer, chunks decoded.
size_t ExpectedPluginSize(int i)
{
    size_t header = Answers[i].find("\r\n\r\n") + 4;
    size_t body = i == 3 ? 16 * 1024 : Answers[i].size() - header;
    return header + body < 64000 ? header + body : 64000;
}

void PluginFetch(benchmark::State &state)
{
    const int i = static_cast<int>(state.range(0));
    const std::string parameter = PluginParameter(i);
    for (auto _ : state) {
        HsCallResult result = HsCallFunction(kSendRemoteEvent, parameter);
        if (result.text.size() != ExpectedPluginSize(i)) {
            state.SkipWithError(("unexpected answer: " + result.text.substr(0, 40)).c_str());
            break;
        }
    }
    state.SetLabel(kLabels[i]);
}

size_t Collect(char *data, size_t size, size_t count, void *into)
{
    static_cast<std::string *>(into)->append(data, size * count);
    return size * count;
}

// libcurl as a program would use it: one handle, a fresh connection each
// time (the server closes), the body collected in memory.
void LibcurlFetch(benchmark::State &state)
{
    const int i = static_cast<int>(state.range(0));
    const std::string url = Url(i);
    std::string body;
    body.reserve(2 * 1024 * 1024);
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const size_t header = Answers[i].find("\r\n\r\n") + 4;
    const size_t expected = i == 3 ? 16 * 1024 : Answers[i].size() - header;
    for (auto _ : state) {
        body.clear();
        CURLcode code = curl_easy_perform(curl);
        if (code != CURLE_OK || body.size() != expected) {
            state.SkipWithError(code != CURLE_OK ? curl_easy_strerror(code) : "libcurl: short body");
            break;
        }
    }
    curl_easy_cleanup(curl);
    state.SetLabel(kLabels[i]);
}

// The whole curl process for one request, start-up included.
void CurlProcessFetch(benchmark::State &state)
{
    const int i = static_cast<int>(state.range(0));
    const std::string command = "curl -s -S -o /dev/null " + Url(i);
    for (auto _ : state) {
        if (system(command.c_str()) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetLabel(kLabels[i]);
}

// Per request of one process making kProcessRuns of them, its output
// thrown away: curl with the URL named that many times, and rouser-host
// with a script of as many calls, which it escapes and prints.
void ManyInOneProcess(benchmark::State &state, bool rouserHost)
{
    const int i = static_cast<int>(state.range(0));
    std::string command;
    if (rouserHost) {
        const std::string script = kFolder + "/many.rhs";
        std::ofstream out(script);
        for (int n = 0; n < kProcessRuns; n++)
            out << "call Rous-SendRemoteEvent -tcprequest -portnumber=" << BenchPort << "|127.0.0.1|GET "
                << kPaths[i] << " HTTP/1.0\\r\\nHost: 127.0.0.1\\r\\n\\r\\n\n";
        command = "'" + std::string(ROUSER_BENCH_DIR) + "/rouser-host' --script '" + script + "' >/dev/null";
    } else {
        command = "curl -s -S";
        for (int n = 0; n < kProcessRuns; n++)
            command += " " + Url(i);
        command += " >/dev/null";
    }
    for (auto _ : state) {
        if (system(command.c_str()) != 0) {
            state.SkipWithError("the process failed");
            break;
        }
    }
    state.counters["requests"] = kProcessRuns;
    state.SetLabel(kLabels[i]);
}

void RouserHostMany(benchmark::State &state)
{
    ManyInOneProcess(state, true);
}

void CurlProcessMany(benchmark::State &state)
{
    ManyInOneProcess(state, false);
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
// Five repetitions each, their median reported; scripts/bench interleaves
// them at random, so that other work on the machine falls on all alike.
BENCHMARK(PluginFetch)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond)->Repetitions(5)->UseRealTime();
BENCHMARK(LibcurlFetch)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond)->Repetitions(5)->UseRealTime();
BENCHMARK(CurlProcessFetch)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();
BENCHMARK(RouserHostMany)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->UseRealTime();
BENCHMARK(CurlProcessMany)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    MakeAnswers();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (!StartBenchServer() || !StartScriptedServer()) {
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
    curl_global_cleanup();
    benchmark::Shutdown();
    return 0;
}
