// The event scheduler: the event table in one host handle, its counters,
// and the time base of every due time.
#ifndef ROUSER_EVENT_TABLE_H
#define ROUSER_EVENT_TABLE_H

#include "frame/errors.h"
#include "frame/host_call.h"

enum {
    kEventTableSize = 29000,
    kEventStride = 29,
    kMaxEvents = 1000,
    // Bytes 0 to 20 of a record are also an entry header of the event file.
    kRecordMarker = 0,
    kRecordDue = 1,
    kRecordState = 5,
    kRecordID = 9,
    kRecordFlags = 13,
    kRecordReserved = 17,
    kRecordHeaderSize = 21,
    // The text handle follows the header in memory; it is never saved.
    kRecordText = 21,
    kFirstEventID = 4242
};

static_assert(kRecordText + sizeof(HostHandle) <= kEventStride, "a text handle fits its record");

enum EventState {
    kStateFree = 0,
    kStatePending = 1,
    kStateTriggered = 2,
    kStateSilent = 3,
    kStateMissed = 4
};

enum { kFlagTriggerPastAfterRestart = 1, kFlagBackground = 2, kFlagSilent = 4 };

const uint32_t kNoDueTime = 0xFFFFFFFFu;
// No event carries this ID, so marking it only recomputes the counters.
const uint32_t kNoEventID = 0xFFFFFFFFu;

extern HostHandle EventTableHandle;
extern int16_t EventCount;
extern int16_t ActiveEventCount;
extern uint32_t EarliestDueTime;
extern uint32_t NextEventID;
extern uint32_t LastTriggeredEventID;
// Set by every change of the records since the event file was last written.
extern bool EventTableChanged;

// ---- table (event_table.cpp) ----
int32_t QuCreateEventTable(void);
int32_t QuInsertEvent(uint32_t due, int32_t flags, const char *text, int32_t count, uint32_t *eventID);
int32_t QuSelectDueEvent(int16_t *slot, uint32_t *eventID, char *fileName, char *scriptName,
                         int32_t capacity, int32_t *flags);
int32_t QuMarkEventTriggered(uint32_t eventID);
int32_t QuDeleteEventByID(uint32_t eventID);
int32_t QuDeleteTriggeredEvents(void);
int32_t QuDeleteAllEvents(void);
// Compaction step: the last live record moves into the hole. The caller
// holds the table locked and decrements EventCount afterwards.
void QuRemoveEventAt(char *table, int32_t hole);
void QuDisposeEventTable(void);
// Releases every event's text and empties the table, which is locked.
void QuReleaseEventTexts(char *table);

// ---- records, for the subsystems that read them (event_table.cpp) ----
char *QuEventRecord(char *table, int32_t slot);
uint32_t QuGetLE32(const char *bytes);
void QuPutLE32(char *bytes, uint32_t value);
HostHandle QuRecordText(const char *record);
void QuSetRecordText(char *record, HostHandle text);

// ---- what the selection remembers of the firing step's tries (start_outcomes.cpp) ----
enum { kStartNever = -1 };
// Empties both lists; at start-up, when the table is created.
void QuForgetStartOutcomes(void);
// Marks a started event triggered; when the mark cannot be recorded the
// event is kept, is never chosen again, and -108 is returned.
int32_t QuNoteStarted(uint32_t eventID);
// Records the kept marks; -108 while one still cannot be recorded.
int32_t QuMarkStartedEvents(void);
bool QuStartsAwaitingMark(void);
// A failed start sends the event to the back: it is chosen only when no
// other due event is waiting, and before one that failed after it.
void QuNoteFailedStart(uint32_t eventID);
void QuForgetFailedStart(uint32_t eventID);
// For the selection: 0 for an event not tried, kStartNever for a started
// one awaiting its mark, else the failed one's turn (lower goes first).
int32_t QuStartDeferral(uint32_t eventID);

// ---- the scheduler's external functions ----
void ROUS_Control(HostHandle parameter, HostHandle result);      // delete_control.cpp
void ROUS_DeleteEvent(HostHandle parameter, HostHandle result);  // delete_control.cpp
void ROUS_GetEventInfo(HostHandle parameter, HostHandle result); // event_info.cpp
void ROUS_Sleep(HostHandle parameter, HostHandle result);        // sleep.cpp

// ---- local triggers (delete_control.cpp) ----
enum { kLockTextSize = 68 };
// Empty while local triggers are enabled; otherwise the text that enables
// them again. Not saved: a restarted host fires again.
extern char LocalTriggerLock[kLockTextSize];
// True while "Rous-Control" holds a lock text: nothing fires, nothing is
// scheduled.
bool QuLocalTriggersDisabled(void);

// ---- waits of the platform (wait.cpp) ----
int32_t QuWaitUntil(uint32_t wakeTime);
int32_t QuWaitTicks(uint32_t ticks);

// ---- time base (time_base.cpp) ----
uint32_t QuNow1904(uint32_t *out);
uint32_t QuDateToTimestamp(const char *text);
uint32_t QuTimeToSeconds(const char *text);

#endif
