// The TLS seam on POSIX: OpenSSL, its default trusted roots (SSL_CERT_FILE
// and SSL_CERT_DIR name others, as for any OpenSSL program), and its
// failures turned into the numbers SChannel gives for the same thing.
#include <errno.h>
#include <string.h>
#include <sys/socket.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include "frame/errors.h"
#include "frame/host_overrides.h"
#include "frame/os_errors_posix.h"
#include "os_tls.h"

// The one session, from QuOsTlsBegin to QuOsTlsEnd; the context, the
// socket BIO's method and the trusted roots, made once; the session kept
// for the next request to the same peer, until QuOsTlsForget.
static struct {
    SSL_CTX *context;
    SSL *session;
    BIO_METHOD *socketMethod;
    X509_STORE *roots;
    uint8_t *rootsFrom; // the test's root the store holds; null: the system's
    int32_t rootsLength;
    SSL_SESSION *kept;
    char key[kTlsKeySize], keptKey[kTlsKeySize];
    // After a fatal error OpenSSL must not be asked for a close_notify.
    bool broken;
    // The handshake is complete: a HelloRequest from now on asks for a
    // renegotiation, which is refused and ends the session.
    bool established, renegotiationAsked;
    // The server has closed the connection: OpenSSL asks, to tell an end
    // without close_notify from a failure.
    bool peerClosed;
    // Where the bytes from the server stand in their records: header bytes
    // seen of the current one, and its body bytes still to come. A close
    // with either above 0 cut a record in the middle.
    int32_t headerSeen, recordLeft;
    uint8_t header[5];
} Tls;

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

