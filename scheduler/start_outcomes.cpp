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

static struct {
    uint32_t unmarked[kMaxUnmarked]; // started, the mark not yet recorded
    int32_t unmarkedCount;
    QuFailedStart failed[kMaxEvents];
    int32_t failedCount;
    uint32_t lastTurn;
} Outcomes;

void QuForgetStartOutcomes(void)
{
    Outcomes.unmarkedCount = 0;
    Outcomes.failedCount = 0;
    Outcomes.lastTurn = 0;
}

static int32_t QuFindFailedStart(uint32_t eventID)
{
    for (int32_t i = 0; i < Outcomes.failedCount; i++)
        if (Outcomes.failed[i].eventID == eventID)
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
    if (Outcomes.unmarkedCount == kMaxUnmarked) {
        QuCopyBytes(Outcomes.unmarked, Outcomes.unmarked + 1, (kMaxUnmarked - 1) * (int32_t)sizeof(uint32_t));
        Outcomes.unmarkedCount--;
    }
    Outcomes.unmarked[Outcomes.unmarkedCount++] = eventID;
    return kErrMemory;
}

int32_t QuMarkStartedEvents(void)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < Outcomes.unmarkedCount; i++)
        if (QuMarkEventTriggered(Outcomes.unmarked[i]) != 0)
            Outcomes.unmarked[kept++] = Outcomes.unmarked[i];
    Outcomes.unmarkedCount = kept;
    return kept == 0 ? 0 : kErrMemory;
}

bool QuStartsAwaitingMark(void)
{
    return Outcomes.unmarkedCount > 0;
}

void QuNoteFailedStart(uint32_t eventID)
{
    int32_t i = QuFindFailedStart(eventID);
    if (i < 0 && Outcomes.failedCount < kMaxEvents) {
        i = Outcomes.failedCount++;
    } else if (i < 0) {
        // Entries of events deleted since outlive them; the oldest goes.
        i = 0;
        for (int32_t j = 1; j < Outcomes.failedCount; j++)
            if (Outcomes.failed[j].turn < Outcomes.failed[i].turn)
                i = j;
    }
    Outcomes.failed[i].eventID = eventID;
    Outcomes.failed[i].turn = ++Outcomes.lastTurn;
}

void QuForgetFailedStart(uint32_t eventID)
{
    int32_t i = QuFindFailedStart(eventID);
    if (i >= 0)
        Outcomes.failed[i] = Outcomes.failed[--Outcomes.failedCount];
}

int32_t QuStartDeferral(uint32_t eventID)
{
    for (int32_t i = 0; i < Outcomes.unmarkedCount; i++)
        if (Outcomes.unmarked[i] == eventID)
            return kStartNever;
    int32_t i = QuFindFailedStart(eventID);
    return i < 0 ? 0 : 1 + (int32_t)(Outcomes.failed[i].turn % 0x7FFFFFFFu);
}
