// The TLS seam on Windows: SChannel through SSPI (Secur32), which every
// Windows has, and the certificate checked with Crypt32's chain engine
// against the system's roots. SChannel only transforms bytes; the sends and
// receives on the non-blocking socket are made here, and whatever the
// socket does not take or give at once waits in the buffers below.
#define SECURITY_WIN32
// The chain's retrieval time-out is one of these fields.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <winsock.h>

// The newer form of the credentials, the one that allows TLS 1.3.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#include <schannel.h>
#include <security.h>
#include <stddef.h>
#include <string.h>
#include <wincrypt.h>

#include "frame/errors.h"
#include "frame/host_overrides.h"
#include "os_tls.h"

enum {
    // A whole record must fit: 16 KB of data and its encryption's overhead,
    // twice, so that a record and the start of the next one fit together.
    kIncomingSize = 2 * (16384 + 2048 + 5),
    kOutgoingSize = 16384 + 2048 + 5,
    kPlainSize = 16384 + 2048,
    kNameSize = 1000,
    // Steps of SChannel within one call, each on bytes it has not seen: a
    // provider that takes nothing and gives nothing must not hold the host.
    kMaxSteps = 1000
};

static const DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                   ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                   ISC_REQ_MANUAL_CRED_VALIDATION;

// The one session, from QuOsTlsBegin to QuOsTlsEnd; the socket is read
// only once credentials are held. The credentials of the last request that
// succeeded are kept with its key, until QuOsTlsForget: SChannel resumes
// a session of the same credentials and server name.
static struct {
    SOCKET socket;
    CredHandle credentials, keptCredentials;
    bool haveKept;
    char key[kTlsKeySize], keptKey[kTlsKeySize];
    CtxtHandle context;
    bool haveCredentials, haveContext, established, peerEnded, needInput;
    // After a fatal error no close_notify goes out.
    bool broken;
    DWORD contextFlags; // kContextFlags, and what the handshake added
    DWORD protocol;     // the protocol agreed, once established
    char serverName[kNameSize];
    SecPkgContext_StreamSizes sizes;
    // Received and not yet decrypted; decrypted and not yet handed out; to
    // send, with the caller's bytes it carries.
    char incoming[kIncomingSize];
    int32_t incomingLength;
    char plain[kPlainSize];
    int32_t plainStart, plainLength;
    char outgoing[kOutgoingSize];
    int32_t outgoingLength, outgoingSent, outgoingCarries;
} Tls;

static int32_t QuFlush(QuOsWaitKind *wait)
{
    while (Tls.outgoingSent < Tls.outgoingLength) {
        int n = send(Tls.socket, Tls.outgoing + Tls.outgoingSent, Tls.outgoingLength - Tls.outgoingSent, 0);
        if (n == SOCKET_ERROR) {
            *wait = kOsWaitWritable;
            return (int32_t)WSAGetLastError();
        }
        Tls.outgoingSent += n;
    }
    Tls.outgoingLength = Tls.outgoingSent = 0;
    return 0;
}

// One receive after what is buffered; *closed when the server has closed.
static int32_t QuFill(QuOsWaitKind *wait, bool *closed)
{
    *closed = false;
    if (Tls.incomingLength >= kIncomingSize)
        return kSecIllegalMessage; // no record is this long
    int n = recv(Tls.socket, Tls.incoming + Tls.incomingLength, kIncomingSize - Tls.incomingLength, 0);
    if (n == SOCKET_ERROR) {
        *wait = kOsWaitReadable;
        return (int32_t)WSAGetLastError();
    }
    *closed = n == 0;
    Tls.incomingLength += n;
    Tls.needInput = false;
    return 0;
}

