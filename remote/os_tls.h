// Operating-system seam of TLS: a client session over a connected,
// non-blocking socket, through SChannel on Windows and OpenSSL on POSIX.
// One session at a time, which the request that opened it ends. Errors are
// Windows numbers on every platform: Windows Sockets errors (kWsaWouldBlock when the
// session waits on the socket, with the direction in *wait) and security
// numbers (QuSecurityError), 0 for success.
#ifndef ROUSER_OS_TLS_H
#define ROUSER_OS_TLS_H

#include <stdint.h>

#include "os_sockets.h"
#include "remote.h"

// Starts a session on the socket. `serverName` goes out as the name the
// client asks for (SNI); null sends none.
int32_t QuOsTlsBegin(QuSocket socket, const char *serverName);
// Carries the handshake on as far as the socket allows: 0 once complete.
// No protocol older than TLS 1.0 is accepted.
int32_t QuOsTlsHandshake(QuOsWaitKind *wait);
// The server's certificate after the handshake: its chain to a trusted
// root, its dates, and `name` (a host name or a dotted address) against
// its names. 0, or the certificate's trust error (kCert...).
int32_t QuOsTlsCheckCertificate(const char *name, bool isAddress);
// Encrypts and sends. *sent counts the caller's bytes once they are on
// their way; after kWsaWouldBlock the caller offers the same bytes again.
int32_t QuOsTlsSend(const char *data, int32_t count, int32_t *sent, QuOsWaitKind *wait);
// Decrypted bytes: 0 with *received 0 once the server has ended the
// session or closed the connection.
int32_t QuOsTlsReceive(char *buffer, int32_t capacity, int32_t *received, QuOsWaitKind *wait);
// Sends the close_notify alert if the socket takes it at once and frees the
// session; the socket stays open. Harmless without a session.
void QuOsTlsEnd(void);

#endif
