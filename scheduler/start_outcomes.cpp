// What the firing step remembers between polls about events it has tried:
// started events whose triggered mark could not be recorded yet, which
// must never start again, and events whose start failed, which wait their
// turn behind every other due event.
#include <string.h>

#include "event_table.h"
#include "frame/plugin_frame.h"

enum {
    kMaxUnmarked = 8,
    // Open addressing over the failed starts: a power of two, at least twice
    // kMaxEvents, so that a probe ends soon at an empty slot.
    kIndexSize = 2048
};

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
    // The selection asks about every due event at every poll: each failed
    // start is found by its ID here, its place in `failed` plus one (0: an
    // empty slot), rather than by a search of the list.
    int16_t index[kIndexSize];
} Outcomes;

void QuForgetStartOutcomes(void)
{
    Outcomes.unmarkedCount = 0;
    Outcomes.failedCount = 0;
    Outcomes.lastTurn = 0;
    memset(Outcomes.index, 0, sizeof Outcomes.index);
}

static int32_t QuHomeSlot(uint32_t eventID)
{
    // Fibonacci hashing: IDs given in sequence spread over the index.
    return (int32_t)((eventID * 2654435769u) >> 21);
}

// The index slot of this ID's failed start, or the empty slot where it
// would go.
static int32_t QuIndexSlot(uint32_t eventID)
{
    int32_t slot = QuHomeSlot(eventID);
    while (Outcomes.index[slot] != 0 && Outcomes.failed[Outcomes.index[slot] - 1].eventID != eventID)
        slot = (slot + 1) & (kIndexSize - 1);
    return slot;
}

static int32_t QuFindFailedStart(uint32_t eventID)
{
    return Outcomes.index[QuIndexSlot(eventID)] - 1;
}

// Takes an ID out of the index, moving back the entries after it that
// would no longer be found past the gap.
static void QuUnindex(uint32_t eventID)
{
    int32_t gap = QuIndexSlot(eventID);
    Outcomes.index[gap] = 0;
    for (int32_t slot = (gap + 1) & (kIndexSize - 1); Outcomes.index[slot] != 0;
         slot = (slot + 1) & (kIndexSize - 1)) {
        int32_t home = QuHomeSlot(Outcomes.failed[Outcomes.index[slot] - 1].eventID);
        // Its probe from home passes the gap: it moves into it.
        if (((slot - home) & (kIndexSize - 1)) >= ((slot - gap) & (kIndexSize - 1))) {
            Outcomes.index[gap] = Outcomes.index[slot];
            Outcomes.index[slot] = 0;
            gap = slot;
        }
    }
}

// Puts the entry at `place` of the failed starts into the index.
static void QuIndex(int32_t place)
{
    Outcomes.index[QuIndexSlot(Outcomes.failed[place].eventID)] = (int16_t)(place + 1);
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
        QuUnindex(Outcomes.failed[i].eventID);
    }
    Outcomes.failed[i].eventID = eventID;
    Outcomes.failed[i].turn = ++Outcomes.lastTurn;
    QuIndex(i);
}

void QuForgetFailedStart(uint32_t eventID)
{
    int32_t i = QuFindFailedStart(eventID);
    if (i < 0)
        return;
    QuUnindex(eventID);
    int32_t last = --Outcomes.failedCount;
    if (i != last) {
        QuUnindex(Outcomes.failed[last].eventID);
        Outcomes.failed[i] = Outcomes.failed[last];
        QuIndex(i);
    }
}

int32_t QuStartDeferral(uint32_t eventID)
{
    for (int32_t i = 0; i < Outcomes.unmarkedCount; i++)
        if (Outcomes.unmarked[i] == eventID)
            return kStartNever;
    int32_t i = QuFindFailedStart(eventID);
    return i < 0 ? 0 : 1 + (int32_t)(Outcomes.failed[i].turn % 0x7FFFFFFFu);
}