// Puts a token SChannel made behind what waits to be sent, and frees it.
static int32_t QuQueueToken(SecBuffer *token)
{
    int32_t status = 0;
    if (token->pvBuffer != NULL && token->cbBuffer > 0) {
        if (token->cbBuffer > (unsigned long)(kOutgoingSize - Tls.outgoingLength))
            status = kSecInternalError;
        else
            memcpy(Tls.outgoing + Tls.outgoingLength, token->pvBuffer, token->cbBuffer);
        if (status == 0)
            Tls.outgoingLength += (int32_t)token->cbBuffer;
    }
    if (token->pvBuffer != NULL)
        FreeContextBuffer(token->pvBuffer);
    token->pvBuffer = NULL;
    return status;
}

// Keeps what SChannel left unread at the end of the incoming bytes, and
// wipes the rest: DecryptMessage decrypts in place.
static void QuKeepExtra(const SecBuffer *buffer)
{
    int32_t kept = 0;
    if (buffer->BufferType == SECBUFFER_EXTRA && buffer->cbBuffer > 0 &&
        buffer->cbBuffer <= (unsigned long)Tls.incomingLength) {
        kept = (int32_t)buffer->cbBuffer;
        memmove(Tls.incoming, Tls.incoming + Tls.incomingLength - kept, (size_t)kept);
    }
    SecureZeroMemory(Tls.incoming + kept, (size_t)(Tls.incomingLength - kept));
    Tls.incomingLength = kept;
}

// One step of the handshake on what has arrived (nothing at the first and
// the closing step); its token goes out next.
static SECURITY_STATUS QuHandshakeStep(bool withInput)
{
    SecBuffer in[2], out[1];
    in[0].BufferType = SECBUFFER_TOKEN;
    in[0].pvBuffer = Tls.incoming;
    in[0].cbBuffer = (unsigned long)Tls.incomingLength;
    in[1].BufferType = SECBUFFER_EMPTY;
    in[1].pvBuffer = NULL;
    in[1].cbBuffer = 0;
    out[0].BufferType = SECBUFFER_TOKEN;
    out[0].pvBuffer = NULL;
    out[0].cbBuffer = 0;
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in}, outDesc = {SECBUFFER_VERSION, 1, out};
    unsigned long attributes = 0;
    SECURITY_STATUS s =
        InitializeSecurityContextA(&Tls.credentials, Tls.haveContext ? &Tls.context : NULL,
                                   Tls.serverName[0] != 0 ? Tls.serverName : NULL, Tls.contextFlags, 0, 0,
                                   withInput ? &inDesc : NULL, 0, &Tls.context, &outDesc, &attributes, NULL);
    Tls.haveContext =
        Tls.haveContext || s == SEC_E_OK || s == SEC_I_CONTINUE_NEEDED || s == SEC_E_INCOMPLETE_MESSAGE;
    // A failure may come with an alert for the server.
    if (QuQueueToken(&out[0]) != 0 && !FAILED(s))
        s = kSecInternalError;
    // After SEC_I_INCOMPLETE_CREDENTIALS the same input goes in again.
    if (s == SEC_E_INCOMPLETE_MESSAGE)
        Tls.needInput = true;
    else if (s == SEC_E_OK || s == SEC_I_CONTINUE_NEEDED)
        QuKeepExtra(&in[1]);
    if (s == SEC_I_CONTINUE_NEEDED)
        Tls.needInput = Tls.incomingLength == 0;
    return s;
}

static void QuClear(void)
{
    // Nothing of the session's plaintext stays behind it.
    SecureZeroMemory(Tls.incoming, sizeof Tls.incoming);
    SecureZeroMemory(Tls.plain, sizeof Tls.plain);
    SecureZeroMemory(Tls.outgoing, sizeof Tls.outgoing);
    Tls.haveCredentials = Tls.haveContext = Tls.established = Tls.peerEnded = Tls.needInput = Tls.broken =
        false;
    Tls.contextFlags = kContextFlags;
    Tls.protocol = 0;
    Tls.incomingLength = Tls.plainStart = Tls.plainLength = Tls.outgoingLength = Tls.outgoingSent =
        Tls.outgoingCarries = 0;
    Tls.serverName[0] = 0;
    Tls.key[0] = 0;
    Tls.socket = INVALID_SOCKET;
}

