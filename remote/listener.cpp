// "Rous-StartListener" and "Rous-StopListener", and what the idle step does
// with a datagram that has arrived: an accepted one becomes an event due
// now. Nothing is ever answered to the sender.
#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "remote.h"
#include "scheduler/event_table.h"

static char Key[kKeySize];
const char (&ListenerKey)[kKeySize] = Key;
static char DatagramBuffer[kDatagramSize];

enum {
    kPartSize = 1000,
    kMaxAllowed = 64,
    // Accepted sealed datagrams remembered: more than the table holds
    // events, far more than a window sees from any real sender.
    kReplayMemory = 2048
};
// How far a sealed datagram's time may lie from the listener's clock.
static const int64_t kWindowMs = 120000;
// The preference that keeps, across restarts, the latest stamp taken (UTC
// seconds, rounded up): the memory of accepted datagrams dies with the
// load, this mark does not.
static const char kTakenUntilName[] = "SealedTakenUntil";

// An IPv4 range, address and mask in network byte order.
struct QuAddressRange {
    uint32_t address, mask;
};
struct QuAccepted {
    int64_t stamp;
    uint8_t nonce[12];
};

// What guards the listener beyond its key: the sealing's secret, the
// filters of the last start, what was dropped since, and the memory of
// accepted sealed datagrams. The memory and the earliest time a sealed
// datagram may carry live as long as the module: they are what keeps a
// datagram from being accepted twice across stops and starts.
static struct {
    QuSealKey seal;
    bool sealedOnly;
    QuAddressRange allowed[kMaxAllowed];
    int32_t allowedCount;
    int32_t dropped;
    QuDropReason lastDrop;
    int64_t earliestStamp;
    uint32_t takenUntil; // the mark as last written or read, UTC seconds
    bool started;
    QuAccepted accepted[kReplayMemory];
    int32_t acceptedCount;
    char plain[kDatagramSize];
} Guard;

void QuResetListenerKey(void)
{
    Key[0] = 0;
    // Everything, the memory included: a fresh load starts over, and the
    // earliest time is set anew at the first start.
    Guard.seal.ready = false;
    Guard.seal.key[0] = 0;
    Guard.sealedOnly = false;
    Guard.allowedCount = 0;
    Guard.dropped = 0;
    Guard.lastDrop = kDropNone;
    Guard.earliestStamp = 0;
    Guard.takenUntil = 0;
    Guard.started = false;
    Guard.acceptedCount = 0;
}

static const char *const kDropTexts[] = {
    "",       "wrong key",          "not sealed", "bad seal", "outside time window",
    "replay", "sender not allowed", "malformed",
};

static void QuNoteDrop(QuDropReason reason)
{
    if (Guard.dropped < 0x7FFFFFFF)
        Guard.dropped++;
    Guard.lastDrop = reason;
}

bool QuAnswerDropQuery(const char *options, HostHandle result)
{
    if (QuHasOption(options, "-getDroppedCount"))
        QuSetResultNumber(Guard.dropped, result);
    else if (QuHasOption(options, "-getLastDropReason"))
        QuSetResultText(kDropTexts[Guard.lastDrop], result);
    else
        return false;
    return true;
}

// One number of a dotted address or a prefix length: decimal digits only,
// at most `max`; the position moves past it.
static bool QuReadDecimal(const char *text, int32_t *position, int32_t max, uint32_t *value)
{
    int32_t i = *position, digits = 0;
    *value = 0;
    while (text[i] >= '0' && text[i] <= '9' && digits < 4) {
        *value = *value * 10 + (uint32_t)(text[i] - '0');
        i++;
        digits++;
    }
    *position = i;
    return digits > 0 && digits < 4 && *value <= (uint32_t)max;
}

// "a.b.c.d" or "a.b.c.d/n" from the position, in network byte order.
static bool QuReadRange(const char *text, int32_t *position, QuAddressRange *range)
{
    uint32_t host = 0, part, bits = 32;
    for (int32_t i = 0; i < 4; i++) {
        if (i > 0 && text[(*position)++] != '.')
            return false;
        if (!QuReadDecimal(text, position, 255, &part))
            return false;
        host = (host << 8) | part;
    }
    if (text[*position] == '/') {
        (*position)++;
        if (!QuReadDecimal(text, position, 32, &bits))
            return false;
    }
    uint32_t mask = bits == 0 ? 0 : 0xFFFFFFFFu << (32 - bits);
    // Stored as the socket gives the sender: the bytes in network order.
    uint8_t address[4] = {(uint8_t)(host >> 24), (uint8_t)(host >> 16), (uint8_t)(host >> 8), (uint8_t)host};
    uint8_t maskBytes[4] = {(uint8_t)(mask >> 24), (uint8_t)(mask >> 16), (uint8_t)(mask >> 8),
                            (uint8_t)mask};
    QuCopyBytes(&range->address, address, 4);
    QuCopyBytes(&range->mask, maskBytes, 4);
    range->address &= range->mask;
    return true;
}

