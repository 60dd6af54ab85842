// Operating-system seam of the sockets: one call, or one tight group, each.
// Errors are Windows Sockets numbers on every platform, 0 for success.
// Addresses are IPv4 in network byte order; ports in host order.
#ifndef ROUSER_OS_SOCKETS_H
#define ROUSER_OS_SOCKETS_H

#include <stdint.h>

#include "remote.h"

enum QuOsSocketKind { kOsDatagramSocket, kOsStreamSocket };

// What a wait on a socket waits for: data, the peer's end or an error to
// read; or room to send, a connection made, or one failed.
enum QuOsWaitKind { kOsWaitReadable, kOsWaitWritable };

// How a socket stands after a wait: nothing yet, ready as asked, or (for
// writability) failed.
enum QuOsSocketState { kOsSocketPending, kOsSocketReady, kOsSocketFailed };

// WSAStartup asking for `wanted`; *granted is the version the library gives.
int32_t QuOsStartSockets(uint16_t wanted, uint16_t *granted);
void QuOsStopSockets(void);

// A UDP or TCP socket over IPv4; *socket is kNoSocket on failure.
int32_t QuOsOpenSocket(QuOsSocketKind kind, QuSocket *socket);
int32_t QuOsCloseSocket(QuSocket socket);
int32_t QuOsBind(QuSocket socket, uint32_t address, uint16_t port);
int32_t QuOsSetNonBlocking(QuSocket socket);

// One datagram into the buffer, and the sender's IPv4 address (network
// byte order). A datagram longer than the capacity is lost and gives
// kWsaMessageSize, as Windows Sockets reports it.
int32_t QuOsReceiveFrom(QuSocket socket, char *buffer, int32_t capacity, int32_t *received, uint32_t *sender);
int32_t QuOsSendTo(QuSocket socket, uint32_t address, uint16_t port, const char *data, int32_t count);

// inet_addr: a dotted address, or all bits set for any other text.
uint32_t QuOsParseAddress(const char *text);
// The first address of a host name's entry.
int32_t QuOsResolveName(const char *name, uint32_t *address);
int32_t QuOsHostName(char *buffer, int32_t capacity);
// inet_ntoa: the dotted text, valid until the next call.
const char *QuOsAddressText(uint32_t address);

// 0 when connected at once; kWsaWouldBlock while the connection is in
// progress.
int32_t QuOsConnect(QuSocket socket, uint32_t address, uint16_t port);
// Waits at most `milliseconds` (0: only looks) until the socket is ready as
// asked (select on Windows Sockets, poll on POSIX). A failed connection
// shows in Windows' exception set and as an error condition beside
// writability on POSIX; both come back as kOsSocketFailed.
int32_t QuOsWaitSocket(QuSocket socket, QuOsWaitKind kind, int32_t milliseconds, QuOsSocketState *state);
// The socket's pending error (SO_ERROR), 0 when none.
int32_t QuOsPendingError(QuSocket socket, int32_t *error);
int32_t QuOsShutdownSend(QuSocket socket);
int32_t QuOsSend(QuSocket socket, const char *data, int32_t count, int32_t *sent);
int32_t QuOsReceive(QuSocket socket, char *buffer, int32_t capacity, int32_t *received);

#endif
