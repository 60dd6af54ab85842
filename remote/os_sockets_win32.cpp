// The sockets' seam on Windows: Windows Sockets 1.1 (WSOCK32), errors as
// WSAGetLastError gives them.
#include <winsock.h>

#include <string.h>

#include "os_sockets.h"

static int32_t QuFailed(void)
{
    return (int32_t)WSAGetLastError();
}

static SOCKET QuRaw(QuSocket socket)
{
    return (SOCKET)socket;
}

static struct sockaddr_in QuSocketAddress(uint32_t address, uint16_t port)
{
    struct sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    return to;
}

int32_t QuOsStartSockets(uint16_t wanted, uint16_t *granted)
{
    WSADATA data;
    int result = WSAStartup(wanted, &data);
    *granted = result == 0 ? data.wVersion : 0;
    return (int32_t)result;
}

void QuOsStopSockets(void)
{
    WSACleanup();
}

int32_t QuOsOpenSocket(QuOsSocketKind kind, QuSocket *socketOut)
{
    SOCKET s = kind == kOsStreamSocket ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)
                                       : socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    *socketOut = s == INVALID_SOCKET ? kNoSocket : (QuSocket)s;
    return s == INVALID_SOCKET ? QuFailed() : 0;
}

int32_t QuOsCloseSocket(QuSocket socket)
{
    return closesocket(QuRaw(socket)) != 0 ? QuFailed() : 0;
}

int32_t QuOsBind(QuSocket socket, uint32_t address, uint16_t port)
{
    struct sockaddr_in at = QuSocketAddress(address, port);
    return bind(QuRaw(socket), (struct sockaddr *)&at, sizeof at) != 0 ? QuFailed() : 0;
}

int32_t QuOsSetNonBlocking(QuSocket socket)
{
    u_long on = 1;
    return ioctlsocket(QuRaw(socket), FIONBIO, &on) != 0 ? QuFailed() : 0;
}

int32_t QuOsReceiveFrom(QuSocket socket, char *buffer, int32_t capacity, int32_t *received, uint32_t *sender)
{
    struct sockaddr_in from;
    int fromSize = sizeof from;
    *received = 0;
    *sender = 0;
    // A datagram larger than the buffer fails with WSAEMSGSIZE and is lost.
    int n = recvfrom(QuRaw(socket), buffer, capacity, 0, (struct sockaddr *)&from, &fromSize);
    if (n == SOCKET_ERROR)
        return QuFailed();
    *received = n;
    *sender = from.sin_addr.s_addr;
    return 0;
}

int32_t QuOsSendTo(QuSocket socket, uint32_t address, uint16_t port, const char *data, int32_t count)
{
    struct sockaddr_in to = QuSocketAddress(address, port);
    int n = sendto(QuRaw(socket), data, count, 0, (struct sockaddr *)&to, sizeof to);
    return n == SOCKET_ERROR ? QuFailed() : 0;
}

uint32_t QuOsParseAddress(const char *text)
{
    return (uint32_t)inet_addr(text);
}

int32_t QuOsResolveName(const char *name, uint32_t *address)
{
    *address = 0;
    struct hostent *entry = gethostbyname(name);
    if (entry == NULL)
        return QuFailed();
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list[0] == NULL)
        return WSANO_DATA;
    memcpy(address, entry->h_addr_list[0], 4);
    return 0;
}

int32_t QuOsHostName(char *buffer, int32_t capacity)
{
    return gethostname(buffer, capacity) != 0 ? QuFailed() : 0;
}

const char *QuOsAddressText(uint32_t address)
{
    struct in_addr in;
    in.s_addr = address;
    return inet_ntoa(in);
}

int32_t QuOsConnect(QuSocket socket, uint32_t address, uint16_t port)
{
    struct sockaddr_in to = QuSocketAddress(address, port);
    return connect(QuRaw(socket), (struct sockaddr *)&to, sizeof to) != 0 ? QuFailed() : 0;
}

// One socket in one set: Wine 8's server asserts, and takes the process
// down with it, when a select that names a socket in two sets completes
// at the wrong moment.
static int QuSelectOne(QuSocket socket, int set, int32_t milliseconds)
{
    fd_set one;
    struct timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    FD_ZERO(&one);
    FD_SET(QuRaw(socket), &one);
    return select(0, set == 0 ? &one : NULL, set == 1 ? &one : NULL, set == 2 ? &one : NULL, &wait);
}

int32_t QuOsWaitSocket(QuSocket socket, QuOsWaitKind kind, int32_t milliseconds, QuOsSocketState *state)
{
    if (milliseconds < 0)
        milliseconds = 0;
    *state = kOsSocketPending;
    // A reset makes a socket readable: the next receive reports it.
    int n = QuSelectOne(socket, kind == kOsWaitReadable ? 0 : 1, milliseconds);
    if (n == SOCKET_ERROR)
        return QuFailed();
    if (n > 0) {
        *state = kOsSocketReady;
        return 0;
    }
    // A failed connection never becomes writable; it shows in the
    // exception set, looked at once the wait is over.
    if (kind == kOsWaitWritable) {
        n = QuSelectOne(socket, 2, 0);
        if (n == SOCKET_ERROR)
            return QuFailed();
        if (n > 0)
            *state = kOsSocketFailed;
    }
    return 0;
}

int32_t QuOsPendingError(QuSocket socket, int32_t *error)
{
    int value = 0;
    int size = sizeof value;
    *error = 0;
    if (getsockopt(QuRaw(socket), SOL_SOCKET, SO_ERROR, (char *)&value, &size) != 0)
        return QuFailed();
    *error = value;
    return 0;
}

int32_t QuOsShutdownSend(QuSocket socket)
{
    return shutdown(QuRaw(socket), 1) != 0 ? QuFailed() : 0; // SD_SEND
}

int32_t QuOsSend(QuSocket socket, const char *data, int32_t count, int32_t *sent)
{
    int n = send(QuRaw(socket), data, count, 0);
    *sent = n == SOCKET_ERROR ? 0 : n;
    return n == SOCKET_ERROR ? QuFailed() : 0;
}

int32_t QuOsReceive(QuSocket socket, char *buffer, int32_t capacity, int32_t *received)
{
    int n = recv(QuRaw(socket), buffer, capacity, 0);
    *received = n == SOCKET_ERROR ? 0 : n;
    return n == SOCKET_ERROR ? QuFailed() : 0;
}
