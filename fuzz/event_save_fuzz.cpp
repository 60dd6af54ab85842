// Any bytes as a list of events (due time, flags, text): the table saved to
// an image and loaded again holds the same events, in the same order, with
// the same IDs, flags and texts; only a pending event whose time has passed
// may come back missed. Nothing is left locked or leaked.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "frame/plugin_frame.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"
#include "scheduler/event_file.h"
#include "scheduler/event_table.h"

namespace {

const uint32_t kNow = 3879446400u;

struct Saved {
    uint32_t due, id;
    int32_t state, flags;
    std::string text;
};

int32_t AddSaved(const QuEvent *event, void *context)
{
    if (event != nullptr)
        static_cast<std::vector<Saved> *>(context)->push_back(
            {event->due, event->id, event->state, event->flags,
             event->text == nullptr ? std::string() : HsHandleContent(event->text)});
    return 0;
}

std::vector<Saved> Records()
{
    std::vector<Saved> out;
    if (QuForEachEvent(AddSaved, &out, false) != 0)
        abort();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool started;
    if (!started) {
        HsSetEntry(FMExternCallProc, nullptr);
        HsSetClockSeconds(static_cast<int64_t>(kNow) - 2082844800);
        started = true;
    }
    HsReset();
    HsSetStrict(true);
    HostHandle image = HsNewHostHandle("");
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        if (QuCreateEventTable() != 0)
            abort();
        // Each event: a signed offset of the due time from now, the flags,
        // a length byte and that many text bytes.
        size_t at = 0;
        while (at + 3 <= size && EventTable.count < kMaxEvents) {
            int32_t offset = (int8_t)data[at] * 600;
            int32_t flags = data[at + 1] & 7;
            size_t length = data[at + 2];
            at += 3;
            if (length > size - at)
                length = size - at;
            uint32_t id;
            if (QuInsertEvent(kNow + (uint32_t)offset, flags, (const char *)data + at, (int32_t)length,
                              &id) != 0)
                abort();
            at += length;
        }
        std::vector<Saved> before = Records();
        if (QuSaveEventTable(image) != 0)
            abort();
        if (QuLoadEventTable(image) != 0 && !before.empty())
            abort();
        std::vector<Saved> after = Records();
        if (after.size() != before.size())
            abort();
        for (size_t i = 0; i < before.size(); i++) {
            const Saved &b = before[i], &a = after[i];
            bool missed = b.state == kStatePending && a.state == kStateMissed && b.due < kNow &&
                          (b.flags & kFlagTriggerPastAfterRestart) == 0;
            if (a.due != b.due || a.id != b.id || a.flags != b.flags || a.text != b.text ||
                (a.state != b.state && !missed))
                abort();
        }
        QuDisposeEventTable();
    });
    HsDisposeHostHandle(image);
    if (!HsTakeViolations().empty() || HsLiveHandles() != 0)
        abort();
    return 0;
}
