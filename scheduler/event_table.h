// The event scheduler: the event table in one host handle, its counters,
// and the time base of every due time.
#ifndef ROUSER_EVENT_TABLE_H
#define ROUSER_EVENT_TABLE_H

#include "frame/errors.h"
#include "frame/host_call.h"

enum { kMaxEvents = 1000, kFirstEventID = 4242 };

enum EventState {
    kStateFree = 0,
    kStatePending = 1,
    kStateTriggered = 2,
    kStateSilent = 3,
    kStateMissed = 4
};

enum { kFlagTriggerPastAfterRestart = 1, kFlagBackground = 2, kFlagSilent = 4 };

// Due times are stored in 32 bits and read in a window that starts on
// 1 January 2000 00:00 and is 2^32 - 1 seconds long (to 7 February 2136
// 06:28:14): a stored value below the start is a time after 6 February
// 2040. So every file written before keeps its meaning from 2000 on. The
// window's last second stands for "no due time".
const uint32_t kWindowStart1904 = 3029529600u;
// FileMaker's day number of 1 January 1904, where dates start counting.
const int32_t kDay1904 = 695056;
const uint32_t kNoDueTime = kWindowStart1904 - 1;

// The table and its counters. Everyone reads them through EventTable; only
// the operations below write them.
struct QuEventTableState {
    HostHandle handle;        // null before start-up, after shutdown, or when it could not be made
    int16_t count;            // live records
    int16_t active;           // live records that are pending
    uint32_t earliestDue;     // at or below every pending due time; kNoDueTime when none
    uint32_t nextID;          // the ID the next insertion gives
    uint32_t lastTriggeredID; // the event the firing step started last; 0 for none
    bool changed;             // the records changed since the event file was last written
};
extern const QuEventTableState &EventTable;

// One event as everyone but the table sees it: a copy of its record. The
// text ("file|script|..."), null when it could not be made, stays the
// table's: valid until the event is deleted, never disposed of by others.
struct QuEvent {
    uint32_t id;
    uint32_t due;
    int32_t state;
    int32_t flags;
    uint32_t reserved; // saved and loaded as it is; 0 for a new event
    HostHandle text;
};

// ---- table (event_table.cpp) ----
int32_t QuCreateEventTable(void);
int32_t QuInsertEvent(uint32_t due, int32_t flags, const char *text, int32_t count, uint32_t *eventID);
// The same with an interval (repeat.h); null for a single event.
struct QuEvery;
int32_t QuInsertRepeatingEvent(uint32_t due, int32_t flags, const QuEvery *every, const char *text,
                               int32_t count, uint32_t *eventID);
// For the selection: 0 for an event not tried, kStartNever for one that must
// not be chosen, else its turn among those whose start failed (lower first).
typedef int32_t (*QuStartTurnProc)(uint32_t eventID);
enum { kStartNever = -1 };
// The event to fire: its ID and the first two fields of its text.
int32_t QuSelectDueEvent(QuStartTurnProc turnOf, uint32_t *eventID, char *fileName, char *scriptName,
                         int32_t capacity);
// A repeating event is not marked but moved to its next occurrence.
int32_t QuMarkEventTriggered(uint32_t eventID);
// Brings the pending count and the earliest due time up to date after a
// removal, which leaves them as they were.
int32_t QuRecountEvents(void);
int32_t QuDeleteEventByID(uint32_t eventID);
int32_t QuDeleteTriggeredEvents(void);
int32_t QuDeleteAllEvents(void);
void QuDisposeEventTable(void);
// The firing step's record of the event it starts; 0 for none.
void QuSetLastTriggered(uint32_t eventID);
// The event file now holds the table as it is.
void QuNoteEventsSaved(void);
// What a fresh load of the module holds: no table, the first ID next.
void QuResetEventTable(void);

// ---- events as values (event_table.cpp) ----
// Each returns 0, kErrNotFound, kErrNoHandle without a table, or kErrLock
// when the host cannot lock it.
// The event with this ID.
int32_t QuFindEvent(uint32_t eventID, QuEvent *event);
// The first event, in slot order, in this state.
int32_t QuFindEventInState(int32_t state, QuEvent *event);
// Calls `visit` with each event in slot order and then once with null, the
// table locked throughout (so `visit` may read a text but must not call the
// table), until one answers other than 0, which is returned; kVisitAgain
// from the null call starts another round. With `release`, the table is
// then emptied and its texts released without counting it a change: the
// event file holds them.
enum { kVisitAgain = 2 };
typedef int32_t (*QuEventVisitor)(const QuEvent *event, void *context);
int32_t QuForEachEvent(QuEventVisitor visit, void *context, bool release);
// Gives the event of `event->id` that due time, state (pending to missed;
// kErrBadParameter for another), flags and reserved field; its text stays.
// The counters are recounted.
int32_t QuUpdateEvent(const QuEvent *event);
// Loading the event file into the empty table. `next` gives the next event
// (0), kNoMoreEvents, or an error; it sets *read once the entry's fixed
// fields are in `event`, even when the rest turns out damaged, so that its
// ID is never given again. A pending event whose due time passed while the
// host was not running becomes missed unless it may fire late. On an error
// the table is emptied, texts included; the texts of events taken belong
// to the table.
enum { kNoMoreEvents = 1 };
typedef int32_t (*QuEventSource)(void *context, QuEvent *event, bool *read);
int32_t QuLoadEvents(QuEventSource next, void *context);

// ---- what the firing step remembers of its tries (start_outcomes.cpp) ----
// Empties both lists; at start-up.
void QuForgetStartOutcomes(void);
// Marks a started event triggered; when the mark cannot be recorded the
// event is kept, is never chosen again, and kErrMemory is returned.
int32_t QuNoteStarted(uint32_t eventID);
// Records the kept marks; kErrMemory while one still cannot be recorded.
int32_t QuMarkStartedEvents(void);
bool QuStartsAwaitingMark(void);
// A failed start sends the event to the back: it is chosen only when no
// other due event is waiting, and before one that failed after it.
void QuNoteFailedStart(uint32_t eventID);
void QuForgetFailedStart(uint32_t eventID);
// The selection's turn of an event (QuStartTurnProc).
int32_t QuStartDeferral(uint32_t eventID);

// ---- the scheduler's external functions ----
void ROUS_Control(HostHandle parameter, HostHandle result);      // delete_control.cpp
void ROUS_DeleteEvent(HostHandle parameter, HostHandle result);  // delete_control.cpp
void ROUS_GetEventInfo(HostHandle parameter, HostHandle result); // event_info.cpp
void ROUS_Sleep(HostHandle parameter, HostHandle result);        // sleep.cpp

// ---- local triggers (delete_control.cpp) ----
enum { kLockTextSize = 68 };
// Empty while local triggers are enabled; otherwise the text that enables
// them again. Not saved: a restarted host fires again. Written only by
// "Rous-Control".
extern const char (&LocalTriggerLock)[kLockTextSize];
// Enabled, as at load.
void QuResetLocalTriggers(void);
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
// The same on 64 bits, without wrapping: seconds since 1904.
int64_t QuNowSeconds(void);
int64_t QuDateToSeconds(const char *text);
// A stored due time in seconds since 1904, read in the window.
int64_t QuDueSeconds(uint32_t due);
// The stored form of a time; false when it lies outside the window.
bool QuDueFromSeconds(int64_t seconds, uint32_t *due);
// Earlier in the window; what every comparison of due times uses.
inline bool QuDueBefore(uint32_t a, uint32_t b)
{
    return a - kWindowStart1904 < b - kWindowStart1904;
}

#endif
