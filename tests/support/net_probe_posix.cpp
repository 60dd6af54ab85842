#include "net_probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static sockaddr_in Loopback(uint16_t port, bool any = false)
{
    sockaddr_in at;
    memset(&at, 0, sizeof at);
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = any ? htonl(INADDR_ANY) : htonl(INADDR_LOOPBACK);
    at.sin_port = htons(port);
    return at;
}

static bool Bind(NetProbe *probe, int type, uint16_t port, bool any)
{
    probe->socket = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in at = Loopback(port, any);
    socklen_t size = sizeof at;
    if (probe->socket < 0 ||
        bind(static_cast<int>(probe->socket), reinterpret_cast<sockaddr *>(&at), size) != 0 ||
        getsockname(static_cast<int>(probe->socket), reinterpret_cast<sockaddr *>(&at), &size) != 0) {
        ProbeClose(probe);
        return false;
    }
    probe->port = ntohs(at.sin_port);
    return true;
}

static bool Readable(NetProbe &probe, int ms)
{
    pollfd watch = {static_cast<int>(probe.socket), POLLIN, 0};
    return poll(&watch, 1, ms) > 0;
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
    ssize_t n = recv(static_cast<int>(probe.socket), buffer, sizeof buffer, 0);
    if (n < 0)
        return false;
    datagram->assign(buffer, static_cast<size_t>(n));
    return true;
}

bool ProbeSend(NetProbe &probe, uint16_t port, const std::string &bytes)
{
    sockaddr_in to = Loopback(port);
    return sendto(static_cast<int>(probe.socket), bytes.data(), bytes.size(), 0,
                  reinterpret_cast<sockaddr *>(&to), sizeof to) == static_cast<ssize_t>(bytes.size());
}

bool ProbeListenTcp(NetProbe *probe, int backlog)
{
    return Bind(probe, SOCK_STREAM, 0, false) && listen(static_cast<int>(probe->socket), backlog) == 0;
}

bool ProbeAccept(NetProbe &listener, NetProbe *connection, int ms)
{
    if (!Readable(listener, ms))
        return false;
    connection->socket = accept4(static_cast<int>(listener.socket), nullptr, nullptr, SOCK_CLOEXEC);
    return connection->socket >= 0;
}

std::string ProbeReadToEnd(NetProbe &connection, int ms)
{
    std::string all;
    char buffer[4096];
    while (Readable(connection, ms)) {
        ssize_t n = recv(static_cast<int>(connection.socket), buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        all.append(buffer, static_cast<size_t>(n));
    }
    return all;
}

void ProbeClose(NetProbe *probe)
{
    if (probe->socket >= 0)
        close(static_cast<int>(probe->socket));
    probe->socket = -1;
}

bool ProbeBindTcp(NetProbe *probe)
{
    return Bind(probe, SOCK_STREAM, 0, false);
}

uint16_t ProbeLocalPort(intptr_t socket)
{
    sockaddr_in at;
    socklen_t size = sizeof at;
    if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr *>(&at), &size) != 0)
        return 0;
    return ntohs(at.sin_port);
}
