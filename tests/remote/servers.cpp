#include "servers.h"

#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

static std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Under Wine a Unix path is reached through drive Z:.
static std::string LocalPath(const std::string &path)
{
#ifdef _WIN32
    if (!path.empty() && path[0] == '/')
        return "Z:" + path;
#endif
    return path;
}

static bool ReadPorts(LoopbackServers *servers)
{
    std::istringstream lines(ReadFile(servers->folder + "/servers.txt"));
    std::string name;
    int port;
    while (lines >> name >> port) {
        const struct {
            const char *name;
            int *port;
        } kPorts[] = {{"plain", &servers->plain},        {"scripted", &servers->scripted},
                      {"refused", &servers->refused},    {"tls", &servers->tls},
                      {"tls-other", &servers->tlsOther}, {"tls-expired", &servers->tlsExpired},
                      {"tls-self", &servers->tlsSelf},   {"tls-cn", &servers->tlsCn},
                      {"tls-wild", &servers->tlsWild},   {"wire12", &servers->wire12},
                      {"wire13", &servers->wire13},      {"tls11", &servers->tls11},
                      {"tls-asks", &servers->tlsAsks}};
        for (const auto &p : kPorts)
            if (name == p.name)
                *p.port = port;
    }
    for (int port : {servers->plain, servers->scripted, servers->refused, servers->tls, servers->tlsOther,
                     servers->tlsExpired, servers->tlsSelf, servers->tlsCn, servers->tlsWild, servers->wire12,
                     servers->wire13, servers->tls11, servers->tlsAsks})
        if (port == 0)
            return false;
    return true;
}

#ifndef _WIN32
// The servers read their standard input from this pipe and stop when it
// closes, that is when this program ends, however it ends.
static FILE *ServerPipe;

static bool StartOwnServers(LoopbackServers *servers)
{
    std::string source = __FILE__;
    std::string script = source.substr(0, source.rfind('/')) + "/../servers/serve.py";
    servers->folder = std::string(ROUSER_BUILD_DIR) + "/test-servers";
    std::remove((servers->folder + "/servers.txt").c_str());
    std::string command =
        "python3 '" + script + "' '" + servers->folder + "' --stop-on-eof --max-seconds 3600 >/dev/null";
    ServerPipe = popen(command.c_str(), "w");
    if (ServerPipe == nullptr) {
        servers->why = "cannot run " + command;
        return false;
    }
    for (int i = 0; i < 600; i++) {
        if (ReadPorts(servers))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    servers->why = "the servers of " + script + " did not come up within a minute";
    return false;
}
#endif

bool ServersOptional(void)
{
#ifdef _WIN32
    return getenv("ROUSER_TEST_SERVERS") == nullptr;
#else
    return false;
#endif
}

const LoopbackServers &Servers(void)
{
    static LoopbackServers servers;
    static bool tried = false;
    if (tried)
        return servers;
    tried = true;
    const char *folder = getenv("ROUSER_TEST_SERVERS");
    if (folder != nullptr && *folder != 0) {
        servers.folder = LocalPath(folder);
        servers.ready = ReadPorts(&servers);
        if (!servers.ready)
            servers.why = "no servers.txt with every port in " + servers.folder;
        return servers;
    }
#ifdef _WIN32
    servers.why = "the loopback servers are started by scripts/test (ROUSER_TEST_SERVERS is not set)";
#else
    servers.ready = StartOwnServers(&servers);
#endif
    return servers;
}

std::string CurlReference(const std::string &name, const std::string &kind)
{
    return ReadFile(Servers().folder + "/curl/" + name + "." + kind);
}

std::string TestAuthority(void)
{
    return ReadFile(Servers().folder + "/tls/ca.der");
}
