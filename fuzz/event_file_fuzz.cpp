// Any bytes as an event file: loading never reads outside the image, never
// leaves a handle locked or leaked, and leaves counters that match records.
#include <stdint.h>
#include <stdlib.h>

#include "frame/plugin_frame.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"
#include "scheduler/event_file.h"
#include "scheduler/event_table.h"

static int32_t CountPending(const QuEvent *event, void *context)
{
    if (event != nullptr && event->state == kStatePending)
        ++*static_cast<int16_t *>(context);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool started;
    if (!started) {
        HsSetEntry(FMExternCallProc, nullptr);
        HsSetClockSeconds(1796083200);
        started = true;
    }
    HsReset();
    HsSetStrict(true);
    HostHandle image = HsNewHostHandle(std::string(reinterpret_cast<const char *>(data), size));
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        if (QuCreateEventTable() != 0)
            abort();
        int32_t status = QuLoadEventTable(image);
        int16_t active = 0;
        if (QuForEachEvent(CountPending, &active, false) != 0)
            abort();
        if (active != EventTable.active || (status != 0 && EventTable.count != 0))
            abort();
        QuDisposeEventTable();
    });
    HsDisposeHostHandle(image);
    if (!HsTakeViolations().empty() || HsLiveHandles() != 0)
        abort();
    return 0;
}
