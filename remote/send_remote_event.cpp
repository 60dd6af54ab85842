// "Rous-SendRemoteEvent": builds one remote-event datagram from the
// parameter and sends it by UDP, without waiting for an answer; with
// "-tcprequest" the rest of the parameter goes to a TCP server instead.
//
// Parameter: options | address | key | file | script | your ID | your text,
// where your text is everything after the sixth part, separators included.
#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "remote.h"

static int32_t DebugMessages;
const int32_t &ShowDebugMessages = DebugMessages;
// The last key sealed with and its secret: a sender that sends many events
// with one key derives it once.
static QuSealKey SealKey;

void QuResetSealKey(void)
{
    SealKey.ready = false;
    SealKey.key[0] = 0;
}

void QuShowDebugMessages(bool show)
{
    DebugMessages = show ? 1 : 0;
}

enum { kPartSize = 1000, kMaxYourText = 5000 };

// Reads the next part and appends it as a field; a part that must be
// neither empty nor the last one gives -50.
static int32_t QuAppendPart(HostHandle parameter, int32_t *position, bool required, char *datagram,
                            int32_t *length)
{
    char part[kPartSize];
    if (QuReadNextToken(parameter, part, kPartSize, position) != 0)
        return kErrMemory;
    if (required && (part[0] == 0 || *position == -1))
        return kErrBadParameter;
    return QuAppendField(datagram, length, part);
}

// Appends the parameter's bytes from `position` to its end, unchanged.
static int32_t QuAppendYourText(HostHandle parameter, int32_t position, char *datagram, int32_t *length)
{
    char *data;
    int32_t count = position == -1 ? 0 : QuGetHandleSize(parameter) - position;
    if (count <= 0)
        return 0;
    if (count > kMaxYourText)
        return kErrBadParameter;
    int32_t status = QuLockHandle(parameter, &data);
    if (status != 0)
        return status;
    // A request that would not fit a listener's buffer is refused whole.
    status = QuAppendToDatagram(datagram, length, data + position, count);
    QuUnlockHandle(parameter);
    return status;
}

// The options part's switches and marks.
static void QuApplyOptions(const char *options, char *datagram, int32_t *length)
{
    if (QuHasOption(options, "-showdebugmessages"))
        QuShowDebugMessages(true);
    else if (QuHasOption(options, "-stopdebugmessages"))
        QuShowDebugMessages(false);
    if (QuHasOption(options, "-dontGoToForeground"))
        QuAppendToDatagram(datagram, length, "-BG", 3);
    if (QuHasOption(options, "-silentEvent"))
        QuAppendToDatagram(datagram, length, "-DT", 3);
}

// Seals the plain datagram's payload and flags in its place.
static int32_t QuSealPlain(char *datagram, int32_t *length)
{
    char sealed[kDatagramSize];
    int32_t sealedLength;
    QuRemoteEvent event;
    QuReadDatagram(datagram, *length, &event);
    int32_t status = QuSealDatagram(&SealKey, QuUtcMilliseconds(), event.flags, datagram + event.payloadStart,
                                    event.payloadLength, sealed, &sealedLength);
    if (status == 0) {
        QuCopyBytes(datagram, sealed, sealedLength);
        *length = sealedLength;
    }
    return status;
}

void ROUS_SendRemoteEvent(HostHandle parameter, HostHandle result)
{
    char datagram[kDatagramSize];
    char options[kPartSize], address[kPartSize];
    int32_t length, position = 0;
    uint16_t port = kDefaultPort;
    QuBeginDatagram(datagram, &length);
    int32_t size = QuGetHandleSize(parameter);
    int32_t status = size > 0 ? 0 : kErrBadParameter;
    bool silent = false;
    if (status == 0)
        status = QuReadNextToken(parameter, options, kPartSize, &position);
    if (status == 0) {
        QuApplyOptions(options, datagram, &length);
        silent = QuHasOption(options, "-silentEvent");
        status = QuReadNextToken(parameter, address, kPartSize, &position);
    }
    // Something must follow the address's separator.
    if (status == 0 && (address[0] == 0 || position == -1 || position >= size))
        status = kErrBadParameter;
    if (status == 0)
        status = QuReadPortOption(options, &port);
    // TLS is for TCP requests only: whoever asked for it must not get a
    // plain datagram instead.
    bool tcp = QuHasOption(options, "-tcprequest");
    if (status == 0 && !tcp && QuHasOption(options, "-tls"))
        status = kErrBadParameter;
    // Nor a sealed request a TCP one in clear.
    bool sealed = QuHasOption(options, "-sealed");
    if (status == 0 && tcp && sealed)
        status = kErrBadParameter;
    if (status == 0 && tcp) {
        status = QuTCPRequestEntry(parameter, position, address, port, options, result);
        if (status != 0)
            QuSetErrorResult(status, result);
        return;
    }
    if (status == 0) {
        // The key must be followed by a separator, even when it is empty.
        char key[kPartSize];
        status = QuReadNextToken(parameter, key, kPartSize, &position);
        if (status == 0 && position == -1)
            status = kErrBadParameter;
        // A sealed datagram carries no key: its secret seals it.
        if (status == 0 && sealed)
            status = QuDeriveSealKey(key, &SealKey);
        if (status == 0)
            status = QuAppendField(datagram, &length, sealed ? "" : key);
    }
    // A silent event needs neither a file nor a script.
    if (status == 0)
        status = QuAppendPart(parameter, &position, !silent, datagram, &length);
    if (status == 0)
        status = QuAppendPart(parameter, &position, !silent, datagram, &length);
    if (status == 0)
        status = QuAppendPart(parameter, &position, false, datagram, &length);
    if (status == 0)
        status = QuAppendToDatagram(datagram, &length, "|", 1);
    if (status == 0)
        status = QuAppendYourText(parameter, position, datagram, &length);
    if (status == 0)
        status = QuEndDatagram(datagram, &length);
    if (status == 0 && sealed)
        status = QuSealPlain(datagram, &length);
    // The answer is made ready before the datagram leaves.
    QuPreparedResult answer = {result, NULL, {0}};
    if (status == 0)
        status = QuPrepareResult("0", result, &answer);
    if (status == 0)
        status = QuSendDatagram(address, port, datagram, length);
    QuFinishResult(&answer, status);
}
