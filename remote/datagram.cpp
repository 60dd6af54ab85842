// The remote-event datagram: plain text fields split by "|" (whatever the
// parameter separator is), in one datagram that ends with a NUL:
//   QUIL DATAGRAM 1.0|SCTR[-BG][-DT]|key|file|script|your ID|your text\0
// The file name and everything after it is the payload that becomes the
// new event's text.
#include "frame/plugin_frame.h"
#include "remote.h"
#include "scheduler/event_table.h"

static const char kHeader[] = "QUIL DATAGRAM 1.0";
enum {
    kHeaderLength = sizeof kHeader - 1,
    kFieldsStart = kHeaderLength + 1, // the writer's header and its separator
    kFieldMax = kKeySize - 1
};

void QuBeginDatagram(char *datagram, int32_t *length)
{
    *length = 0;
    QuAppendToDatagram(datagram, length, kHeader, kHeaderLength);
    QuAppendToDatagram(datagram, length, "|SCTR", 5);
}

int32_t QuAppendToDatagram(char *datagram, int32_t *length, const char *bytes, int32_t count)
{
    // Room is kept for the NUL that ends every datagram.
    if (count < 0 || (int64_t)*length + count + 1 > kDatagramSize)
        return kErrBadParameter;
    QuCopyBytes(datagram + *length, bytes, count);
    *length += count;
    return 0;
}

int32_t QuAppendField(char *datagram, int32_t *length, const char *field)
{
    int32_t count = QuTextLength(field);
    if ((int64_t)*length + 1 + count + 1 > kDatagramSize)
        return kErrBadParameter;
    QuAppendToDatagram(datagram, length, "|", 1);
    return QuAppendToDatagram(datagram, length, field, count);
}

int32_t QuEndDatagram(char *datagram, int32_t *length)
{
    if (*length + 1 > kDatagramSize)
        return kErrBadParameter;
    datagram[(*length)++] = 0;
    return 0;
}

bool QuReadDatagram(const char *datagram, int32_t length, QuRemoteEvent *event)
{
    // The fields are read from a terminated copy, so that a datagram that
    // holds no NUL, or fills the whole buffer, is never read beyond its end.
    char text[kDatagramSize + 1];
    char tag[kKeySize];
    event->flags = 0;
    event->key[0] = 0;
    event->payloadStart = 0;
    event->payloadLength = 0;
    if (length <= 0 || length > kDatagramSize)
        return false;
    int32_t textLength = 0;
    while (textLength < length && datagram[textLength] != 0)
        textLength++;
    QuCopyBytes(text, datagram, textLength);
    text[textLength] = 0;
    if (QuFindText(text, textLength, kHeader, kHeaderLength, 0, 1, true) < 0)
        return false;
    // Where the writer ends the header, wherever the header was found.
    int32_t position = kFieldsStart;
    QuNextField(text, "|", tag, kFieldMax, &position);
    if (!QuHasOption(tag, "SCTR"))
        return false;
    QuNextField(text, "|", event->key, kFieldMax, &position);
    if (position == -1)
        return false;
    if (QuHasOption(tag, "-BG"))
        event->flags = kFlagBackground;
    else if (QuHasOption(tag, "-DT"))
        event->flags = kFlagSilent;
    // Everything after the key's separator but the last byte, the writer's NUL.
    event->payloadStart = position;
    event->payloadLength = length - position - 1;
    return true;
}
