// "Rous-StartListener" and "Rous-StopListener", and what the idle step does
// with a datagram that has arrived: an accepted one becomes an event due
// now. Nothing is ever answered to the sender.
#include "frame/plugin_frame.h"
#include "remote.h"
#include "scheduler/event_table.h"

static char Key[kKeySize];
const char (&ListenerKey)[kKeySize] = Key;
static char DatagramBuffer[kDatagramSize];

void QuResetListenerKey(void)
{
    Key[0] = 0;
}

enum { kPartSize = 1000 };

int32_t QuReadPortOption(const char *options, uint16_t *port)
{
    int32_t value;
    *port = kDefaultPort;
    if (!QuGetOptionNumber(options, "-portnumber", &value))
        return 0;
    if (value < 0 || value > 65535)
        return kErrOutOfRange;
    *port = (uint16_t)value;
    return 0;
}

static bool QuKeyAccepted(const char *key)
{
    if (Key[0] == 0)
        return true;
    int32_t length = QuTextLength(key);
    return length == QuTextLength(Key) && QuCompareText(key, Key, length, true) == 0;
}

// True when the payload's first two fields, the file and the script, are
// both there, split as the firing step will split them.
static bool QuNamesPresent(const char *payload, int32_t length)
{
    const char *separator = QuGetSeparator();
    int32_t separatorLength = QuTextLength(separator);
    int32_t fileEnd = QuFindText(payload, length, separator, separatorLength, 0, 1, true);
    if (fileEnd <= 0)
        return false;
    int32_t scriptStart = fileEnd + separatorLength;
    int32_t scriptEnd = QuFindText(payload, length, separator, separatorLength, scriptStart, 1, true);
    return (scriptEnd < 0 ? length : scriptEnd) > scriptStart;
}

bool QuHandleRemoteEvent(const char *datagram, int32_t length)
{
    QuRemoteEvent event;
    uint32_t eventID;
    if (!QuReadDatagram(datagram, length, &event) || !QuKeyAccepted(event.key))
        return false;
    uint32_t now = QuNow1904(NULL);
    const char *payload = datagram + event.payloadStart;
    int32_t payloadLength = event.payloadLength;
    int32_t flags = event.flags;
    // A failed insertion (a full table, no memory) loses the datagram. An
    // event to run without a file or a script could never start: it would
    // be chosen at every poll and hold back every later event.
    if (payloadLength > 0 && (flags == kFlagSilent || QuNamesPresent(payload, payloadLength)))
        QuInsertEvent(now, flags, payload, payloadLength, &eventID);
    return true;
}

int32_t QuPollListener(void)
{
    // A rejected datagram costs a receive and a look at its header, so it
    // must not cost the poll as well: anyone could then keep the due
    // events from firing by sending junk. The bound keeps one idle call
    // short however fast junk comes in.
    int32_t taken = 0;
    while (taken < kDatagramsPerPoll) {
        int32_t length;
        int32_t status = QuTakeDatagram(DatagramBuffer, kDatagramSize, &length);
        // Nothing waits, or a receive error: it leaves no trace, and the
        // next poll tries again.
        if (status != 0 && status != kWsaMessageSize)
            break;
        taken++;
        // One too large for the buffer is gone already; the next may be good.
        if (status == 0 && QuHandleRemoteEvent(DatagramBuffer, length))
            return kListenerAccepted;
    }
    return taken > 0 ? kListenerDiscarded : kListenerQuiet;
}

void ROUS_StartListener(HostHandle parameter, HostHandle result)
{
    char options[kPartSize], unused[kPartSize], key[kKeySize];
    int32_t position = 0;
    uint16_t port;
    QuPreparedResult answer = {result, NULL, {0}};
    int32_t status = kErrBadParameter;
    if (QuGetHandleSize(parameter) > 0) {
        status = QuReadNextToken(parameter, options, kPartSize, &position);
        if (status == 0)
            status = QuReadNextToken(parameter, unused, kPartSize, &position);
        if (status == 0)
            status = QuReadNextToken(parameter, key, kKeySize, &position);
        if (status == 0)
            status = QuPrepareResult("0", result, &answer);
        // The key changes even when the listener cannot be opened, but not
        // when it could not be read: an empty key would accept every sender.
        if (status == 0)
            QuCopyText(Key, key);
        if (status == 0)
            status = QuReadPortOption(options, &port);
        if (status == 0)
            status = QuOpenListener(port);
    }
    QuFinishResult(&answer, status);
}

void ROUS_StopListener(HostHandle, HostHandle result)
{
    QuPreparedResult answer = {result, NULL, {0}};
    int32_t status = QuPrepareResult("0", result, &answer);
    if (status == 0)
        QuCloseListener();
    QuFinishResult(&answer, status);
}
