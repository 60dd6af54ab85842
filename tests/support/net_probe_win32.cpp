#include "net_probe.h"

#include <winsock.h>

#include <string.h>

// Started once and never stopped, so that the plug-in's own start and stop
// of the sockets library do not reach the tests' sockets.
static void Start()
{
    static bool started = false;
    WSADATA data;
    if (!started)
        started = WSAStartup(0x0101, &data) == 0;
}

static sockaddr_in Loopback(uint16_t port, bool any = false)
{
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = any ? htonl(INADDR_ANY) : htonl(INADDR_LOOPBACK);
    at.sin_port = htons(port);
    return at;
}

static SOCKET Raw(const NetProbe &probe)
{
    return static_cast<SOCKET>(probe.socket);
}

static bool Bind(NetProbe *probe, int type, uint16_t port, bool any)
{
    Start();
    SOCKET s = socket(AF_INET, type, 0);
    probe->socket = s == INVALID_SOCKET ? -1 : static_cast<intptr_t>(s);
    sockaddr_in at = Loopback(port, any);
    int size = sizeof at;
    if (probe->socket == -1 || bind(s, reinterpret_cast<sockaddr *>(&at), size) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&at), &size) != 0) {
        ProbeClose(probe);
        return false;
    }
    probe->port = ntohs(at.sin_port);
    return true;
}

static bool Readable(NetProbe &probe, int ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(Raw(probe), &set);
    timeval wait = {ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &wait) > 0;
}

bool ProbeOpenUdp(NetProbe *probe, uint16_t port, bool anyAddress)
{
    return Bind(probe, SOCK_DGRAM, port, anyAddress);
}

bool ProbeReceive(NetProbe &probe, std::string *datagram, int ms)
{
    static char buffer[70000];
    datagram->clear();
    if (!Readable(probe, ms))
        return false;
    int n = recv(Raw(probe), buffer, sizeof buffer, 0);
    if (n == SOCKET_ERROR)
        return false;
    datagram->assign(buffer, static_cast<size_t>(n));
    return true;
}

bool ProbeSend(NetProbe &probe, uint16_t port, const std::string &bytes)
{
    sockaddr_in to = Loopback(port);
    return sendto(Raw(probe), bytes.data(), static_cast<int>(bytes.size()), 0,
                  reinterpret_cast<sockaddr *>(&to), sizeof to) == static_cast<int>(bytes.size());
}

bool ProbeListenTcp(NetProbe *probe, int backlog)
{
    return Bind(probe, SOCK_STREAM, 0, false) && listen(Raw(*probe), backlog) == 0;
}

bool ProbeAccept(NetProbe &listener, NetProbe *connection, int ms)
{
    if (!Readable(listener, ms))
        return false;
    SOCKET s = accept(Raw(listener), nullptr, nullptr);
    connection->socket = s == INVALID_SOCKET ? -1 : static_cast<intptr_t>(s);
    return connection->socket != -1;
}

std::string ProbeReadToEnd(NetProbe &connection, int ms)
{
    std::string all;
    char buffer[4096];
    while (Readable(connection, ms)) {
        int n = recv(Raw(connection), buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        all.append(buffer, static_cast<size_t>(n));
    }
    return all;
}

void ProbeClose(NetProbe *probe)
{
    if (probe->socket != -1)
        closesocket(Raw(*probe));
    probe->socket = -1;
}

bool ProbeBindTcp(NetProbe *probe)
{
    return Bind(probe, SOCK_STREAM, 0, false);
}

uint16_t ProbeLocalPort(intptr_t socket)
{
    Start();
    sockaddr_in at;
    int size = sizeof at;
    if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr *>(&at), &size) != 0)
        return 0;
    return ntohs(at.sin_port);
}
