// The socket layer: the sockets library, started on first use and stopped at
// shutdown; the one listening UDP socket; single datagrams out and in; and
// TCP connections made within a deadline and closed gracefully.
#include "frame/plugin_frame.h"
#include "os_sockets.h"
#include "remote.h"

int32_t SocketsStarted;
QuSocket ListenerSocket = kNoSocket;

enum {
    kSocketsVersion = 0x0101, // Windows Sockets 1.1
    kAnyAddress = 0,          // INADDR_ANY
    kConnectPollTicks = 4,
    kDrainPiece = 1024
};

int32_t QuStartSockets(void)
{
    uint16_t granted;
    if (SocketsStarted == 1)
        return 0;
    int32_t status = QuOsStartSockets(kSocketsVersion, &granted);
    if (status != 0)
        return status;
    if (granted != kSocketsVersion) {
        QuOsStopSockets();
        return kWsaVersionNotSupported;
    }
    SocketsStarted = 1;
    return 0;
}

int32_t QuStopSockets(void)
{
    if (SocketsStarted == 1) {
        QuOsStopSockets();
        SocketsStarted = 0;
    }
    return 0;
}

void QuShutdownNetwork(void)
{
    QuCloseListener();
    QuStopSockets();
}

int32_t QuOpenListener(uint16_t port)
{
    int32_t status = QuStartSockets();
    if (status != 0)
        return status;
    if (ListenerSocket != kNoSocket)
        return kErrListenerOpen;
    status = QuOsOpenSocket(kOsDatagramSocket, &ListenerSocket);
    if (status != 0) {
        ListenerSocket = kNoSocket;
        return status;
    }
    status = QuOsBind(ListenerSocket, kAnyAddress, port);
    if (status == 0)
        status = QuOsSetNonBlocking(ListenerSocket);
    if (status != 0) {
        QuOsCloseSocket(ListenerSocket);
        ListenerSocket = kNoSocket;
    }
    return status;
}

int32_t QuCloseListener(void)
{
    if (ListenerSocket != kNoSocket)
        QuOsCloseSocket(ListenerSocket);
    ListenerSocket = kNoSocket;
    return 0;
}

int32_t QuReceiveDatagram(char *buffer, int32_t capacity, int32_t *length)
{
    *length = 0;
    if (ListenerSocket == kNoSocket)
        return kErrMemory;
    if (capacity > 0)
        buffer[0] = 0;
    int32_t received;
    int32_t status = QuOsReceiveFrom(ListenerSocket, buffer, capacity, &received);
    if (status == kWsaWouldBlock)
        return 0;
    if (status == 0)
        *length = received;
    return status;
}

int32_t QuSendDatagram(const char *address, uint16_t port, const char *data, int32_t length)
{
    QuSocket socket;
    // Whatever the caller assembled, nothing larger than a listener takes
    // in is ever sent.
    if (length < 0 || length > kDatagramSize)
        return kErrBadParameter;
    int32_t status = QuStartSockets();
    if (status != 0)
        return status;
    // No name lookup here: any text but a dotted address gives all bits
    // set, which the platform refuses as a broadcast.
    uint32_t to = QuOsParseAddress(address);
    status = QuOsOpenSocket(kOsDatagramSocket, &socket);
    if (status != 0)
        return status;
    status = QuOsSendTo(socket, to, port, data, length);
    QuOsCloseSocket(socket);
    return status;
}

int32_t QuLookupAddress(const char *text, uint32_t *address)
{
    *address = QuOsParseAddress(text);
    if (*address != 0xFFFFFFFFu)
        return 0;
    return QuOsResolveName(text, address);
}

// Polls a connection in progress until it is made, fails or the deadline
// passes; 0 once connected.
static int32_t QuAwaitConnection(QuSocket socket, uint32_t start, int32_t timeout)
{
    while (QuBeforeDeadline(start, timeout)) {
        QuOsConnectState state;
        int32_t status = QuOsPollConnect(socket, &state);
        if (status != 0)
            return status;
        if (state == kOsConnected)
            return 0;
        if (state == kOsConnectFailed) {
            int32_t pending;
            status = QuOsPendingError(socket, &pending);
            if (pending != 0)
                return pending;
            return status != 0 ? status : kErrConnectFailed;
        }
        QuBusyWait(kConnectPollTicks);
    }
    return kErrDeadline;
}

int32_t QuEstablishConnection(uint32_t address, uint16_t port, uint32_t start, int32_t timeout,
                              QuSocket *socket)
{
    *socket = kNoSocket;
    QuSocket s;
    int32_t status = QuOsOpenSocket(kOsStreamSocket, &s);
    if (status != 0)
        return status;
    status = QuOsSetNonBlocking(s);
    if (status == 0) {
        status = QuOsConnect(s, address, port);
        if (status == kWsaWouldBlock)
            status = QuAwaitConnection(s, start, timeout);
    }
    if (status != 0) {
        QuOsCloseSocket(s);
        return status;
    }
    *socket = s;
    return 0;
}

int32_t QuSendSome(QuSocket socket, const char *data, int32_t count, int32_t *sent)
{
    return QuOsSend(socket, data, count, sent);
}

int32_t QuReceiveSome(QuSocket socket, char *buffer, int32_t capacity, int32_t *received)
{
    return QuOsReceive(socket, buffer, capacity, received);
}

void QuCloseConnection(QuSocket socket)
{
    char discard[kDrainPiece];
    int32_t received;
    if (QuOsShutdownSend(socket) == 0) {
        // Until the peer has closed; a read that would block ends it too.
        while (QuOsReceive(socket, discard, sizeof discard, &received) == 0 && received > 0) {
        }
    }
    QuOsCloseSocket(socket);
}
