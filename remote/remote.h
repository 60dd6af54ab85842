// Remote events: the socket layer, the remote-event datagram, the listener,
// the sending function and the machine's IP address. Socket errors are
// Windows Sockets numbers (10000 and up) on every platform.
#ifndef ROUSER_REMOTE_H
#define ROUSER_REMOTE_H

#include <stdint.h>

#include "frame/errors.h"
#include "frame/host_call.h"

enum {
    kDefaultPort = 54242,
    // The largest datagram, its NUL included: the sender's and the
    // listener's buffer.
    kDatagramSize = 7030,
    // Datagrams one poll may take and discard before it goes on to the due
    // events: as many small ones as a default receive buffer holds.
    kDatagramsPerPoll = 256,
    kKeySize = 1000
};

// A socket of the platform; kNoSocket when none (INVALID_SOCKET).
typedef intptr_t QuSocket;
const QuSocket kNoSocket = -1;

// ---- socket layer (sockets.cpp) ----
// 1 once the sockets library has started; it stays started until shutdown.
extern const int32_t &SocketsStarted;
extern const QuSocket &ListenerSocket;

// Starts Windows Sockets 1.1 unless started: 0, the start-up error, or
// kWsaVersionNotSupported when another version is granted.
int32_t QuStartSockets(void);
int32_t QuStopSockets(void);
// At host shutdown: closes the listener, then stops the sockets library.
void QuShutdownNetwork(void);
// Ends a TLS session if one is open (link.cpp), as at load.
void QuResetTlsSession(void);
// What one poll found at the listener.
enum { kListenerQuiet = 0, kListenerDiscarded = 1, kListenerAccepted = 2 };
// Takes waiting datagrams until one is accepted, discarding rejected ones,
// up to kDatagramsPerPoll: quiet when none waited, discarded when only
// rejected ones came, accepted when one became an event.
int32_t QuPollListener(void);
// One non-blocking UDP socket on every local interface: 0, kErrListenerOpen
// while one is open (it keeps listening), or the socket error.
int32_t QuOpenListener(uint16_t port);
int32_t QuCloseListener(void);
// True when a listener is open and something waits to be read, found by one
// look at the socket that never waits.
bool QuDatagramWaiting(void);
// Takes at most one waiting datagram: 0 with *length 0 when none waits,
// kErrMemory without a listener, or the socket error (kWsaMessageSize for a
// datagram larger than the capacity, which is then lost).
int32_t QuReceiveDatagram(char *buffer, int32_t capacity, int32_t *length);
// As QuReceiveDatagram, but kWsaWouldBlock when nothing waits, so that an
// empty datagram can be told from none; and the sender's IPv4 address.
int32_t QuTakeDatagram(char *buffer, int32_t capacity, int32_t *length, uint32_t *sender);
// Sends one datagram to a dotted IPv4 address; no name is looked up. 0 or
// the socket error; kErrBadParameter for a length beyond the largest
// datagram.
int32_t QuSendDatagram(const char *address, uint16_t port, const char *data, int32_t length);

// ---- TCP connections (sockets.cpp) ----
// A dotted address, or else the first address of a host name; the address
// in network byte order. 0 or the socket error.
int32_t QuLookupAddress(const char *text, uint32_t *address);
// Connects within `timeout` ticks from `start` (QuGetTicks). 0 with an open,
// non-blocking socket; otherwise *socket is kNoSocket and the status is the
// socket error (kWsaRefused when refused), kErrFailed, or kErrTimedOut when
// the deadline passed.
int32_t QuEstablishConnection(uint32_t address, uint16_t port, uint32_t start, int32_t timeout,
                              QuSocket *socket);
// One send on a connected socket: 0 and *sent, or the socket error
// (kWsaWouldBlock when it would block).
int32_t QuSendSome(QuSocket socket, const char *data, int32_t count, int32_t *sent);
// One receive: 0 and *received (0 when the peer has closed), or the socket
// error (kWsaWouldBlock when nothing has arrived).
int32_t QuReceiveSome(QuSocket socket, char *buffer, int32_t capacity, int32_t *received);
// Waits until the socket can be read (data, the peer's end or an error) or,
// when `writable`, written to (or has failed), for at most 4 ticks and not
// past `timeout` ticks from `start`: 0, or the error of a wait that could
// not be made (the time then passes in a busy wait).
int32_t QuAwaitSocket(QuSocket socket, bool writable, uint32_t start, int32_t timeout);
// Shuts the sending side, drains what the peer still sends until its end,
// for at most 15 ticks and within `timeout` ticks from `start`, and closes
// the socket in every case: a peer that ends its side sees an orderly end.
void QuCloseConnection(QuSocket socket, uint32_t start, int32_t timeout);

// ---- the remote-event datagram (datagram.cpp) ----
// What the listener reads from a datagram.
struct QuRemoteEvent {
    int32_t flags; // 0, 2 ("-BG") or 4 ("-DT")
    char key[kKeySize];
    int32_t payloadStart;  // where the file name begins
    int32_t payloadLength; // 0 or less: no payload
};