// OpenSSL's own socket BIO writes with write(): a server that has gone
// would end the host by SIGPIPE. This one sends as the socket seam does.
static int QuBioWrite(BIO *bio, const char *data, int count)
{
    BIO_clear_retry_flags(bio);
    ssize_t n = send((int)(intptr_t)BIO_get_data(bio), data, (size_t)count, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return (int)n;
}

// Follows the record layer's five-byte headers through the bytes read.
static void QuTrackRecords(const char *data, ssize_t count)
{
    for (ssize_t i = 0; i < count;) {
        if (Tls.recordLeft > 0) {
            ssize_t take = count - i < Tls.recordLeft ? count - i : Tls.recordLeft;
            Tls.recordLeft -= (int32_t)take;
            i += take;
            continue;
        }
        Tls.header[Tls.headerSeen++] = (uint8_t)data[i++];
        if (Tls.headerSeen == 5) {
            Tls.recordLeft = Tls.header[3] << 8 | Tls.header[4];
            Tls.headerSeen = 0;
        }
    }
}

static int QuBioRead(BIO *bio, char *buffer, int capacity)
{
    BIO_clear_retry_flags(bio);
    ssize_t n = recv((int)(intptr_t)BIO_get_data(bio), buffer, (size_t)capacity, 0);
    Tls.peerClosed = Tls.peerClosed || n == 0;
    QuTrackRecords(buffer, n);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    return (int)n;
}

static long QuBioControl(BIO *, int command, long, void *)
{
    if (command == BIO_CTRL_EOF)
        return Tls.peerClosed ? 1 : 0;
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

static BIO *QuSocketBio(QuSocket socket)
{
    if (Tls.socketMethod == NULL) {
        Tls.socketMethod = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "rouser socket");
        if (Tls.socketMethod == NULL)
            return NULL;
        BIO_meth_set_write(Tls.socketMethod, QuBioWrite);
        BIO_meth_set_read(Tls.socketMethod, QuBioRead);
        BIO_meth_set_ctrl(Tls.socketMethod, QuBioControl);
    }
    BIO *bio = BIO_new(Tls.socketMethod);
    if (bio != NULL) {
        BIO_set_data(bio, (void *)(intptr_t)socket);
        BIO_set_init(bio, 1);
    }
    return bio;
}

// Sees every message OpenSSL reads; a renegotiation would bring a new
// certificate that nobody checks.
static void QuWatchMessages(int written, int, int contentType, const void *data, size_t length, SSL *, void *)
{
    const uint8_t *bytes = (const uint8_t *)data;
    if (!written && contentType == SSL3_RT_HANDSHAKE && length > 0 && bytes[0] == SSL3_MT_HELLO_REQUEST &&
        Tls.established)
        Tls.renegotiationAsked = true;
}

// The settings of every session, made at the first.
static SSL_CTX *QuContext(void)
{
    if (Tls.context != NULL)
        return Tls.context;
    Tls.context = SSL_CTX_new(TLS_client_method());
    if (Tls.context == NULL)
        return NULL;
    // The system's configuration decides, but never below TLS 1.2.
    long least = SSL_CTX_get_min_proto_version(Tls.context);
    if (least == 0 || least < TLS1_2_VERSION)
        SSL_CTX_set_min_proto_version(Tls.context, TLS1_2_VERSION);
    // No renegotiation, and no decrypted data left in OpenSSL's buffers. A
    // server that closes without close_notify ends the session as with it
    // (its session stays good to resume); the record layer's own count
    // below tells a close inside a record, and the answer's framing
    // whether the answer is whole.
    SSL_CTX_set_options(Tls.context,
                        SSL_OP_NO_RENEGOTIATION | SSL_OP_CLEANSE_PLAINTEXT | SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_msg_callback(Tls.context, QuWatchMessages);
    SSL_CTX_set_mode(Tls.context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return Tls.context;
}

int32_t QuOsTlsBegin(QuSocket socket, const char *serverName, const char *key)
{
    QuOsTlsEnd(false);
    ERR_clear_error();
    if (QuContext() == NULL)
        return kSecInternalError;
    size_t keyLength = strlen(key);
    if (keyLength >= sizeof Tls.key)
        return kSecInternalError;
    memcpy(Tls.key, key, keyLength + 1);
    Tls.session = SSL_new(Tls.context);
    BIO *bio = Tls.session != NULL ? QuSocketBio(socket) : NULL;
    if (bio == NULL) {
        QuOsTlsEnd(false);
        return kSecInternalError;
    }
    SSL_set_bio(Tls.session, bio, bio);
    SSL_set_connect_state(Tls.session);
    // The certificate is checked after the handshake, on both platforms.
    SSL_set_verify(Tls.session, SSL_VERIFY_NONE, NULL);
    if (serverName != NULL && SSL_set_tlsext_host_name(Tls.session, serverName) != 1) {
        QuOsTlsEnd(false);
        return kSecInternalError;
    }
    // The same peer as the last request, asked for in the same way: an
    // abbreviated handshake, if the server still knows the session.
    if (Tls.kept != NULL && strcmp(Tls.keptKey, key) == 0)
        SSL_set_session(Tls.session, Tls.kept);
    return 0;
}

// What a failed call left: kWsaWouldBlock and the direction to wait in, the socket's
// error, or the security number nearest to OpenSSL's reason.
static int32_t QuFailure(int result, QuOsWaitKind *wait)
{
    int kind = SSL_get_error(Tls.session, result);
    int32_t status = kSecIllegalMessage;
    Tls.broken = kind == SSL_ERROR_SYSCALL || kind == SSL_ERROR_SSL;
    if (kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) {
        *wait = kind == SSL_ERROR_WANT_READ ? kOsWaitReadable : kOsWaitWritable;
        status = kWsaWouldBlock;
    } else if (kind == SSL_ERROR_SYSCALL && errno != 0 && ERR_peek_error() == 0) {
        status = QuSocketError(errno);
    } else if (kind == SSL_ERROR_SYSCALL || kind == SSL_ERROR_ZERO_RETURN) {
        status = kSecIncompleteMessage; // the peer closed in the middle
    } else if (kind == SSL_ERROR_SSL) {
        switch (ERR_GET_REASON(ERR_peek_last_error())) {
        case SSL_R_UNSUPPORTED_PROTOCOL:
        case SSL_R_NO_PROTOCOLS_AVAILABLE:
        case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
        case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE:
        case SSL_R_NO_SHARED_CIPHER:
        case SSL_R_NO_CIPHERS_AVAILABLE:
            status = kSecAlgorithmMismatch;
            break;
        default:
            break;
        }
    }
    ERR_clear_error();
    return status;
}

int32_t QuOsTlsHandshake(QuOsWaitKind *wait)
{
    if (Tls.session == NULL)
        return kSecInternalError;
    ERR_clear_error();
    errno = 0;
    int result = SSL_do_handshake(Tls.session);
    Tls.established = result == 1;
    return result == 1 ? 0 : QuFailure(result, wait);
}

// OpenSSL's verification results as the certificate trust errors of Windows.
static int32_t QuTrustError(long result)
{
    switch (result) {
    case X509_V_OK:
        return 0;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return kCertExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return kCertNameMismatch;
    case X509_V_ERR_CERT_REVOKED:
        return kCertRevoked;
    case X509_V_ERR_INVALID_PURPOSE:
        return kCertWrongUsage;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return kCertBadSignature;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_CERT_UNTRUSTED:
        return kCertUntrustedRoot;
    default:
        return kCertChaining;
    }
}

static void QuForgetRoots(void);

// The roots: the one a test set, or else OpenSSL's defaults, read once
// for as long as the same ones are asked for.
static X509_STORE *QuTrustedRoots(void)
{
    const uint8_t *der;
    int32_t length;
    bool test = QuTrustedRootOverride(&der, &length);
    bool same = test ? Tls.rootsFrom != NULL && Tls.rootsLength == length &&
                           memcmp(Tls.rootsFrom, der, (size_t)length) == 0
                     : Tls.rootsFrom == NULL;
    if (Tls.roots != NULL && same)
        return Tls.roots;
    QuForgetRoots();
    X509_STORE *roots = X509_STORE_new();
    if (roots == NULL)
        return NULL;
    if (!test) {
        X509_STORE_set_default_paths(roots);
    } else {
        Tls.rootsFrom = (uint8_t *)OPENSSL_memdup(der, (size_t)length);
        X509 *root = d2i_X509(NULL, &der, length);
        if (Tls.rootsFrom == NULL || root == NULL || X509_STORE_add_cert(roots, root) != 1) {
            X509_free(root);
            X509_STORE_free(roots);
            QuForgetRoots();
            return NULL;
        }
        X509_free(root);
        Tls.rootsLength = length;
    }
    Tls.roots = roots;
    return roots;
}

// OpenSSL fetches nothing: the chain is what the server sent.
int32_t QuOsTlsCheckCertificate(const char *name, bool isAddress, int32_t)
{
    if (Tls.session == NULL)
        return kCertChaining;
    X509 *leaf = SSL_get1_peer_certificate(Tls.session);
    if (leaf == NULL)
        return kCertUntrustedRoot;
    int32_t status = kCertChaining;
    X509_STORE *roots = QuTrustedRoots();
    X509_STORE_CTX *check = X509_STORE_CTX_new();
    if (roots != NULL && check != NULL &&
        X509_STORE_CTX_init(check, roots, leaf, SSL_get_peer_cert_chain(Tls.session)) == 1) {
        X509_STORE_CTX_set_default(check, "ssl_server");
        X509_VERIFY_PARAM *param = X509_STORE_CTX_get0_param(check);
        // As browsers: a wildcard only as a whole label, and the names of
        // the subjectAltName alone, never the Common Name.
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS |
                                                   X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
        int named = isAddress ? X509_VERIFY_PARAM_set1_ip_asc(param, name)
                              : X509_VERIFY_PARAM_set1_host(param, name, 0);
        if (named == 1) {
            int verified = X509_verify_cert(check);
            status = QuTrustError(verified == 1 ? X509_V_OK : X509_STORE_CTX_get_error(check));
            if (verified != 1 && status == 0)
                status = kCertChaining;
        }
    }
    X509_STORE_CTX_free(check);
    X509_free(leaf);
    ERR_clear_error();
    return status;
}

static int32_t QuRefuseRenegotiation(void)
{
    ERR_clear_error();
    Tls.broken = true;
    return kSecUnsupportedFunction;
}

int32_t QuOsTlsSend(const char *data, int32_t count, int32_t *sent, QuOsWaitKind *wait)
{
    *sent = 0;
    if (Tls.session == NULL)
        return kSecInternalError;
    if (count <= 0)
        return 0;
    ERR_clear_error();
    errno = 0;
    int result = SSL_write(Tls.session, data, count);
    if (Tls.renegotiationAsked)
        return QuRefuseRenegotiation();
    if (result <= 0)
        return QuFailure(result, wait);
    *sent = result;
    return 0;
}

int32_t QuOsTlsReceive(char *buffer, int32_t capacity, int32_t *received, QuOsWaitKind *wait)
{
    *received = 0;
    if (Tls.session == NULL)
        return kSecInternalError;
    if (capacity <= 0)
        return 0;
    ERR_clear_error();
    errno = 0;
    int result = SSL_read(Tls.session, buffer, capacity);
    if (Tls.renegotiationAsked) {
        // Whatever came with the request is dropped with the session.
        OPENSSL_cleanse(buffer, (size_t)capacity);
        return QuRefuseRenegotiation();
    }
    if (result > 0) {
        *received = result;
        return 0;
    }
    int kind = SSL_get_error(Tls.session, result);
    bool ended = kind == SSL_ERROR_ZERO_RETURN ||
                 (Tls.peerClosed && kind == SSL_ERROR_SYSCALL && ERR_peek_error() == 0);
    if (!ended)
        return QuFailure(result, wait);
    // close_notify, or the end of the connection: at a record's end the
    // answer's framing decides; inside a record the answer is cut.
    ERR_clear_error();
    if (Tls.peerClosed && (Tls.headerSeen > 0 || Tls.recordLeft > 0)) {
        Tls.broken = true;
        return kSecIncompleteMessage;
    }
    return 0;
}

// Keeps the session for the next request with the same key, or, after a
// request that failed, lets no session of that key be offered again.
static void QuKeepSession(bool keep)
{
    SSL_SESSION *latest = keep && !Tls.broken ? SSL_get1_session(Tls.session) : NULL;
    if (latest != NULL && !SSL_SESSION_is_resumable(latest)) {
        SSL_SESSION_free(latest);
        latest = NULL;
    }
    if (latest == NULL && strcmp(Tls.keptKey, Tls.key) != 0)
        return;
    SSL_SESSION_free(Tls.kept);
    Tls.kept = latest;
    memcpy(Tls.keptKey, Tls.key, sizeof Tls.key);
}

void QuOsTlsEnd(bool keepSession)
{
    if (Tls.session != NULL) {
        QuKeepSession(keepSession);
        // One try: the socket is non-blocking and the close that follows
        // does not wait for the alert either.
        if (SSL_is_init_finished(Tls.session) && !Tls.broken)
            SSL_shutdown(Tls.session);
        SSL_free(Tls.session);
    }
    Tls.session = NULL;
    Tls.key[0] = 0;
    Tls.broken = Tls.established = Tls.renegotiationAsked = false;
    Tls.peerClosed = false;
    Tls.headerSeen = Tls.recordLeft = 0;
    ERR_clear_error();
}

static void QuForgetRoots(void)
{
    X509_STORE_free(Tls.roots);
    OPENSSL_free(Tls.rootsFrom);
    Tls.roots = NULL;
    Tls.rootsFrom = NULL;
    Tls.rootsLength = 0;
}

void QuOsTlsForget(void)
{
    QuOsTlsEnd(false);
    SSL_SESSION_free(Tls.kept);
    Tls.kept = NULL;
    Tls.keptKey[0] = 0;
    QuForgetRoots();
    SSL_CTX_free(Tls.context);
    Tls.context = NULL;
}
