// The connection a TCP request speaks through: the plain socket, or a TLS
// session over it. The request sends, receives, waits and closes through
// these calls alone; the TLS seam's numbers become the plug-in's codes here.
#include "frame/plugin_frame.h"
#include "os_sockets.h"
#include "os_tls.h"
#include "tcp_request.h"

// Security numbers are large negative values; the plug-in's own codes and
// the socket errors are all well above this.
static bool QuIsSecurityNumber(int32_t status)
{
    return status < -0x10000;
}

// A TLS failure of the handshake or of the session as kErrTlsHandshake, keeping the
// system's number for the diagnostics.
static int32_t QuSessionStatus(QuLink *link, int32_t status)
{
    if (!QuIsSecurityNumber(status))
        return status;
    link->systemError = status;
    return kErrTlsHandshake;
}

// The certificate's trust error as the class a user can act on.
static int32_t QuCertificateStatus(QuLink *link, int32_t status)
{
    if (status == 0)
        return 0;
    link->systemError = status;
    if (status == kCertExpired || status == kCertValidityNesting)
        return kErrTlsExpired;
    if (status == kCertNameMismatch)
        return kErrTlsNameMismatch;
    return kErrTlsUntrusted;
}

// What is left of the deadline, in milliseconds (a tick is 1000/60 ms).
static int32_t QuMillisecondsLeft(uint32_t start, int32_t timeout)
{
    uint32_t spent = QuTicksSince(start);
    return spent >= (uint32_t)timeout ? 0 : (int32_t)(((uint32_t)timeout - spent) * 50 / 3);
}

void QuLinkPlain(QuLink *link, QuSocket socket)
{
    link->socket = socket;
    link->tls = false;
    link->wait = kOsWaitReadable;
    link->systemError = 0;
}

int32_t QuLinkStartTls(QuLink *link, const char *address, uint16_t port, bool verify, uint32_t start,
                       int32_t timeout)
{
    char name[kTlsNameSize], key[kTlsKeySize];
    uint32_t ip = QuOsParseAddress(address);
    bool isAddress = ip != 0xFFFFFFFFu;
    // An address is checked in its dotted form and never sent as a name. A
    // name's final dot (the root) is no part of the name that SNI sends
    // and the certificate holds.
    const char *text = isAddress ? QuOsAddressText(ip) : address;
    int32_t length = QuTextLength(text);
    if (!isAddress && length > 1 && text[length - 1] == '.')
        length--;
    if (QuCopyBounded(text, length, name, sizeof name) != 0)
        return kErrBadParameter;
    // A session resumes only for the same name, port and checks: never one
    // made without the certificate checks for a request that asks for them.
    QuCopyText(key, verify ? "checked " : "unchecked ");
    QuFormatUnsigned(port, key + QuTextLength(key));
    QuAppendText(key, " ");
    QuAppendText(key, name);
    int32_t status = QuOsTlsBegin(link->socket, isAddress ? NULL : name, key);
    link->tls = true;
    bool done = false;
    while (status == 0 && !done) {
        if (!QuBeforeDeadline(start, timeout))
            return kErrTimedOut;
        status = QuOsTlsHandshake(&link->wait);
        if (status == kWsaWouldBlock) {
            status = 0;
            QuLinkAwait(link, false, start, timeout);
        } else {
            done = status == 0;
        }
    }
    if (status != 0)
        return QuSessionStatus(link, status);
    return verify ? QuCertificateStatus(
                        link, QuOsTlsCheckCertificate(name, isAddress, QuMillisecondsLeft(start, timeout)))
                  : 0;
}

int32_t QuLinkSend(QuLink *link, const char *data, int32_t count, int32_t *sent)
{
    if (!link->tls)
        return QuSendSome(link->socket, data, count, sent);
    return QuSessionStatus(link, QuOsTlsSend(data, count, sent, &link->wait));
}

int32_t QuLinkReceive(QuLink *link, char *buffer, int32_t capacity, int32_t *received)
{
    if (!link->tls)
        return QuReceiveSome(link->socket, buffer, capacity, received);
    int32_t status = QuOsTlsReceive(buffer, capacity, received, &link->wait);
    // The connection ended inside a record: the answer was cut short.
    if (status == kSecIncompleteMessage) {
        link->systemError = status;
        return kErrAnswerCut;
    }
    return QuSessionStatus(link, status);
}

int32_t QuLinkAwait(QuLink *link, bool writable, uint32_t start, int32_t timeout)
{
    // A TLS session may have to write to read on, or read to write on.
    if (link->tls)
        writable = link->wait == kOsWaitWritable;
    return QuAwaitSocket(link->socket, writable, start, timeout);
}

void QuLinkClose(QuLink *link, bool succeeded, uint32_t start, int32_t timeout)
{
    if (link->tls)
        QuOsTlsEnd(succeeded);
    link->tls = false;
    QuCloseConnection(link->socket, start, timeout);
}

// A session lives within one request, which ends it on every path; what a
// fresh load holds is no session and nothing kept to resume.
void QuResetTlsSession(void)
{
    QuOsTlsForget();
}