// TLS 1.2 and, where the system has it, 1.3, with strong cryptography
// only; the certificate is checked after the handshake, against the name
// the caller gave, and no client certificate is offered. The newer form
// of the credentials is the one that allows TLS 1.3; a system that does
// not know it takes the older one, which stops at TLS 1.2.
static SECURITY_STATUS QuAcquireCredentials(void)
{
    const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    TimeStamp expiry;
    TLS_PARAMETERS parameters;
    memset(&parameters, 0, sizeof parameters);
    parameters.grbitDisabledProtocols = ~(DWORD)(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
    SCH_CREDENTIALS current;
    memset(&current, 0, sizeof current);
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = flags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &parameters;
    SECURITY_STATUS s = AcquireCredentialsHandleA(NULL, (char *)UNISP_NAME_A, SECPKG_CRED_OUTBOUND, NULL,
                                                  &current, NULL, NULL, &Tls.credentials, &expiry);
    if (s == SEC_E_OK)
        return s;
    SCHANNEL_CRED older;
    memset(&older, 0, sizeof older);
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = flags;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    return AcquireCredentialsHandleA(NULL, (char *)UNISP_NAME_A, SECPKG_CRED_OUTBOUND, NULL, &older, NULL,
                                     NULL, &Tls.credentials, &expiry);
}

// Frees the kept credentials, and with them what SChannel keeps to resume.
static void QuForgetKept(void)
{
    if (Tls.haveKept)
        FreeCredentialsHandle(&Tls.keptCredentials);
    Tls.haveKept = false;
    Tls.keptKey[0] = 0;
}

int32_t QuOsTlsBegin(QuSocket socket, const char *serverName, const char *key)
{
    QuOsTlsEnd(false);
    Tls.socket = (SOCKET)socket;
    size_t keyLength = strlen(key);
    if (keyLength >= kTlsKeySize)
        return kSecInternalError;
    memcpy(Tls.key, key, keyLength + 1);
    if (serverName != NULL) {
        size_t length = strlen(serverName);
        if (length >= kNameSize)
            return kSecInternalError;
        memcpy(Tls.serverName, serverName, length + 1);
    }
    if (Tls.haveKept && strcmp(Tls.keptKey, key) == 0) {
        Tls.credentials = Tls.keptCredentials;
        Tls.haveKept = false;
        Tls.keptKey[0] = 0;
    } else {
        QuForgetKept();
        SECURITY_STATUS s = QuAcquireCredentials();
        if (s != SEC_E_OK)
            return (int32_t)s;
    }
    Tls.haveCredentials = true;
    // The client's hello, sent by the first handshake step.
    SECURITY_STATUS s = QuHandshakeStep(false);
    return s == SEC_I_CONTINUE_NEEDED ? 0 : (FAILED(s) ? (int32_t)s : kSecInternalError);
}

// After SChannel says the handshake is complete: what the records carry,
// and never a protocol older than TLS 1.2, whatever the system allowed.
static int32_t QuEstablish(void)
{
    SecPkgContext_ConnectionInfo info;
    if (QueryContextAttributesA(&Tls.context, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
        return kSecInternalError;
    if (info.dwProtocol & (SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1))
        return kSecAlgorithmMismatch;
    Tls.protocol = info.dwProtocol;
    if (QueryContextAttributesA(&Tls.context, SECPKG_ATTR_STREAM_SIZES, &Tls.sizes) != SEC_E_OK)
        return kSecInternalError;
    Tls.established = true;
    return 0;
}

static int32_t QuHandshake(QuOsWaitKind *wait)
{
    if (!Tls.haveCredentials)
        return kSecInternalError;
    for (int step = 0; step < kMaxSteps; step++) {
        int32_t status = QuFlush(wait);
        if (status != 0 || Tls.established)
            return status;
        if (Tls.needInput) {
            bool closed;
            status = QuFill(wait, &closed);
            if (status != 0)
                return status;
            if (closed)
                return kSecIncompleteMessage;
        }
        SECURITY_STATUS s = QuHandshakeStep(true);
        if (s == SEC_E_OK) {
            status = QuEstablish();
            if (status != 0)
                return status;
        } else if (s == SEC_I_INCOMPLETE_CREDENTIALS && !(Tls.contextFlags & ISC_REQ_USE_SUPPLIED_CREDS)) {
            // The server asks for a certificate: go on without one, as
            // curl does; a server that requires one ends the handshake.
            Tls.contextFlags |= ISC_REQ_USE_SUPPLIED_CREDS;
        } else if (s != SEC_I_CONTINUE_NEEDED && s != SEC_E_INCOMPLETE_MESSAGE) {
            QuOsWaitKind ignored;
            QuFlush(&ignored); // the alert, if the socket takes it
            return FAILED(s) ? (int32_t)s : kSecInternalError;
        }
    }
    return kSecIllegalMessage;
}

int32_t QuOsTlsHandshake(QuOsWaitKind *wait)
{
    int32_t status = QuHandshake(wait);
    Tls.broken = status != 0 && status != kWsaWouldBlock;
    return status;
}

// A DNS name of the certificate against the host's name; a name that is
// not ASCII never matches.
static bool QuDnsNameMatches(const wchar_t *wide, const char *name)
{
    char pattern[kNameSize];
    int32_t length = 0;
    for (; wide[length] != 0; length++) {
        if (length >= kNameSize || wide[length] > 127)
            return false;
        pattern[length] = (char)wide[length];
    }
    return QuCertNameMatches(pattern, length, name);
}

// True when the certificate's alternative names hold this IPv4 address or
// this host name. The SSL policy's own name check is laxer than browsers
// (partial wildcards, the Common Name without alternative names), and it
// looks at host names only.
static bool QuNamesHost(PCCERT_CONTEXT certificate, const char *name, bool isAddress)
{
    unsigned long ip = isAddress ? inet_addr(name) : 0;
    PCERT_EXTENSION extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension,
                                                  certificate->pCertInfo->rgExtension);
    CERT_ALT_NAME_INFO *names = NULL;
    DWORD size = 0;
    bool found = false;
    if (extension == NULL ||
        !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, NULL, &names, &size))
        return false;
    for (DWORD i = 0; i < names->cAltEntry && !found; i++) {
        const CERT_ALT_NAME_ENTRY *entry = &names->rgAltEntry[i];
        if (isAddress)
            found = entry->dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry->IPAddress.cbData == 4 &&
                    memcmp(entry->IPAddress.pbData, &ip, 4) == 0;
        else
            found = entry->dwAltNameChoice == CERT_ALT_NAME_DNS_NAME &&
                    QuDnsNameMatches(entry->pwszDNSName, name);
    }
    LocalFree(names);
    return found;
}

// What the chain itself says is wrong with it. The SSL policy should say
// the same, but Wine 8's passes a chain that ends at no trusted root.
// Revocation is not asked for, so its "unknown" is no fault.
static int32_t QuChainError(DWORD trust)
{
    if (trust & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
        return kCertUntrustedRoot;
    if (trust & CERT_TRUST_IS_NOT_TIME_VALID)
        return kCertExpired;
    if (trust & CERT_TRUST_IS_REVOKED)
        return kCertRevoked;
    if (trust & CERT_TRUST_IS_NOT_SIGNATURE_VALID)
        return kCertBadSignature;
    if (trust & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
        return kCertWrongUsage;
    if (trust & (CERT_TRUST_IS_CYCLIC | CERT_TRUST_INVALID_EXTENSION | CERT_TRUST_INVALID_POLICY_CONSTRAINTS |
                 CERT_TRUST_INVALID_BASIC_CONSTRAINTS | CERT_TRUST_INVALID_NAME_CONSTRAINTS))
        return kCertChaining;
    return 0;
}

// The chain engine: the system's, or one that trusts only the root a test set.
static HCERTCHAINENGINE QuChainEngine(HCERTSTORE *roots)
{
    const uint8_t *der;
    int32_t length;
    HCERTCHAINENGINE engine = NULL;
    *roots = NULL;
    if (!QuTrustedRootOverride(&der, &length))
        return NULL;
    *roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, NULL);
    if (*roots == NULL || !CertAddEncodedCertificateToStore(*roots, X509_ASN_ENCODING, der, (DWORD)length,
                                                            CERT_STORE_ADD_ALWAYS, NULL))
        return NULL;
    CERT_CHAIN_ENGINE_CONFIG config;
    memset(&config, 0, sizeof config);
    // The size of the form that first had an exclusive root (Windows 7):
    // Wine 8 refuses the later, longer one.
    config.cbSize = offsetof(CERT_CHAIN_ENGINE_CONFIG, dwExclusiveFlags);
    config.hExclusiveRoot = *roots;
    if (!CertCreateCertificateChainEngine(&config, &engine))
        return NULL;
    return engine;
}

// The chain for a server's certificate. An issuer it lacks may be fetched
// from an address the certificate names, but never past the request's
// deadline: the fetch's time-out is the time left, and none is made when
// no time is left or the system does not take a time-out.
static bool QuBuildChain(HCERTCHAINENGINE engine, PCCERT_CONTEXT certificate, int32_t msLeft,
                         PCCERT_CHAIN_CONTEXT *chain)
{
    LPSTR serverUsage[] = {(LPSTR)szOID_PKIX_KP_SERVER_AUTH};
    CERT_CHAIN_PARA para;
    memset(&para, 0, sizeof para);
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = serverUsage;
    para.dwUrlRetrievalTimeout = msLeft > 0 ? (DWORD)msLeft : 1;
    DWORD flags = msLeft > 0 ? 0 : CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL;
    if (CertGetCertificateChain(engine, certificate, NULL, certificate->hCertStore, &para, flags, NULL,
                                chain))
        return true;
    if (GetLastError() != (DWORD)E_INVALIDARG)
        return false;
    para.cbSize = offsetof(CERT_CHAIN_PARA, RequestedIssuancePolicy);
    return CertGetCertificateChain(engine, certificate, NULL, certificate->hCertStore, &para,
                                   CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, NULL, chain) != FALSE;
}

int32_t QuOsTlsCheckCertificate(const char *name, bool isAddress, int32_t msLeft)
{
    PCCERT_CONTEXT certificate = NULL;
    if (!Tls.established ||
        QueryContextAttributesA(&Tls.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
        certificate == NULL)
        return kCertUntrustedRoot;
    HCERTSTORE roots;
    HCERTCHAINENGINE engine = QuChainEngine(&roots);
    int32_t status = kCertChaining;
    PCCERT_CHAIN_CONTEXT chain = NULL;
    bool test = roots != NULL;
    if ((engine != NULL || !test) && QuBuildChain(engine, certificate, msLeft, &chain)) {
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl;
        memset(&ssl, 0, sizeof ssl);
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = NULL; // the names are matched below
        CERT_CHAIN_POLICY_PARA policy;
        memset(&policy, 0, sizeof policy);
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS outcome;
        memset(&outcome, 0, sizeof outcome);
        outcome.cbSize = sizeof outcome;
        if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &outcome))
            status = (int32_t)outcome.dwError;
        if (status == 0)
            status = QuChainError(chain->TrustStatus.dwErrorStatus);
        if (status == 0 && !QuNamesHost(certificate, name, isAddress))
            status = kCertNameMismatch;
        CertFreeCertificateChain(chain);
    }
    if (engine != NULL)
        CertFreeCertificateChainEngine(engine);
    if (roots != NULL)
        CertCloseStore(roots, 0);
    CertFreeCertificateContext(certificate);
    return status;
}

int32_t QuOsTlsSend(const char *data, int32_t count, int32_t *sent, QuOsWaitKind *wait)
{
    *sent = 0;
    if (!Tls.established)
        return kSecInternalError;
    if (Tls.outgoingLength == 0 && count > 0) {
        int32_t room = kOutgoingSize - (int32_t)(Tls.sizes.cbHeader + Tls.sizes.cbTrailer);
        int32_t piece =
            count < (int32_t)Tls.sizes.cbMaximumMessage ? count : (int32_t)Tls.sizes.cbMaximumMessage;
        piece = piece < room ? piece : room;
        SecBuffer buffers[4];
        buffers[0].BufferType = SECBUFFER_STREAM_HEADER;
        buffers[0].pvBuffer = Tls.outgoing;
        buffers[0].cbBuffer = Tls.sizes.cbHeader;
        buffers[1].BufferType = SECBUFFER_DATA;
        buffers[1].pvBuffer = Tls.outgoing + Tls.sizes.cbHeader;
        buffers[1].cbBuffer = (unsigned long)piece;
        buffers[2].BufferType = SECBUFFER_STREAM_TRAILER;
        buffers[2].pvBuffer = Tls.outgoing + Tls.sizes.cbHeader + piece;
        buffers[2].cbBuffer = Tls.sizes.cbTrailer;
        buffers[3].BufferType = SECBUFFER_EMPTY;
        buffers[3].pvBuffer = NULL;
        buffers[3].cbBuffer = 0;
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        memcpy(Tls.outgoing + Tls.sizes.cbHeader, data, (size_t)piece);
        SECURITY_STATUS s = EncryptMessage(&Tls.context, 0, &desc, 0);
        if (s != SEC_E_OK) {
            SecureZeroMemory(Tls.outgoing, sizeof Tls.outgoing);
            Tls.broken = true;
            return (int32_t)s;
        }
        Tls.outgoingLength = (int32_t)(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        Tls.outgoingCarries = piece;
    }
    int32_t status = QuFlush(wait);
    if (status != 0)
        return status;
    *sent = Tls.outgoingCarries;
    Tls.outgoingCarries = 0;
    return 0;
}

// Hands what SChannel decrypted, or what it left of a record, to the caller.
static int32_t QuDecrypt(void)
{
    SecBuffer buffers[4];
    buffers[0].BufferType = SECBUFFER_DATA;
    buffers[0].pvBuffer = Tls.incoming;
    buffers[0].cbBuffer = (unsigned long)Tls.incomingLength;
    for (int i = 1; i < 4; i++) {
        buffers[i].BufferType = SECBUFFER_EMPTY;
        buffers[i].pvBuffer = NULL;
        buffers[i].cbBuffer = 0;
    }
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS s = DecryptMessage(&Tls.context, &desc, 0, NULL);
    if (s == SEC_E_INCOMPLETE_MESSAGE) {
        Tls.needInput = true;
        return 0;
    }
    if (s == SEC_I_CONTEXT_EXPIRED) {
        Tls.peerEnded = true; // close_notify
        return 0;
    }
    if (s != SEC_E_OK && s != SEC_I_RENEGOTIATE)
        return (int32_t)s;
    // Before TLS 1.3 a handshake message after the handshake is the
    // server's request for a renegotiation, which would bring a
    // certificate nobody checks: refused, and the session ends.
    if (s == SEC_I_RENEGOTIATE && !(Tls.protocol & SP_PROT_TLS1_3_CLIENT))
        return kSecUnsupportedFunction;
    const SecBuffer *extra = NULL;
    for (int i = 1; i < 4; i++) {
        if (buffers[i].BufferType == SECBUFFER_DATA && buffers[i].cbBuffer > 0) {
            if (buffers[i].cbBuffer > (unsigned long)kPlainSize)
                return kSecInternalError;
            memmove(Tls.plain, buffers[i].pvBuffer, buffers[i].cbBuffer);
            Tls.plainStart = 0;
            Tls.plainLength = (int32_t)buffers[i].cbBuffer;
        } else if (buffers[i].BufferType == SECBUFFER_EXTRA) {
            extra = &buffers[i];
        }
    }
    if (extra != NULL)
        QuKeepExtra(extra);
    else
        Tls.incomingLength = 0;
    // A message of TLS 1.3 after the handshake (a session ticket, a new
    // key) goes back to the handshake.
    if (s == SEC_I_RENEGOTIATE) {
        s = QuHandshakeStep(true);
        QuOsWaitKind ignored;
        QuFlush(&ignored);
        if (FAILED(s) && s != SEC_E_INCOMPLETE_MESSAGE)
            return (int32_t)s;
    }
    return 0;
}

static int32_t QuReceive(char *buffer, int32_t capacity, int32_t *received, QuOsWaitKind *wait)
{
    *received = 0;
    if (!Tls.established)
        return kSecInternalError;
    for (int step = 0; step < kMaxSteps; step++) {
        if (Tls.plainLength > 0) {
            int32_t n = Tls.plainLength < capacity ? Tls.plainLength : capacity;
            memcpy(buffer, Tls.plain + Tls.plainStart, (size_t)(n > 0 ? n : 0));
            SecureZeroMemory(Tls.plain + Tls.plainStart, (size_t)(n > 0 ? n : 0));
            Tls.plainStart += n;
            Tls.plainLength -= n;
            *received = n;
            return 0;
        }
        if (Tls.peerEnded)
            return 0;
        int32_t status = 0;
        if (Tls.incomingLength > 0 && !Tls.needInput) {
            status = QuDecrypt();
        } else {
            bool closed;
            status = QuFill(wait, &closed);
            Tls.peerEnded = status == 0 && closed;
            // Part of a record and then the end: the answer was cut.
            if (Tls.peerEnded && Tls.incomingLength > 0)
                return kSecIncompleteMessage;
        }
        if (status != 0)
            return status;
    }
    // Only records without data so far: the caller waits a little and asks again.
    *wait = kOsWaitReadable;
    return kWsaWouldBlock;
}

int32_t QuOsTlsReceive(char *buffer, int32_t capacity, int32_t *received, QuOsWaitKind *wait)
{
    int32_t status = QuReceive(buffer, capacity, received, wait);
    Tls.broken = Tls.broken || (status != 0 && status != kWsaWouldBlock);
    return status;
}

void QuOsTlsEnd(bool keepSession)
{
    if (Tls.established && !Tls.peerEnded && !Tls.broken) {
        // close_notify, if the socket takes it at once.
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer token = {sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc desc = {SECBUFFER_VERSION, 1, &token};
        Tls.outgoingLength = Tls.outgoingSent = 0;
        if (ApplyControlToken(&Tls.context, &desc) == SEC_E_OK) {
            QuHandshakeStep(false);
            QuOsWaitKind ignored;
            QuFlush(&ignored);
        }
    }
    if (Tls.haveContext)
        DeleteSecurityContext(&Tls.context);
    if (Tls.haveCredentials && keepSession && Tls.established && !Tls.broken) {
        QuForgetKept();
        Tls.keptCredentials = Tls.credentials;
        Tls.haveKept = true;
        memcpy(Tls.keptKey, Tls.key, sizeof Tls.key);
    } else if (Tls.haveCredentials) {
        FreeCredentialsHandle(&Tls.credentials);
    }
    QuClear();
}

void QuOsTlsForget(void)
{
    QuOsTlsEnd(false);
    QuForgetKept();
}
