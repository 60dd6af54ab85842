// What the firing step remembers between polls about events it has tried:
// started events whose triggered mark could not be recorded yet, which
// must never start again, and events whose start failed, which wait their
// turn behind every other due event.
#include "event_table.h"
#include "frame/plugin_frame.h"

enum { kMaxUnmarked = 8 };

struct QuFailedStart {
    uint32_t eventID;
    uint32_t turn; // larger: failed more recently
};

static uint32_t UnmarkedEventIDs[kMaxUnmarked];
static int32_t UnmarkedCount;
static QuFailedStart FailedStarts[kMaxEvents];
static int32_t FailedStartCount;
static uint32_t FailedStartTurn;

void QuForgetStartOutcomes(void)
{
    UnmarkedCount = 0;
    FailedStartCount = 0;
    FailedStartTurn = 0;
}

static int32_t QuFindFailedStart(uint32_t eventID)
{
    for (int32_t i = 0; i < FailedStartCount; i++)
        if (FailedStarts[i].eventID == eventID)
            return i;
    return -1;
}

int32_t QuNoteStarted(uint32_t eventID)
{
    QuForgetFailedStart(eventID);
    if (QuMarkEventTriggered(eventID) == 0)
        return 0;
    // Nesting is bounded, so the list cannot fill; if it ever did, the
    // oldest entry would give way rather than the newest start be forgotten.
    if (UnmarkedCount == kMaxUnmarked) {
        QuCopyBytes(UnmarkedEventIDs, UnmarkedEventIDs + 1, (kMaxUnmarked - 1) * (int32_t)sizeof(uint32_t));
        UnmarkedCount--;
    }
    UnmarkedEventIDs[UnmarkedCount++] = eventID;
    return kErrMemory;
}

int32_t QuMarkStartedEvents(void)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < UnmarkedCount; i++)
        if (QuMarkEventTriggered(UnmarkedEventIDs[i]) != 0)
            UnmarkedEventIDs[kept++] = UnmarkedEventIDs[i];
    UnmarkedCount = kept;
    return kept == 0 ? 0 : kErrMemory;
}

bool QuStartsAwaitingMark(void)
{
    return UnmarkedCount > 0;
}

void QuNoteFailedStart(uint32_t eventID)
{
    int32_t i = QuFindFailedStart(eventID);
    if (i < 0 && FailedStartCount < kMaxEvents) {
        i = FailedStartCount++;
    } else if (i < 0) {
        // Entries of events deleted since outlive them; the oldest goes.
        i = 0;
        for (int32_t j = 1; j < FailedStartCount; j++)
            if (FailedStarts[j].turn < FailedStarts[i].turn)
                i = j;
    }
    FailedStarts[i].eventID = eventID;
    FailedStarts[i].turn = ++FailedStartTurn;
}

void QuForgetFailedStart(uint32_t eventID)
{
    int32_t i = QuFindFailedStart(eventID);
    if (i >= 0)
        FailedStarts[i] = FailedStarts[--FailedStartCount];
}

int32_t QuStartDeferral(uint32_t eventID)
{
    for (int32_t i = 0; i < UnmarkedCount; i++)
        if (UnmarkedEventIDs[i] == eventID)
            return kStartNever;
    int32_t i = QuFindFailedStart(eventID);
    return i < 0 ? 0 : 1 + (int32_t)(FailedStarts[i].turn % 0x7FFFFFFFu);
}
