// The TLS seam on POSIX: OpenSSL, its default trusted roots (SSL_CERT_FILE
// and SSL_CERT_DIR name others, as for any OpenSSL program), and its
// failures turned into the numbers SChannel gives for the same thing.
#include <errno.h>
#include <sys/socket.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include "frame/errors.h"
#include "frame/host_overrides.h"
#include "frame/os_errors_posix.h"
#include "os_tls.h"

// The one session, from QuOsTlsBegin to QuOsTlsEnd, and the socket BIO's
// method, made once.
static struct {
    SSL_CTX *context;
    SSL *session;
    BIO_METHOD *socketMethod;
    // After a fatal error OpenSSL must not be asked for a close_notify.
    bool broken;
    // The server has closed the connection: OpenSSL asks, to tell an end
    // without close_notify from a failure.
    bool peerClosed;
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

static int QuBioRead(BIO *bio, char *buffer, int capacity)
{
    BIO_clear_retry_flags(bio);
    ssize_t n = recv((int)(intptr_t)BIO_get_data(bio), buffer, (size_t)capacity, 0);
    Tls.peerClosed = Tls.peerClosed || n == 0;
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

int32_t QuOsTlsBegin(QuSocket socket, const char *serverName)
{
    QuOsTlsEnd();
    ERR_clear_error();
    Tls.context = SSL_CTX_new(TLS_client_method());
    if (Tls.context == NULL)
        return kSecInternalError;
    // The system's configuration decides, but never below TLS 1.0.
    long least = SSL_CTX_get_min_proto_version(Tls.context);
    if (least == 0 || least < TLS1_VERSION)
        SSL_CTX_set_min_proto_version(Tls.context, TLS1_VERSION);
    // A server that closes without close_notify ends the answer, as over TCP.
    SSL_CTX_set_options(Tls.context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(Tls.context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    Tls.session = SSL_new(Tls.context);
    BIO *bio = Tls.session != NULL ? QuSocketBio(socket) : NULL;
    if (bio == NULL) {
        QuOsTlsEnd();
        return kSecInternalError;
    }
    SSL_set_bio(Tls.session, bio, bio);
    SSL_set_connect_state(Tls.session);
    // The certificate is checked after the handshake, on both platforms.
    SSL_set_verify(Tls.session, SSL_VERIFY_NONE, NULL);
    if (serverName != NULL && SSL_set_tlsext_host_name(Tls.session, serverName) != 1) {
        QuOsTlsEnd();
        return kSecInternalError;
    }
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

// The roots: the one a test set, or else OpenSSL's defaults.
static X509_STORE *QuTrustedRoots(void)
{
    const uint8_t *der;
    int32_t length;
    X509_STORE *roots = X509_STORE_new();
    if (roots == NULL)
        return NULL;
    if (!QuTrustedRootOverride(&der, &length)) {
        X509_STORE_set_default_paths(roots);
        return roots;
    }
    X509 *root = d2i_X509(NULL, &der, length);
    if (root != NULL)
        X509_STORE_add_cert(roots, root);
    X509_free(root);
    return roots;
}

int32_t QuOsTlsCheckCertificate(const char *name, bool isAddress)
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
    X509_STORE_free(roots);
    X509_free(leaf);
    ERR_clear_error();
    return status;
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
    if (result > 0) {
        *received = result;
        return 0;
    }
    int kind = SSL_get_error(Tls.session, result);
    if (kind == SSL_ERROR_ZERO_RETURN) {
        ERR_clear_error();
        return 0; // close_notify, or the end of the connection
    }
    return QuFailure(result, wait);
}

void QuOsTlsEnd(void)
{
    if (Tls.session != NULL) {
        // One try: the socket is non-blocking and the close that follows
        // does not wait for the alert either.
        if (SSL_is_init_finished(Tls.session) && !Tls.broken)
            SSL_shutdown(Tls.session);
        SSL_free(Tls.session);
    }
    SSL_CTX_free(Tls.context);
    Tls.session = NULL;
    Tls.context = NULL;
    Tls.broken = false;
    Tls.peerClosed = false;
    ERR_clear_error();
}