static int32_t QuReadAllowFromOption(const char *options, QuAddressRange *ranges, int32_t *count)
{
    static const char kOption[] = "-allowFrom";
    char list[kPartSize];
    *count = 0;
    if (!QuHasOption(options, kOption))
        return 0;
    // "-allowFrom LIST" or "-allowFrom=LIST", the list up to the next space.
    QuGetTextAfter(options, QuTextLength(options), kOption, sizeof kOption - 1, 0, 0, 1, false, list,
                   kPartSize);
    int32_t position = 0;
    while (list[position] == ' ' || list[position] == '=')
        position++;
    for (;;) {
        if (*count >= kMaxAllowed || !QuReadRange(list, &position, &ranges[*count]))
            return kErrBadParameter;
        (*count)++;
        if (list[position] != ',')
            break;
        position++;
    }
    return list[position] == 0 || list[position] == ' ' ? 0 : kErrBadParameter;
}

static bool QuSenderAllowed(uint32_t sender)
{
    if (Guard.allowedCount == 0)
        return true;
    for (int32_t i = 0; i < Guard.allowedCount; i++) {
        if ((sender & Guard.allowed[i].mask) == Guard.allowed[i].address)
            return true;
    }
    return false;
}

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

// Drops expired entries of the memory; true when the nonce is among the
// rest.
static bool QuSeenBefore(const uint8_t *nonce, int64_t now)
{
    int32_t kept = 0;
    bool seen = false;
    for (int32_t i = 0; i < Guard.acceptedCount; i++) {
        const QuAccepted &entry = Guard.accepted[i];
        // Out of the window for good: the window refuses it from now on.
        if (entry.stamp < now - kWindowMs)
            continue;
        bool same = true;
        for (int32_t j = 0; j < 12 && same; j++)
            same = entry.nonce[j] == nonce[j];
        seen = seen || same;
        Guard.accepted[kept++] = entry;
    }
    Guard.acceptedCount = kept;
    return seen;
}

// Opens a sealed datagram and decides on it: kDropNone with the payload
// and flags when it is to be taken in, and remembered from then on.
static QuDropReason QuAdmitSealed(const char *datagram, int32_t length, const char **payload,
                                  int32_t *payloadLength, int32_t *flags)
{
    QuSealedEvent event;
    QuDropReason reason = QuOpenSealedDatagram(&Guard.seal, datagram, length, Guard.plain, &event);
    if (reason != kDropNone)
        return reason;
    int64_t now = QuUtcMilliseconds();
    if (event.stamp < now - kWindowMs || event.stamp > now + kWindowMs)
        return kDropOutsideWindow;
    // Sent before the first start of this load: it may have been accepted
    // before a restart, when the memory was lost.
    if (event.stamp < Guard.earliestStamp)
        return kDropReplay;
    // A full memory refuses rather than forget what could come again.
    if (QuSeenBefore(event.nonce, now) || Guard.acceptedCount >= kReplayMemory)
        return kDropReplay;
    // The mark is written before the datagram is taken; one that cannot be
    // written would let it in again after a restart, so it is refused.
    uint32_t seconds = (uint32_t)((event.stamp + 999) / 1000);
    if (seconds > Guard.takenUntil) {
        if (QuWritePrefNumber(kTakenUntilName, seconds) != 0)
            return kDropReplay;
        Guard.takenUntil = seconds;
    }
    QuAccepted &entry = Guard.accepted[Guard.acceptedCount++];
    entry.stamp = event.stamp;
    QuCopyBytes(entry.nonce, event.nonce, 12);
    *payload = Guard.plain + event.payloadStart;
    *payloadLength = event.payloadLength;
    *flags = event.flags;
    return kDropNone;
}

// A plain datagram: kDropNone with the payload and flags when it is to be
// taken in.
static QuDropReason QuAdmitPlain(const char *datagram, int32_t length, const char **payload,
                                 int32_t *payloadLength, int32_t *flags)
{
    QuRemoteEvent event;
    if (Guard.sealedOnly)
        return kDropNotSealed;
    if (!QuReadDatagram(datagram, length, &event))
        return kDropMalformed;
    if (!QuKeyAccepted(event.key))
        return kDropWrongKey;
    *payload = datagram + event.payloadStart;
    *payloadLength = event.payloadLength;
    *flags = event.flags;
    return kDropNone;
}

