// Any bytes as a received datagram: the reader stays inside them, and an
// accepted one becomes an event without leaking or locking a handle.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "frame/plugin_frame.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"
#include "remote/remote.h"
#include "scheduler/event_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool started;
    if (!started) {
        HsSetEntry(FMExternCallProc, nullptr);
        HsSetClockSeconds(1796083200);
        HsUseSimulatedClock(1000000);
        started = true;
    }
    if (size > kDatagramSize)
        return 0;
    // Exactly the received bytes, so that a read past them is caught.
    std::vector<char> datagram(data, data + size);
    QuRemoteEvent event;
    if (QuReadDatagram(datagram.data(), static_cast<int32_t>(size), &event)) {
        if (event.payloadStart < 0 || (event.payloadLength > 0 &&
                                       event.payloadStart + event.payloadLength > static_cast<int32_t>(size)))
            abort();
        if (strlen(event.key) >= sizeof event.key)
            abort();
    }
    HsReset();
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        if (QuCreateEventTable() != 0)
            abort();
        QuHandleRemoteEvent(datagram.data(), static_cast<int32_t>(size));
        if (EventTable.count > 1 || EventTable.active > EventTable.count)
            abort();
        QuDisposeEventTable();
    });
    if (!HsTakeViolations().empty() || HsLiveHandles() != 0)
        abort();
    return 0;
}
