// The socket layer: the sockets library, started on first use and stopped at
// shutdown; the one listening UDP socket; single datagrams out and in; and
// TCP connections made within a deadline and closed gracefully. Whatever
// waits on a socket waits on its readiness, never longer than 4 ticks at a
// time nor past the caller's deadline.
#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "os_crypto.h"
#include "os_sockets.h"
#include "remote.h"

static struct {
    int32_t started;
    QuSocket listener;
} Net = {0, kNoSocket};
const int32_t &SocketsStarted = Net.started;
const QuSocket &ListenerSocket = Net.listener;

enum {
    kSocketsVersion = 0x0101, // Windows Sockets 1.1
    kAnyAddress = 0,          // INADDR_ANY
    kWaitTicks = 4,
    kMillisecondsPerTick = 16, // as the busy wait counts them
    // How long the close waits for the peer's end after the answer: a
    // well-behaved server answers a half-close at once, and one that does
    // not holds the host no longer than this.
    kDrainTicks = 15,
    kDrainPiece = 65536
};

// Where the close reads what it throws away: large pieces, few reads.
static char DrainBuffer[kDrainPiece];

int32_t QuStartSockets(void)
{
    uint16_t granted;
    if (Net.started == 1)
        return 0;
    int32_t status = QuOsStartSockets(kSocketsVersion, &granted);
    if (status != 0)
        return status;
    if (granted != kSocketsVersion) {
        QuOsStopSockets();
        return kWsaVersionNotSupported;
    }
    Net.started = 1;
    return 0;
}

int32_t QuStopSockets(void)
{
    if (Net.started == 1) {
        QuOsStopSockets();
        Net.started = 0;
    }
    return 0;
}

void QuShutdownNetwork(void)
{
    QuCloseListener();
    QuStopSockets();
    QuOsCryptoClose();
}

int32_t QuOpenListener(uint16_t port)
{
    int32_t status = QuStartSockets();
    if (status != 0)
        return status;
    if (Net.listener != kNoSocket)
        return kErrListenerOpen;
    status = QuOsOpenSocket(kOsDatagramSocket, &Net.listener);
    if (status != 0) {
        Net.listener = kNoSocket;
        return status;
    }
    status = QuOsBind(Net.listener, kAnyAddress, port);
    if (status == 0)
        status = QuOsSetNonBlocking(Net.listener);
    if (status != 0) {
        QuOsCloseSocket(Net.listener);
        Net.listener = kNoSocket;
    }
    return status;
}

int32_t QuCloseListener(void)
{
    if (Net.listener != kNoSocket)
        QuOsCloseSocket(Net.listener);
    Net.listener = kNoSocket;
    return 0;
}

bool QuDatagramWaiting(void)
{
    QuOsSocketState state;
    return Net.listener != kNoSocket && QuOsWaitSocket(Net.listener, kOsWaitReadable, 0, &state) == 0 &&
           state == kOsSocketReady;
}

int32_t QuTakeDatagram(char *buffer, int32_t capacity, int32_t *length, uint32_t *sender)
{
    *length = 0;
    *sender = 0;
    if (Net.listener == kNoSocket)
        return kErrMemory;
    if (capacity > 0)
        buffer[0] = 0;
    int32_t received;
    int32_t status = QuOsReceiveFrom(Net.listener, buffer, capacity, &received, sender);
    if (status == 0)
        *length = received;
    return status;
}

int32_t QuReceiveDatagram(char *buffer, int32_t capacity, int32_t *length)
{
    uint32_t sender;
    int32_t status = QuTakeDatagram(buffer, capacity, length, &sender);
    return status == kWsaWouldBlock ? 0 : status;
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

// Waits until the socket is ready as asked, for at most 4 ticks and never
// past the deadline. On a replaced clock the time is passed on the counter
// and the socket looked at before and after.
static int32_t QuAwaitState(QuSocket socket, QuOsWaitKind kind, uint32_t start, int32_t timeout,
                            QuOsSocketState *state)
{
    *state = kOsSocketPending;
    uint32_t passed = QuTicksSince(start);
    if (timeout <= 0 || passed >= (uint32_t)timeout)
        return 0;
    uint32_t left = (uint32_t)timeout - passed;
    int32_t ticks = left < kWaitTicks ? (int32_t)left : kWaitTicks;
    if (!QuMillisecondsReplaced())
        return QuOsWaitSocket(socket, kind, ticks * kMillisecondsPerTick, state);
    int32_t status = QuOsWaitSocket(socket, kind, 0, state);
    if (status != 0 || *state != kOsSocketPending)
        return status;
    QuBusyWait(ticks);
    return QuOsWaitSocket(socket, kind, 0, state);
}

int32_t QuAwaitSocket(QuSocket socket, bool writable, uint32_t start, int32_t timeout)
{
    QuOsSocketState state;
    int32_t status =
        QuAwaitState(socket, writable ? kOsWaitWritable : kOsWaitReadable, start, timeout, &state);
    // A socket that cannot be waited on still must not be polled without
    // a pause: the next send or receive tells what is wrong with it.
    if (status != 0)
        QuBusyWait(kWaitTicks);
    return status;
}

// Waits for a connection in progress until it is made, fails or the
// deadline passes; 0 once connected.
static int32_t QuAwaitConnection(QuSocket socket, uint32_t start, int32_t timeout)
{
    while (QuBeforeDeadline(start, timeout)) {
        QuOsSocketState state;
        int32_t status = QuAwaitState(socket, kOsWaitWritable, start, timeout, &state);
        if (status != 0)
            return status;
        if (state == kOsSocketReady)
            return 0;
        if (state == kOsSocketFailed) {
            int32_t pending;
            status = QuOsPendingError(socket, &pending);
            if (pending != 0)
                return pending;
            return status != 0 ? status : kErrFailed;
        }
    }
    return kErrTimedOut;
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

void QuCloseConnection(QuSocket socket, uint32_t start, int32_t timeout)
{
    int32_t received;
    // Data left unread at the close, or arriving after it, would make the
    // platform answer with a reset: read on until the peer's end, for a
    // short while and only within the deadline.
    uint32_t passed = QuTicksSince(start);
    int32_t left = timeout > 0 && passed < (uint32_t)timeout ? (int32_t)((uint32_t)timeout - passed) : 0;
    int32_t drainTicks = left < kDrainTicks ? left : kDrainTicks;
    uint32_t drainStart = QuGetTicks();
    if (QuOsShutdownSend(socket) == 0) {
        for (;;) {
            int32_t status = QuOsReceive(socket, DrainBuffer, kDrainPiece, &received);
            if (status == kWsaWouldBlock && QuBeforeDeadline(drainStart, drainTicks)) {
                QuAwaitSocket(socket, false, drainStart, drainTicks);
                continue;
            }
            if (status != 0 || received <= 0)
                break;
        }
    }
    QuOsCloseSocket(socket);
}
