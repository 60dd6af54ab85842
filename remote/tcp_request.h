// TCP requests of "Rous-SendRemoteEvent": the option readers, the search
// for the close-after text and the decoder that works the answer in place.
#ifndef ROUSER_TCP_REQUEST_H
#define ROUSER_TCP_REQUEST_H

#include <stdint.h>

#include "os_sockets.h"
#include "remote.h"

enum {
    kDefaultTimeoutTicks = 600,
    kMaxTimeoutSecs = 300,
    kMaxTimeoutTicks = 18000,
    kCloseTextSize = 1000,     // the close-after text and its terminator
    kResponseCapacity = 64000, // the result handle during the exchange
    kChunkLineSize = 2000      // a chunk-size line must be shorter than this
};

enum QuHttpState {
    kHttpAwaitHeader, // "\r\n\r\n" has not arrived yet
    kHttpPlainBody,   // nothing more to decode
    kHttpChunkSize,   // a chunk-size line is due at the chunk position
    kHttpLastChunk,   // the chunk of size 0 has been seen
    kHttpComplete     // the chunked body is complete
};

// The decoder of one answer, kept between reads. Its functions return the
// status apart from the state: 0 also while it waits for more data.
struct QuHttpDecoder {
    QuHttpState state;
    int32_t headerEnd; // where the body starts, once the header is complete
    int32_t chunkPos;  // the end of the body decoded so far
    bool chunked;      // the header names a chunked body
    // How the answer says where it ends, once its header is complete: -1
    // when it does not (no HTTP status line, no Content-Length, a length
    // that cannot be read), else the body's length from Content-Length, 0
    // for an answer that has no body (1xx, 204, 304, an answer to HEAD).
    int64_t bodyLength;
    bool headRequest; // the request asked for the header alone
};

// 600 ticks, or "-timeoutsecs" (0 to 300) times 60, or else "-timeoutticks"
// (0 to 18000). Out of range: kErrOutOfRange and *ticks stays 600.
int32_t QuReadTimeoutOption(const char *options, int32_t *ticks);
// The text inside -closeportafter="..." (exact, at most 999 characters),
// into `text` of kCloseTextSize bytes; empty when absent.
void QuReadCloseAfterOption(const char *options, char *text);

// Looks for `text` in data[*resume, length) and moves *resume past it, or
// back far enough that a text split between two reads is still found.
bool QuFindCloseText(const char *data, int32_t length, const char *text, int32_t textLength, int32_t *resume);

// Before the first read.
void QuStartHttpDecoder(QuHttpDecoder *decoder);
// Runs the decoder over the `*length` bytes received so far; called again
// after each read. It only ever moves bytes down inside the data, so the
// length never grows.
int32_t QuDecodeHTTPResponse(QuHttpDecoder *decoder, char *buffer, int32_t *length);
// The data now ends at `length`, before what was decoded so far perhaps.
void QuCutHttpResponse(QuHttpDecoder *decoder, int32_t length);
// After the server ended the connection: whether the answer's own framing
// shows it incomplete (a header without its empty line, fewer body bytes
// than Content-Length, a chunked body without its last chunk). An answer
// without framing is never cut: it ends where the connection ends.
bool QuHttpAnswerCut(const QuHttpDecoder *decoder, const char *buffer, int32_t length);
// Plain TCP, or TLS with or without the certificate checks.
enum QuTlsMode { kTlsOff, kTlsVerify, kTlsNoVerify };
// "-tls" or "-tlsNoVerify" (which contains "-tls"): the mode they ask for.
QuTlsMode QuReadTlsOption(const char *options);

// Connects to `address` (dotted or a host name) and `port`, over TLS when
// asked, sends the request and reads the answer into `response`, all
// within `timeout` ticks. *ioReturnedLen: the response's capacity in, the
// bytes it holds out. The diagnostic boxes appear while ShowDebugMessages
// is 1.
int32_t QuTCPRequest(const char *address, uint16_t port, const char *request, int32_t requestLength,
                     int32_t timeout, const char *closeText, int32_t closeLength, char *response,
                     int32_t *ioReturnedLen, QuTlsMode tls);

// ---- the connection a request speaks through (link.cpp) ----
struct QuLink {
    QuSocket socket;
    bool tls;
    QuOsWaitKind wait;   // where the TLS session last waited
    int32_t systemError; // the system's number behind a TLS code
};
// The connected socket, plain.
void QuLinkPlain(QuLink *link, QuSocket socket);
// TLS over the link's socket within the deadline: the handshake (SNI for a
// host name, none for an address), then unless `verify` is false the
// certificate against `address`. 0; kErrTimedOut; kErrTlsUntrusted,
// kErrTlsNameMismatch, kErrTlsExpired or kErrTlsHandshake; or a socket
// error.
// The link is closed with QuLinkClose whatever the outcome.
// The session of the last request that succeeded with the same address,
// port and `verify` is resumed where the server allows it.
int32_t QuLinkStartTls(QuLink *link, const char *address, uint16_t port, bool verify, uint32_t start,
                       int32_t timeout);
// As QuSendSome and QuReceiveSome; over TLS a session failure is
// kErrTlsHandshake. After kWsaWouldBlock a send offers the same bytes again.
int32_t QuLinkSend(QuLink *link, const char *data, int32_t count, int32_t *sent);
int32_t QuLinkReceive(QuLink *link, char *buffer, int32_t capacity, int32_t *received);
// As QuAwaitSocket; over TLS in the direction the session waits.
int32_t QuLinkAwait(QuLink *link, bool writable, uint32_t start, int32_t timeout);
// Ends the TLS session with its close_notify, then closes the connection.
// A request that `succeeded` keeps its session for the next one.
void QuLinkClose(QuLink *link, bool succeeded, uint32_t start, int32_t timeout);

// The hexadecimal size at the start of a chunk-size line, read as "%lx"
// reads it into a 32-bit long; kErrBadParameter when there is no number.
int32_t QuParseChunkSize(const char *line, int32_t lineLength, uint32_t *size);

#endif
