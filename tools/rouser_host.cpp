// rouser-host: loads the plug-in module as the host does and drives it from
// a script of commands, printing what the plug-in makes the host do.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "hostsim/hostsim.h"
#include "resources/rouser_strings.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
static const char kModuleName[] = "RouserPlugIn.fmx";
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
static const char kModuleName[] = "RouserPlugIn.so";
#endif

namespace {

// The names the host reads from the module's string table, in its order.
const char *const kFunctionNames[] = {
    ROUS_STRING_F0, ROUS_STRING_F1, ROUS_STRING_F2, ROUS_STRING_F3, ROUS_STRING_F4,
    ROUS_STRING_F5, ROUS_STRING_F6, ROUS_STRING_F7, ROUS_STRING_F8, ROUS_STRING_F9,
};

// An open or a close of a file, kept so that the host's files stay open
// across a restart of the plug-in.
struct FileChange {
    bool open;
    std::string file;
    std::vector<std::string> scripts;
};

struct Host {
    std::string pluginPath;
    int hostVersion = 50;
    std::vector<std::string> windowClasses; // top of the z-order first
    void *module = nullptr;
    bool running = false; // start-up answered 4
    int errors = 0;
    std::vector<FileChange> fileChanges;
};

void Say(const std::string &line)
{
    fwrite(line.data(), 1, line.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void Complain(Host &host, const std::string &message)
{
    fprintf(stderr, "rouser-host: %s\n", message.c_str());
    fflush(stderr);
    host.errors++;
}

void ReportViolations(Host &host)
{
    for (const std::string &v : HsTakeViolations())
        Complain(host, "host rule broken: " + v);
}

std::string ProgramFolder(const char *argv0)
{
    std::string path;
#ifdef _WIN32
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    path = n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string(argv0);
#else
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    path = n > 0 && n < static_cast<ssize_t>(sizeof buffer) ? std::string(buffer, static_cast<size_t>(n))
                                                            : std::string(argv0);
#endif
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") + "/" : path.substr(0, cut + 1);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Unescape(const std::string &in, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] != '\\') {
            out->push_back(in[i]);
            continue;
        }
        if (++i >= in.size())
            return false;
        switch (in[i]) {
        case '\\':
            out->push_back('\\');
            break;
        case 'n':
            out->push_back('\n');
            break;
        case 'r':
            out->push_back('\r');
            break;
        case 't':
            out->push_back('\t');
            break;
        case 'x': {
            int hi = i + 1 < in.size() ? HexValue(in[i + 1]) : -1;
            int lo = i + 2 < in.size() ? HexValue(in[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                return false;
            out->push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

// One pass, no formatting call per byte: a 64 KB answer must print in far
// less time than it took to fetch.
std::string Escape(const std::string &in)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    for (unsigned char c : in) {
        if (c >= 32 && c <= 126 && c != '\\') {
            out.push_back(static_cast<char>(c));
            continue;
        }
        out.push_back('\\');
        if (c == '\\' || c == '\n' || c == '\r' || c == '\t') {
            out.push_back(c == '\\' ? '\\' : c == '\n' ? 'n' : c == '\r' ? 'r' : 't');
        } else {
            out.push_back('x');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

void ApplyFileChange(const FileChange &change)
{
    if (change.open)
        HsOpenFile(change.file, change.scripts);
    else
        HsCloseFile(change.file);
}

bool Load(Host &host)
{
    std::string error;
    HsEntryProc entry = nullptr;
    HsReset();
    for (const FileChange &change : host.fileChanges)
        ApplyFileChange(change);
    HsSetStartHook([](const HsScriptStart &start) {
        Say("started: " + Escape(start.file) + "\t" + Escape(start.script));
    });
    host.module = HsLoadModule(host.pluginPath.c_str(), &entry, &error);
    if (host.module == nullptr) {
        Complain(host, error);
        return false;
    }
    HsSetEntry(entry, host.module);
    int32_t answer = HsStartup(static_cast<int16_t>(host.hostVersion));
    Say("startup: " + std::to_string(answer));
    host.running = answer == 4;
    ReportViolations(host);
    return true;
}

void Unload(Host &host)
{
    if (host.module == nullptr)
        return;
    HsShutdown();
    ReportViolations(host);
    if (HsLiveHandles() != 0)
        Complain(host, "the plug-in leaked " + std::to_string(HsLiveHandles()) + " handle(s)");
    HsUnloadModule(host.module);
    host.module = nullptr;
    host.running = false;
}

void Wait(Host &host, long ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        if (host.running) {
            HsIdle(0);
            ReportViolations(host);
        }
#ifdef _WIN32
        // As a host's message loop: the host's windows answer whoever
        // sends them messages while it waits.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
#endif
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
}

void Call(Host &host, const std::string &args)
{
    size_t space = args.find(' ');
    std::string name = args.substr(0, space);
    std::string raw = space == std::string::npos ? std::string() : args.substr(space + 1);
    int index = -1;
    for (int i = 0; i < static_cast<int>(sizeof kFunctionNames / sizeof kFunctionNames[0]); i++) {
        if (name == kFunctionNames[i])
            index = i;
    }
    std::string parameter;
    if (index < 0) {
        Complain(host, "unknown function: " + name);
        return;
    }
    if (!Unescape(raw, &parameter)) {
        Complain(host, "bad escape in: " + raw);
        return;
    }
    if (!host.running) {
        Complain(host, "not called, the plug-in is not started: " + name);
        return;
    }
    HsCallResult result = HsCallFunction(static_cast<uint32_t>(index), parameter);
    Say("result: " + Escape(result.text));
    ReportViolations(host);
}

void Open(Host &host, const std::string &text)
{
    FileChange change{true, std::string(), {}};
    if (!HsParseOpenArgument(text, &change.file, &change.scripts)) {
        Complain(host, "bad open, FILE=SCRIPT[,SCRIPT...] expected: " + text);
        return;
    }
    ApplyFileChange(change);
    host.fileChanges.push_back(change);
}

void Close(Host &host, const std::string &file)
{
    if (!HsCloseFile(file)) {
        Complain(host, "no such open file: " + file);
        return;
    }
    host.fileChanges.push_back(FileChange{false, file, {}});
}

// The port of a UDP socket bound on every interface, 0 for anything else.
uint16_t AnyAddressUdpPort(uintptr_t socket)
{
    int type = 0;
    sockaddr_in at;
    memset(&at, 0, sizeof at);
#ifdef _WIN32
    int typeSize = sizeof type, size = sizeof at;
    SOCKET s = static_cast<SOCKET>(socket);
    if (getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &typeSize) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&at), &size) != 0)
        return 0;
#else
    socklen_t typeSize = sizeof type, size = sizeof at;
    int s = static_cast<int>(socket);
    if (getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &typeSize) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&at), &size) != 0)
        return 0;
#endif
    if (type != SOCK_DGRAM || at.sin_family != AF_INET || at.sin_addr.s_addr != htonl(INADDR_ANY))
        return 0;
    return ntohs(at.sin_port);
}

// The ports of this process's UDP sockets bound on every interface, the
// plug-in's listener among them: a listener started on port 0 is on the
// port the system chose, and whoever drives the host learns it here.
void UdpPorts()
{
    std::string ports;
#ifdef _WIN32
    // Sockets are handles, multiples of 4; the plug-in makes few.
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) == 0) {
        for (uintptr_t s = 4; s < 0x4000; s += 4) {
            if (uint16_t port = AnyAddressUdpPort(s))
                ports += " " + std::to_string(port);
        }
        WSACleanup();
    }
#else
    for (uintptr_t s = 0; s < 1024; s++) {
        if (uint16_t port = AnyAddressUdpPort(s))
            ports += " " + std::to_string(port);
    }
#endif
    Say("udp-ports:" + ports);
}

// Runs one command; false at quit.
bool Command(Host &host, std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (line.empty() || line[0] == '#')
        return true;
    size_t space = line.find(' ');
    std::string verb = line.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (verb == "call") {
        Call(host, rest);
    } else if (verb == "wait") {
        char *end = nullptr;
        long ms = strtol(rest.c_str(), &end, 10);
        if (rest.empty() || *end != 0 || ms < 0)
            Complain(host, "bad wait: " + line);
        else
            Wait(host, ms);
    } else if (verb == "open") {
        Open(host, rest);
    } else if (verb == "close" && !rest.empty()) {
        Close(host, rest);
    } else if (verb == "restart" && rest.empty()) {
        Unload(host);
        Load(host);
    } else if (verb == "udp-ports" && rest.empty()) {
        UdpPorts();
    } else if (verb == "quit" && rest.empty()) {
        return false;
    } else {
        Complain(host, "unknown command: " + line);
    }
    return true;
}

int Usage()
{
    fprintf(stderr, "usage: rouser-host [--plugin PATH] [--host-version N]"
                    " [--open FILE=SCRIPT[,SCRIPT...]]...\n"
                    "                   [--window-class NAME]... [--script FILE]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    Host host;
    const char *scriptPath = nullptr;
    host.pluginPath = ProgramFolder(argv[0]) + kModuleName;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage();
        if (arg == "--plugin")
            host.pluginPath = argv[++i];
        else if (arg == "--host-version")
            host.hostVersion = atoi(argv[++i]);
        else if (arg == "--window-class")
            host.windowClasses.push_back(argv[++i]);
        else if (arg == "--script")
            scriptPath = argv[++i];
        else if (arg == "--open") {
            FileChange change{true, std::string(), {}};
            if (!HsParseOpenArgument(argv[++i], &change.file, &change.scripts)) {
                fprintf(stderr, "rouser-host: bad --open %s\n", argv[i]);
                return Usage();
            }
            host.fileChanges.push_back(change);
        } else
            return Usage();
    }
    FILE *input = stdin;
    if (scriptPath != nullptr && (input = fopen(scriptPath, "r")) == nullptr) {
        fprintf(stderr, "rouser-host: cannot open %s\n", scriptPath);
        return 2;
    }
    // Made once, before the first start-up, and kept till the end: a
    // restart finds them again, as it would find the host's own windows.
    std::string error;
    if (!HsCreateWindows(host.windowClasses, &error)) {
        fprintf(stderr, "rouser-host: %s\n", error.c_str());
        return 2;
    }
    if (!Load(host)) {
        HsDestroyWindows();
        return 1;
    }
    std::string line;
    char chunk[4096];
    bool more = true;
    while (more && fgets(chunk, sizeof chunk, input) != nullptr) {
        line += chunk;
        if (line.back() != '\n' && !feof(input))
            continue;
        more = Command(host, line);
        line.clear();
    }
    Unload(host);
    HsDestroyWindows();
    if (input != stdin)
        fclose(input);
    return host.errors == 0 ? 0 : 1;
}
