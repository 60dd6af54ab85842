// "Rous-SendRemoteEvent -tcprequest": sends the rest of the parameter to a
// TCP server, over TLS with "-tls", and returns its answer, read within one
// deadline into the result handle and decoded in place. Whenever the socket
// has nothing, or no room, the request waits on it for at most 4 ticks at a
// time.
#include <string.h>

#include "frame/os_frame.h"
#include "frame/plugin_frame.h"
#include "remote.h"
#include "tcp_request.h"

// What the diagnostic boxes show of a request or an answer: up to its
// length or its first NUL, never more than the answer's capacity.
static char DiagnosticText[kResponseCapacity + 1];

static void QuShowNumber(const char *caption, int32_t value)
{
    char text[16];
    if (ShowDebugMessages != 1)
        return;
    QuFormatSigned(value, text);
    QuOsMessageBox(caption, text);
}

// The system's own number behind a TLS code, in the hexadecimal form its
// documentation uses.
static void QuShowSystemError(int32_t error)
{
    static const char kDigits[] = "0123456789ABCDEF";
    char text[11] = "0x";
    if (ShowDebugMessages != 1 || error == 0)
        return;
    for (int i = 0; i < 8; i++)
        text[2 + i] = kDigits[((uint32_t)error >> (28 - 4 * i)) & 15];
    text[10] = 0;
    QuOsMessageBox("system error =", text);
}

static void QuShowBytes(const char *caption, const char *bytes, int32_t length)
{
    if (ShowDebugMessages != 1)
        return;
    int32_t n = 0;
    while (n < length && n < kResponseCapacity && bytes[n] != 0)
        n++;
    QuCopyBytes(DiagnosticText, bytes, n);
    DiagnosticText[n] = 0;
    QuOsMessageBox(caption, DiagnosticText);
    // An answer that came over TLS stays nowhere but in the result.
    memset(DiagnosticText, 0, (size_t)n);
}

static int32_t QuSendRequest(QuLink *link, const char *request, int32_t length, uint32_t start,
                             int32_t timeout, int32_t *sent)
{
    int32_t status = 0;
    *sent = 0;
    while (status == 0 && *sent < length && QuBeforeDeadline(start, timeout)) {
        int32_t count = 0;
        status = QuLinkSend(link, request + *sent, length - *sent, &count);
        if (status == kWsaWouldBlock) {
            status = 0;
            QuLinkAwait(link, true, start, timeout);
        } else if (status == 0 && count > 0 && count <= length - *sent) {
            *sent += count;
        }
    }
    if (status == 0 && *sent < length)
        status = kWsaWouldBlock;
    return status;
}

// Reads until the peer closes, the buffer fills, a chunked body completes,
// the close-after text arrives or the deadline passes.
static int32_t QuReceiveResponse(QuLink *link, char *response, int32_t maxLen, int32_t *length,
                                 const char *closeText, int32_t closeLength, bool headRequest, uint32_t start,
                                 int32_t timeout)
{
    QuHttpDecoder decoder;
    QuStartHttpDecoder(&decoder);
    decoder.headRequest = headRequest;
    bool ended = false; // by the server, rather than by the buffer or the close-after text
    int32_t status = 0, resume = 0;
    while (status == 0 && *length < maxLen && QuBeforeDeadline(start, timeout)) {
        // All that has arrived, up to the room left, in one read.
        int32_t received = 0;
        status = QuLinkReceive(link, response + *length, maxLen - *length, &received);
        if (status == kWsaWouldBlock) {
            status = 0;
            QuLinkAwait(link, false, start, timeout);
            continue;
        }
        ended = status == 0 && received <= 0;
        if (status != 0 || received <= 0)
            break;
        *length += received;
        status = QuDecodeHTTPResponse(&decoder, response, length);
        if (status != 0 || decoder.state == kHttpComplete)
            break;
        if (closeLength > 0 && QuFindCloseText(response, *length, closeText, closeLength, &resume)) {
            // Whatever came after the text is dropped, decoded or not.
            *length = resume;
            QuCutHttpResponse(&decoder, *length);
            break;
        }
    }
    if (status == 0 && !QuBeforeDeadline(start, timeout))
        status = kErrTimedOut;
    if (status == 0 && *length == 0)
        status = kErrNothingReceived;
    if (status == 0 && decoder.chunked)
        status = QuDecodeHTTPResponse(&decoder, response, length);
    // A close, which anyone on the path can fake, does not make an answer
    // whole that says it is longer.
    if (status == 0 && ended && QuHttpAnswerCut(&decoder, response, *length))
        status = kErrAnswerCut;
    return status;
}

