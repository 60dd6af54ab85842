// The sockets' seam on POSIX: BSD sockets, errors turned into the numbers
// Windows Sockets gives for the same failure. There is no library to start.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "frame/errors.h"
#include "frame/os_errors_posix.h"
#include "os_sockets.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

static int32_t QuFailed(void)
{
    return QuSocketError(errno);
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
    *granted = wanted;
    return 0;
}

void QuOsStopSockets(void)
{
}

int32_t QuOsOpenSocket(QuOsSocketKind kind, QuSocket *socketOut)
{
    // Close-on-exec: a program the host starts must not keep our port.
    int fd = kind == kOsStreamSocket ? socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP)
                                     : socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    *socketOut = fd < 0 ? kNoSocket : (QuSocket)fd;
    return fd < 0 ? QuFailed() : 0;
}

int32_t QuOsCloseSocket(QuSocket socket)
{
    return close((int)socket) != 0 ? QuFailed() : 0;
}

int32_t QuOsBind(QuSocket socket, uint32_t address, uint16_t port)
{
    struct sockaddr_in at = QuSocketAddress(address, port);
    return bind((int)socket, (struct sockaddr *)&at, sizeof at) != 0 ? QuFailed() : 0;
}

int32_t QuOsSetNonBlocking(QuSocket socket)
{
    int flags = fcntl((int)socket, F_GETFL);
    if (flags < 0 || fcntl((int)socket, F_SETFL, flags | O_NONBLOCK) != 0)
        return QuFailed();
    return 0;
}

int32_t QuOsReceiveFrom(QuSocket socket, char *buffer, int32_t capacity, int32_t *received, uint32_t *sender)
{
    struct sockaddr_in from;
    struct iovec piece = {buffer, (size_t)(capacity > 0 ? capacity : 0)};
    struct msghdr message;
    memset(&message, 0, sizeof message);
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    *received = 0;
    *sender = 0;
    ssize_t n = recvmsg((int)socket, &message, 0);
    if (n < 0)
        return QuFailed();
    // POSIX hands over the datagram's first part as if it were all of it;
    // Windows Sockets drops a datagram that does not fit, and so do we.
    if (message.msg_flags & MSG_TRUNC)
        return kWsaMessageSize;
    *received = (int32_t)n;
    *sender = from.sin_addr.s_addr;
    return 0;
}

int32_t QuOsSendTo(QuSocket socket, uint32_t address, uint16_t port, const char *data, int32_t count)
{
    struct sockaddr_in to = QuSocketAddress(address, port);
    ssize_t n = sendto((int)socket, data, (size_t)count, MSG_NOSIGNAL, (struct sockaddr *)&to, sizeof to);
    return n < 0 ? QuFailed() : 0;
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
        return QuResolverError(h_errno);
    if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list[0] == NULL)
        return QuResolverError(NO_DATA);
    memcpy(address, entry->h_addr_list[0], 4);
    return 0;
}

int32_t QuOsHostName(char *buffer, int32_t capacity)
{
    return gethostname(buffer, (size_t)capacity) != 0 ? QuFailed() : 0;
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
    return connect((int)socket, (struct sockaddr *)&to, sizeof to) != 0 ? QuFailed() : 0;
}

int32_t QuOsWaitSocket(QuSocket socket, QuOsWaitKind kind, int32_t milliseconds, QuOsSocketState *state)
{
    struct pollfd watch = {(int)socket, (short)(kind == kOsWaitReadable ? POLLIN : POLLOUT), 0};
    *state = kOsSocketPending;
    int n = poll(&watch, 1, milliseconds > 0 ? milliseconds : 0);
    if (n < 0)
        return errno == EINTR ? 0 : QuFailed();
    if (n == 0)
        return 0;
    // A refused connection is writable too; the error condition beside it
    // is what Windows puts in the exception set. For reading, an error or
    // the peer's end is for the next receive to report.
    if (kind == kOsWaitWritable && (watch.revents & (POLLERR | POLLHUP)))
        *state = kOsSocketFailed;
    else if (watch.revents != 0)
        *state = kOsSocketReady;
    return 0;
}

int32_t QuOsPendingError(QuSocket socket, int32_t *error)
{
    int value = 0;
    socklen_t size = sizeof value;
    *error = 0;
    if (getsockopt((int)socket, SOL_SOCKET, SO_ERROR, &value, &size) != 0)
        return QuFailed();
    *error = value != 0 ? QuSocketError(value) : 0;
    return 0;
}

int32_t QuOsShutdownSend(QuSocket socket)
{
    return shutdown((int)socket, SHUT_WR) != 0 ? QuFailed() : 0;
}

int32_t QuOsSend(QuSocket socket, const char *data, int32_t count, int32_t *sent)
{
    // A peer that has gone must give an error, not end the host by SIGPIPE.
    ssize_t n = send((int)socket, data, (size_t)(count > 0 ? count : 0), MSG_NOSIGNAL);
    *sent = n < 0 ? 0 : (int32_t)n;
    return n < 0 ? QuFailed() : 0;
}

int32_t QuOsReceive(QuSocket socket, char *buffer, int32_t capacity, int32_t *received)
{
    ssize_t n = recv((int)socket, buffer, (size_t)(capacity > 0 ? capacity : 0), 0);
    *received = n < 0 ? 0 : (int32_t)n;
    return n < 0 ? QuFailed() : 0;
}
