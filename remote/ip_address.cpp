// "Rous-GetIPAddress": the IPv4 address of this computer's own name, as
// dotted text, so that a solution can tell others where to send events.
#include "frame/plugin_frame.h"
#include "os_sockets.h"
#include "remote.h"

enum { kTextSize = 1000 };

int32_t QuGetHostAddress(char *buffer, int32_t capacity)
{
    uint32_t address;
    int32_t status = QuStartSockets();
    if (status != 0)
        return status;
    buffer[0] = 0;
    status = QuOsHostName(buffer, capacity);
    if (status == 0) {
        // A name cut to the capacity may come without its terminator.
        buffer[capacity - 1] = 0;
        status = QuOsResolveName(buffer, &address);
    }
    if (status != 0)
        return status;
    const char *text = QuOsAddressText(address);
    return QuCopyBounded(text, QuTextLength(text), buffer, capacity);
}

void ROUS_GetIPAddress(HostHandle parameter, HostHandle result)
{
    char options[kTextSize], address[kTextSize];
    int32_t position = 0;
    // "-defaultinterface" and "-interfaceIndex" are accepted; the answer is
    // always the first address the resolver lists for this computer.
    int32_t status = QuReadNextToken(parameter, options, kTextSize, &position);
    if (status == 0)
        status = QuGetHostAddress(address, kTextSize);
    if (status == 0)
        QuSetResultText(address, result);
    else
        QuSetErrorResult(status, result);
}