int32_t QuTCPRequest(const char *address, uint16_t port, const char *request, int32_t requestLength,
                     int32_t timeout, const char *closeText, int32_t closeLength, char *response,
                     int32_t *ioReturnedLen, QuTlsMode tls)
{
    uint32_t ip;
    QuSocket socket;
    QuLink link;
    int32_t status = QuStartSockets();
    if (status != 0)
        return status;
    status = QuLookupAddress(address, &ip);
    if (status != 0) {
        QuShowNumber("QuLookupAddress errorcode =", status);
        return status;
    }
    uint32_t start = QuGetTicks();
    status = QuEstablishConnection(ip, port, start, timeout, &socket);
    if (status != 0) {
        QuShowNumber("QuEstablishConnection errorcode =", status);
        return status;
    }
    QuLinkPlain(&link, socket);
    if (tls != kTlsOff) {
        status = QuLinkStartTls(&link, address, port, tls == kTlsVerify, start, timeout);
        if (status != 0) {
            QuShowNumber("TLS errorcode =", status);
            QuShowSystemError(link.systemError);
            QuLinkClose(&link, false, start, timeout);
            return status;
        }
    }
    int32_t sent = 0;
    status = QuSendRequest(&link, request, requestLength, start, timeout, &sent);
    if (status != 0) {
        QuShowNumber("SEND ERROR errorcode =", status);
        QuShowNumber("i =", sent);
        QuShowNumber("iSendDataLen =", requestLength);
        QuShowBytes("the data =", request, requestLength);
    }
    int32_t maxLen = *ioReturnedLen;
    *ioReturnedLen = 0;
    if (status == 0)
        status = QuReceiveResponse(&link, response, maxLen, ioReturnedLen, closeText, closeLength,
                                   requestLength >= 5 && QuCompareText(request, "HEAD ", 5, true) == 0, start,
                                   timeout);
    if (status != 0) {
        QuShowNumber("RECV ERROR errorcode =", status);
        QuShowNumber("*ioReturnedLen =", *ioReturnedLen);
        QuShowNumber("maxLen =", maxLen);
        QuShowBytes("the data =", response, *ioReturnedLen);
        QuShowSystemError(link.systemError);
    }
    QuLinkClose(&link, status == 0, start, timeout);
    return status;
}

int32_t QuTCPRequestEntry(HostHandle parameter, int32_t position, const char *address, uint16_t port,
                          const char *options, HostHandle result)
{
    char closeText[kCloseTextSize];
    char *request, *response;
    int32_t timeout;
    int32_t requestLength = position < 0 ? 0 : QuGetHandleSize(parameter) - position;
    if (requestLength <= 0)
        return kErrBadParameter;
    int32_t status = QuReadTimeoutOption(options, &timeout);
    if (status != 0)
        return status;
    QuReadCloseAfterOption(options, closeText);
    status = QuLockHandle(parameter, &request);
    if (status != 0)
        return status;
    if (QuSetHandleSize(result, kResponseCapacity) != 0) {
        QuUnlockHandle(parameter);
        return kErrMemory;
    }
    status = QuLockHandle(result, &response);
    if (status == 0) {
        int32_t ioReturnedLen = kResponseCapacity;
        status = QuTCPRequest(address, port, request + position, requestLength, timeout, closeText,
                              QuTextLength(closeText), response, &ioReturnedLen, QuReadTlsOption(options));
        QuUnlockHandle(result);
        if (status == 0 && QuSetHandleSize(result, ioReturnedLen) != 0)
            status = kErrMemory;
    }
    QuUnlockHandle(parameter);
    return status;
}