bool QuHandleRemoteEvent(const char *datagram, int32_t length)
{
    uint32_t eventID;
    const char *payload = NULL;
    int32_t payloadLength = 0, flags = 0;
    QuDropReason reason = QuIsSealed(datagram, length)
                              ? QuAdmitSealed(datagram, length, &payload, &payloadLength, &flags)
                              : QuAdmitPlain(datagram, length, &payload, &payloadLength, &flags);
    if (reason != kDropNone) {
        QuNoteDrop(reason);
        return false;
    }
    uint32_t now = QuNow1904(NULL);
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
        uint32_t sender;
        int32_t status = QuTakeDatagram(DatagramBuffer, kDatagramSize, &length, &sender);
        // Nothing waits, or a receive error: it leaves no trace, and the
        // next poll tries again.
        if (status != 0 && status != kWsaMessageSize)
            break;
        taken++;
        // One too large for the buffer is gone already; the next may be good.
        if (status != 0)
            QuNoteDrop(kDropMalformed);
        else if (!QuSenderAllowed(sender))
            QuNoteDrop(kDropSenderNotAllowed);
        else if (QuHandleRemoteEvent(DatagramBuffer, length))
            return kListenerAccepted;
    }
    return taken > 0 ? kListenerDiscarded : kListenerQuiet;
}

// The first start of a load refuses what may have been taken before a
// restart: every stamp up to the kept mark, and, should the preferences
// have lost it, every stamp before now.
static void QuSetEarliestStamp(void)
{
    uint32_t kept = 0;
    if (QuPeekPrefNumber(kTakenUntilName, &kept) != 0)
        kept = 0;
    Guard.takenUntil = kept;
    int64_t now = QuUtcMilliseconds();
    int64_t afterMark = (int64_t)kept * 1000 + 1;
    Guard.earliestStamp = afterMark > now ? afterMark : now;
}

void ROUS_StartListener(HostHandle parameter, HostHandle result)
{
    char options[kPartSize], unused[kPartSize], key[kKeySize];
    int32_t position = 0, allowedCount = 0;
    uint16_t port;
    QuAddressRange allowed[kMaxAllowed];
    QuPreparedResult answer = {result, NULL, {0}};
    int32_t status = kErrBadParameter;
    if (QuGetHandleSize(parameter) > 0) {
        status = QuReadNextToken(parameter, options, kPartSize, &position);
        if (status == 0)
            status = QuReadNextToken(parameter, unused, kPartSize, &position);
        if (status == 0)
            status = QuReadNextToken(parameter, key, kKeySize, &position);
        // A filter that cannot be read, or sealing without a key, would let
        // in what the caller meant to keep out: nothing changes then.
        bool sealedOnly = status == 0 && QuHasOption(options, "-sealedOnly");
        if (status == 0 && sealedOnly && key[0] == 0)
            status = kErrBadParameter;
        if (status == 0)
            status = QuReadAllowFromOption(options, allowed, &allowedCount);
        // The secret follows the key; derived here, never per datagram.
        // Without the system's cryptography a listener still takes plain
        // datagrams, unless it was to take sealed ones only.
        QuSealKey seal = Guard.seal;
        if (status == 0 && key[0] != 0 && QuDeriveSealKey(key, &seal) != 0 && sealedOnly)
            status = kErrNoCryptography;
        if (status == 0)
            status = QuPrepareResult("0", result, &answer);
        // The key changes even when the listener cannot be opened, but not
        // when it could not be read: an empty key would accept every sender.
        if (status == 0) {
            QuCopyText(Key, key);
            Guard.seal = seal;
            if (key[0] == 0)
                Guard.seal.ready = false;
        }
        if (status == 0)
            status = QuReadPortOption(options, &port);
        if (status == 0)
            status = QuOpenListener(port);
        if (status == 0) {
            Guard.sealedOnly = sealedOnly;
            QuCopyBytes(Guard.allowed, allowed, allowedCount * (int32_t)sizeof allowed[0]);
            Guard.allowedCount = allowedCount;
            Guard.dropped = 0;
            Guard.lastDrop = kDropNone;
            if (!Guard.started)
                QuSetEarliestStamp();
            Guard.started = true;
        }
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
