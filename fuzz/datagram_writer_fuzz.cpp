// Any bytes as the parts of a remote event: the writer never grows a
// datagram past its buffer, and whatever it accepts the reader reads back
// with the same key, flags and payload.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "frame/plugin_frame.h"
#include "remote/remote.h"
#include "scheduler/event_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: the tag marks; the rest: key, file, script and your ID
    // split at 0xFF, then your text.
    uint8_t marks = data[0];
    std::vector<std::string> parts(1);
    size_t at = 1;
    for (; at < size && parts.size() <= 4; at++) {
        if (data[at] == 0xFF)
            parts.emplace_back();
        else if (data[at] != 0)
            parts.back() += (char)data[at];
    }
    if (parts.size() < 5)
        return 0;
    std::string yourText((const char *)data + at, size - at);
    static char datagram[kDatagramSize];
    int32_t length;
    QuBeginDatagram(datagram, &length);
    if (marks & 1)
        QuAppendToDatagram(datagram, &length, "-BG", 3);
    if (marks & 2)
        QuAppendToDatagram(datagram, &length, "-DT", 3);
    // "-BG" is read first.
    int32_t flags = (marks & 1) ? kFlagBackground : (marks & 2) ? kFlagSilent : 0;
    int32_t status = 0;
    std::string payload;
    for (size_t i = 0; i < 4 && status == 0; i++) {
        status = QuAppendField(datagram, &length, parts[i].c_str());
        if (i > 0)
            payload += parts[i] + "|";
    }
    if (status == 0)
        status = QuAppendToDatagram(datagram, &length, "|", 1);
    if (status == 0)
        status = QuAppendToDatagram(datagram, &length, yourText.data(), (int32_t)yourText.size());
    if (status == 0)
        status = QuEndDatagram(datagram, &length);
    if (length < 0 || length > kDatagramSize)
        abort();
    if (status != 0)
        return 0;
    payload += yourText;
    // A key holding the separator is read back shorter; the reader then
    // sees the rest as payload, which is no fault of the writer's.
    if (parts[0].find('|') != std::string::npos)
        return 0;
    QuRemoteEvent event;
    if (!QuReadDatagram(datagram, length, &event))
        abort();
    if (parts[0] != event.key || event.flags != flags)
        abort();
    if (event.payloadLength != (int32_t)payload.size() ||
        memcmp(datagram + event.payloadStart, payload.data(), payload.size()) != 0)
        abort();
    return 0;
}
