// Operating-system seam of TLS: a client session over a connected,
// non-blocking socket, through SChannel on Windows and OpenSSL on POSIX.
// One session at a time, which the request that opened it ends; what lets
// the next request to the same peer resume it is kept. Errors are
// Windows numbers on every platform: Windows Sockets errors (kWsaWouldBlock when the
// session waits on the socket, with the direction in *wait) and security
// numbers (QuSecurityError), 0 for success.
#ifndef ROUSER_OS_TLS_H
#define ROUSER_OS_TLS_H

#include <stdint.h>

#include "os_sockets.h"
#include "remote.h"

enum {
    kTlsNameSize = 1000,    // a host name and its terminator
    kTlsKeySize = 1000 + 16 // a peer's key: the name, the port and the mode
};

// Starts a session on the socket. `serverName` goes out as the name the
// client asks for (SNI); null sends none. `key` names the peer and how the
// session is checked: the session kept from a request with the same key
// is offered for resumption, no other.
int32_t QuOsTlsBegin(QuSocket socket, const char *serverName, const char *key);
// Carries the handshake on as far as the socket allows: 0 once complete.
// No protocol older than TLS 1.2 is accepted.
int32_t QuOsTlsHandshake(QuOsWaitKind *wait);
// The server's certificate after the handshake: its chain to a trusted
// root, its dates, and `name` (a host name without a final dot, or a
// dotted address) against its names, as browsers match them. 0, or the
// certificate's trust error (kCert...). An issuer that must be fetched is
// fetched within `msLeft` milliseconds, or not at all.
int32_t QuOsTlsCheckCertificate(const char *name, bool isAddress, int32_t msLeft);
// Whether a DNS name of a certificate's subjectAltName names the host
// `name`: letter case aside equal, or a wildcard that is the whole first
// label of a pattern of three labels or more, standing for one label.
// The Windows side matches with it, as OpenSSL does on POSIX.
bool QuCertNameMatches(const char *pattern, int32_t patternLength, const char *name);
// Encrypts and sends. *sent counts the caller's bytes once they are on
// their way; after kWsaWouldBlock the caller offers the same bytes again.
int32_t QuOsTlsSend(const char *data, int32_t count, int32_t *sent, QuOsWaitKind *wait);
// Decrypted bytes: 0 with *received 0 once the server has ended the
// session or closed the connection.
int32_t QuOsTlsReceive(char *buffer, int32_t capacity, int32_t *received, QuOsWaitKind *wait);
// Sends the close_notify alert if the socket takes it at once and frees the
// session; the socket stays open. Harmless without a session. With
// `keepSession` (the request succeeded) what resumes the session is kept
// for its key; without, nothing of that key is kept.
void QuOsTlsEnd(bool keepSession);
// Ends any session and lets go of what was kept for the next one.
void QuOsTlsForget(void);

#endif