// The writer: a buffer of kDatagramSize bytes starts with the header and
// the tag "SCTR"; fields and marks are appended, and the NUL ends it.
// Appending fails with kErrBadParameter, changing nothing, where the datagram with its
// NUL would grow beyond kDatagramSize bytes.
void QuBeginDatagram(char *datagram, int32_t *length);
int32_t QuAppendToDatagram(char *datagram, int32_t *length, const char *bytes, int32_t count);
// "|" and the field.
int32_t QuAppendField(char *datagram, int32_t *length, const char *field);
int32_t QuEndDatagram(char *datagram, int32_t *length);

// Reads a received datagram of `length` bytes without looking past them:
// false when it lacks the header, "SCTR" in its tag field, or a separator
// after its key field.
bool QuReadDatagram(const char *datagram, int32_t length, QuRemoteEvent *event);

// ---- the sealed datagram (sealed.cpp) ----
enum {
    kSealMagicSize = 8,
    kSealCheckSize = 4,
    // Magic, key check, nonce, the time and the flags, and the tag: what a
    // sealed datagram adds to its payload.
    kSealOverhead = 8 + 4 + 12 + 9 + 16
};
// Why the listener dropped a datagram; the texts of -getLastDropReason.
enum QuDropReason {
    kDropNone,
    kDropWrongKey,
    kDropNotSealed,
    kDropBadSeal,
    kDropOutsideWindow,
    kDropReplay,
    kDropSenderNotAllowed,
    kDropMalformed
};
// A key and the secret derived from it.
struct QuSealKey {
    bool ready;
    char key[kKeySize];
    uint8_t secret[32];
    uint8_t check[kSealCheckSize];
};
// What a sealed datagram that opened holds; the payload lies in the
// opener's buffer.
struct QuSealedEvent {
    int64_t stamp; // the sender's UTC time, milliseconds since 1970
    int32_t flags;
    uint8_t nonce[12];
    int32_t payloadStart, payloadLength;
};
// Derives the secret of a non-empty key unless `seal` holds it already:
// 0, kErrBadParameter for an empty key, or kErrNoCryptography when the
// system cannot.
int32_t QuDeriveSealKey(const char *key, QuSealKey *seal);
// True when the datagram begins as a sealed one.
bool QuIsSealed(const char *datagram, int32_t length);
// Seals the payload and its flags, stamped with `stamp`, into a datagram
// of at most kDatagramSize bytes: 0, kErrBadParameter when it would be
// larger, kErrNoCryptography.
int32_t QuSealDatagram(const QuSealKey *seal, int64_t stamp, int32_t flags, const char *payload,
                       int32_t payloadLength, char *datagram, int32_t *length);
// Opens a sealed datagram into `plain` (kDatagramSize bytes): kDropNone,
// or malformed, wrong key (the key check differs) or bad seal.
QuDropReason QuOpenSealedDatagram(const QuSealKey *seal, const char *datagram, int32_t length, char *plain,
                                  QuSealedEvent *event);

// ---- listener (listener.cpp) ----
// The key a datagram must carry; empty: any key is accepted. Written only
// by "Rous-StartListener".
extern const char (&ListenerKey)[kKeySize];
// No key, no filters, nothing dropped or remembered, as at load.
void QuResetListenerKey(void);
// "-getDroppedCount" (datagrams dropped since the listener started) or
// "-getLastDropReason" (the reason's text, empty when none) into the
// result; false when the options name neither.
bool QuAnswerDropQuery(const char *options, HostHandle result);

// 54242, or the value of "-portnumber"; kErrOutOfRange when it lies outside
// 0 to 65535 (the port stays 54242).
int32_t QuReadPortOption(const char *options, uint16_t *port);
// Turns an accepted datagram into an event due now; true for such a one.
// Anything else is ignored without a trace.
bool QuHandleRemoteEvent(const char *datagram, int32_t length);

// ---- sending (send_remote_event.cpp) ----
// Switched by "-showdebugmessages" and "-stopdebugmessages"; only the TCP
// request shows message boxes.
extern const int32_t &ShowDebugMessages;
void QuShowDebugMessages(bool show);
// Forgets the last key sealed with, as at load.
void QuResetSealKey(void);

// The TCP request of "Rous-SendRemoteEvent -tcprequest": sends the
// parameter's bytes from `position` (past the address part's separator) to
// `address` (dotted or a host name) and `port`, and on success writes the
// answer into `result`. Returns the status; the caller writes the
// ErrorResult of a nonzero one.
int32_t QuTCPRequestEntry(HostHandle parameter, int32_t position, const char *address, uint16_t port,
                          const char *options, HostHandle result);

// ---- the remote subsystem's external functions ----
void ROUS_GetIPAddress(HostHandle parameter, HostHandle result);    // ip_address.cpp
void ROUS_SendRemoteEvent(HostHandle parameter, HostHandle result); // send_remote_event.cpp
void ROUS_StartListener(HostHandle parameter, HostHandle result);   // listener.cpp
void ROUS_StopListener(HostHandle parameter, HostHandle result);    // listener.cpp

// ---- IP address (ip_address.cpp) ----
// The dotted address of this computer's own name: 0, the socket error, or
// kErrTooLong when it does not fit.
int32_t QuGetHostAddress(char *buffer, int32_t capacity);

#endif
