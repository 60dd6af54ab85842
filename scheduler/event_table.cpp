// The event table: up to 1000 records of 29 bytes in one 29000-byte host
// handle, scanned linearly, compacted by moving the last record. No other
// file reads or writes a record: the others see events as values.
#include <string.h>

#include "event_table.h"
#include "frame/plugin_frame.h"
#include "repeat.h"

// A record: the marker '*', due time, state, ID, flags and reserved field,
// integers little-endian as in an entry of the event file, then the text's
// handle, which is never saved.
enum {
    kRecordSize = 29,
    kEventTableSize = kRecordSize * kMaxEvents,
    kRecordMarker = 0,
    kRecordDue = 1,
    kRecordState = 5,
    kRecordID = 9,
    kRecordFlags = 13,
    kRecordReserved = 17,
    kRecordText = 21
};

static_assert(kRecordText + sizeof(HostHandle) <= kRecordSize, "a text handle fits its record");

// What a fresh load holds: no table, no events, IDs from the first.
static const QuEventTableState kFreshTable = {NULL, 0, 0, kNoDueTime, kFirstEventID, 0, false};
static QuEventTableState Table = kFreshTable;
const QuEventTableState &EventTable = Table;

void QuResetEventTable(void)
{
    Table = kFreshTable;
}

void QuSetLastTriggered(uint32_t eventID)
{
    Table.lastTriggeredID = eventID;
}

void QuNoteEventsSaved(void)
{
    Table.changed = false;
}

static char *QuRecordAt(char *table, int32_t slot)
{
    return table + slot * kRecordSize;
}

static int32_t QuState(const char *record)
{
    return (int32_t)QuGetLE32(record + kRecordState);
}

static void QuSetState(char *record, int32_t state)
{
    QuPutLE32(record + kRecordState, (uint32_t)state);
}

static uint32_t QuRecordID(const char *record)
{
    return QuGetLE32(record + kRecordID);
}

static HostHandle QuRecordText(const char *record)
{
    HostHandle text;
    memcpy(&text, record + kRecordText, sizeof text);
    return text;
}

static void QuSetRecordText(char *record, HostHandle text)
{
    memcpy(record + kRecordText, &text, sizeof text);
}

static void QuReadRecord(const char *record, QuEvent *event)
{
    event->id = QuRecordID(record);
    event->due = QuGetLE32(record + kRecordDue);
    event->state = QuState(record);
    event->flags = (int32_t)QuGetLE32(record + kRecordFlags);
    event->reserved = QuGetLE32(record + kRecordReserved);
    event->text = QuRecordText(record);
}

// Every byte of the record: nothing of an event that held the slot before
// survives into this one.
static void QuWriteRecord(char *record, const QuEvent *event)
{
    record[kRecordMarker] = '*';
    QuPutLE32(record + kRecordDue, event->due);
    QuSetState(record, event->state);
    QuPutLE32(record + kRecordID, event->id);
    QuPutLE32(record + kRecordFlags, (uint32_t)event->flags);
    QuPutLE32(record + kRecordReserved, event->reserved);
    memset(record + kRecordText, 0, kRecordSize - kRecordText);
    QuSetRecordText(record, event->text);
}

// One more pending event, due at `due`.
static void QuCountPending(uint32_t due)
{
    if (QuDueBefore(due, Table.earliestDue))
        Table.earliestDue = due;
    Table.active++;
}

// Locks the table for one operation: kErrBadParameter without a table,
// kErrMemory when the host cannot lock it.
static int32_t QuLockEventTable(char **table)
{
    if (Table.handle == NULL)
        return kErrBadParameter;
    return QuLockHandle(Table.handle, table) != 0 ? kErrMemory : 0;
}

int32_t QuCreateEventTable(void)
{
    int32_t status;
    char *table;
    Table.handle = QuNewHandle(kEventTableSize, &status);
    if (status != 0)
        return status;
    status = QuLockHandle(Table.handle, &table);
    if (status != 0)
        return status;
    memset(table, 0, kEventTableSize);
    QuUnlockHandle(Table.handle);
    Table.active = 0;
    Table.count = 0;
    Table.earliestDue = kNoDueTime;
    Table.lastTriggeredID = 0;
    Table.changed = false;
    return 0;
}

int32_t QuInsertEvent(uint32_t due, int32_t flags, const char *text, int32_t count, uint32_t *eventID)
{
    return QuInsertRepeatingEvent(due, flags, NULL, text, count, eventID);
}

int32_t QuInsertRepeatingEvent(uint32_t due, int32_t flags, const QuEvery *every, const char *text,
                               int32_t count, uint32_t *eventID)
{
    char *table;
    if (Table.count >= kMaxEvents)
        return kErrTableFull;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    // The ID is spent even when the event cannot be kept.
    QuEvent event = {Table.nextID++, due, kStatePending, flags, 0, NULL};
    if (flags == kFlagSilent)
        event.state = kStateSilent;
    if (every != NULL)
        event.reserved = QuEncodeEvery(every, event.id);
    *eventID = event.id;
    event.text = QuNewHandle(0, &status);
    if (status == 0 && count > 0)
        status = QuStoreHandleBytes(text, count, event.text);
    if (status != 0) {
        // A counted event without its text would be chosen at every poll
        // and hold back every later one: it is not taken.
        QuDisposeHandle(event.text);
        status = kErrMemory;
    } else {
        QuWriteRecord(QuRecordAt(table, Table.count++), &event);
        if (event.state == kStatePending)
            QuCountPending(due);
        Table.changed = true;
    }
    QuUnlockHandle(Table.handle);
    return status;
}

int32_t QuSelectDueEvent(QuStartTurnProc turnOf, uint32_t *eventID, char *fileName, char *scriptName,
                         int32_t capacity)
{
    char *table;
    if (Table.handle == NULL)
        return kErrNoTable;
    if (QuLockHandle(Table.handle, &table) != 0)
        return kErrMemory;
    uint32_t now = QuNow1904(NULL);
    int32_t chosen = -1, fallback = -1, failed = -1, failedTurn = 0;
    for (int32_t i = 0; i < Table.count; i++) {
        const char *record = QuRecordAt(table, i);
        if (QuState(record) != kStatePending)
            continue;
        uint32_t due = QuGetLE32(record + kRecordDue);
        // Events not yet tried go by the usual rule; one whose start failed
        // waits until none of them is due, so it cannot hold them back.
        int32_t turn = turnOf(QuRecordID(record));
        if (turn != 0) {
            if (turn > 0 && !QuDueBefore(now, due) && (failed < 0 || turn < failedTurn)) {
                failed = i;
                failedTurn = turn;
            }
            continue;
        }
        if (!QuDueBefore(Table.earliestDue, due)) {
            chosen = i;
            break;
        }
        if (fallback < 0 && !QuDueBefore(now, due))
            fallback = i;
    }
    if (chosen < 0)
        chosen = fallback;
    if (chosen < 0)
        chosen = failed;
    if (chosen < 0) {
        QuUnlockHandle(Table.handle);
        return kErrNotFound;
    }
    const char *record = QuRecordAt(table, chosen);
    HostHandle text = QuRecordText(record);
    int32_t position = 0, status = 0;
    fileName[0] = scriptName[0] = 0;
    if (text != NULL)
        status = QuReadNextToken(text, fileName, capacity, &position);
    if (text != NULL && status == 0)
        status = QuReadNextToken(text, scriptName, capacity, &position);
    if (status != 0) {
        // Names that could not be read must not be started as empty or
        // shifted ones: the event stays pending for a later poll.
        QuUnlockHandle(Table.handle);
        return kErrMemory;
    }
    *eventID = QuRecordID(record);
    QuUnlockHandle(Table.handle);
    return 0;
}

// A repeating event moves to its next occurrence strictly after `now`;
// false, and nothing changed, for a single event and for a series whose
// next occurrence lies beyond the window of due times.
static bool QuMoveToNextOccurrence(QuEvent *event, int64_t now)
{
    QuEvery every;
    return QuDecodeEvery(event->reserved, event->id, &every) &&
           QuDueFromSeconds(QuOccurrenceAfter(QuDueSeconds(event->due), &every, now), &event->due);
}

// Marks the pending events with this ID triggered, or moves a repeating
// one to its next occurrence, and recounts the others, in the locked table.
static void QuMarkAndRecountIn(char *table, uint32_t eventID, bool mark)
{
    int64_t now = mark ? QuNowSeconds() : 0;
    Table.earliestDue = kNoDueTime;
    Table.active = 0;
    for (int32_t i = 0; i < Table.count; i++) {
        char *record = QuRecordAt(table, i);
        if (QuState(record) != kStatePending)
            continue;
        if (mark && QuRecordID(record) == eventID) {
            QuEvent event;
            QuReadRecord(record, &event);
            Table.changed = true;
            if (!QuMoveToNextOccurrence(&event, now)) {
                QuSetState(record, kStateTriggered);
                continue;
            }
            QuPutLE32(record + kRecordDue, event.due);
        }
        QuCountPending(QuGetLE32(record + kRecordDue));
    }
}

static int32_t QuMarkAndRecount(uint32_t eventID, bool mark)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    QuMarkAndRecountIn(table, eventID, mark);
    QuUnlockHandle(Table.handle);
    return 0;
}

int32_t QuMarkEventTriggered(uint32_t eventID)
{
    return QuMarkAndRecount(eventID, true);
}

int32_t QuRecountEvents(void)
{
    return QuMarkAndRecount(0, false);
}

// Compaction: the last live record moves into the hole, and one record fewer
// is live. The earliest due time stays as it was.
static void QuRemoveEventAt(char *table, int32_t hole)
{
    char *holeRecord = QuRecordAt(table, hole);
    HostHandle text = QuRecordText(holeRecord);
    if (text != NULL) {
        QuDisposeHandle(text);
        QuSetRecordText(holeRecord, NULL);
    }
    if (Table.count <= 1) {
        QuSetState(holeRecord, kStateFree);
        Table.active = 0;
        Table.earliestDue = kNoDueTime;
        return;
    }
    if (QuState(holeRecord) == kStatePending)
        Table.active--;
    char *last = QuRecordAt(table, Table.count - 1);
    // The whole record moves, its reserved field and text included.
    if (last != holeRecord) {
        memcpy(holeRecord, last, kRecordSize);
        QuSetRecordText(last, NULL);
    }
    QuSetState(last, kStateFree);
}

static void QuRemoveEvent(char *table, int32_t hole)
{
    QuRemoveEventAt(table, hole);
    Table.count--;
    Table.changed = true;
}

// The slot of the first event for which `matches` holds; -1 for none.
static int32_t QuFindSlot(char *table, bool (*matches)(const char *record, uint32_t key), uint32_t key)
{
    for (int32_t i = 0; i < Table.count; i++)
        if (matches(QuRecordAt(table, i), key))
            return i;
    return -1;
}

static bool QuHasID(const char *record, uint32_t eventID)
{
    return QuRecordID(record) == eventID;
}

static bool QuHasState(const char *record, uint32_t state)
{
    return QuState(record) == (int32_t)state;
}

int32_t QuDeleteEventByID(uint32_t eventID)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    int32_t slot = QuFindSlot(table, QuHasID, eventID);
    if (slot >= 0)
        QuRemoveEvent(table, slot);
    QuUnlockHandle(Table.handle);
    return 0;
}

int32_t QuDeleteTriggeredEvents(void)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    int32_t i = 0;
    while (i < Table.count) {
        int32_t state = QuState(QuRecordAt(table, i));
        if (state == kStateTriggered || state == kStateMissed) {
            QuRemoveEvent(table, i);
            i = 0;
        } else {
            i++;
        }
    }
    QuUnlockHandle(Table.handle);
    return 0;
}

// Releases every event's text and empties the locked table.
static void QuReleaseEventTexts(char *table)
{
    for (int32_t i = 0; i < Table.count; i++) {
        char *record = QuRecordAt(table, i);
        QuDisposeHandle(QuRecordText(record));
        QuSetRecordText(record, NULL);
    }
    Table.active = 0;
    Table.count = 0;
    Table.earliestDue = kNoDueTime;
}

int32_t QuDeleteAllEvents(void)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    if (Table.count > 0)
        Table.changed = true;
    QuReleaseEventTexts(table);
    QuUnlockHandle(Table.handle);
    return 0;
}

void QuDisposeEventTable(void)
{
    if (Table.handle == NULL)
        return;
    QuDeleteAllEvents();
    QuDisposeHandle(Table.handle);
    Table.handle = NULL;
}

// Locks the table for a call on values: kErrNoHandle without a table,
// kErrLock when the host cannot lock it.
static int32_t QuLockForValues(char **table)
{
    if (Table.handle == NULL)
        return kErrNoHandle;
    return QuLockHandle(Table.handle, table) != 0 ? kErrLock : 0;
}

static int32_t QuFindWhere(bool (*matches)(const char *record, uint32_t key), uint32_t key, QuEvent *event)
{
    char *table;
    int32_t status = QuLockForValues(&table);
    if (status != 0)
        return status;
    int32_t slot = QuFindSlot(table, matches, key);
    if (slot >= 0)
        QuReadRecord(QuRecordAt(table, slot), event);
    QuUnlockHandle(Table.handle);
    return slot >= 0 ? 0 : (int32_t)kErrNotFound;
}

int32_t QuFindEvent(uint32_t eventID, QuEvent *event)
{
    return QuFindWhere(QuHasID, eventID, event);
}

int32_t QuFindEventInState(int32_t state, QuEvent *event)
{
    return QuFindWhere(QuHasState, (uint32_t)state, event);
}

int32_t QuForEachEvent(QuEventVisitor visit, void *context, bool release)
{
    char *table;
    int32_t status = QuLockForValues(&table);
    if (status != 0)
        return status;
    do {
        status = 0;
        for (int32_t i = 0; status == 0 && i < Table.count; i++) {
            QuEvent event;
            QuReadRecord(QuRecordAt(table, i), &event);
            status = visit(&event, context);
        }
        if (status == 0)
            status = visit(NULL, context);
    } while (status == kVisitAgain);
    if (release)
        QuReleaseEventTexts(table);
    QuUnlockHandle(Table.handle);
    return status;
}

int32_t QuUpdateEvent(const QuEvent *event)
{
    char *table;
    // A free record among the live ones would be counted but never found.
    if (event->state < kStatePending || event->state > kStateMissed)
        return kErrBadParameter;
    int32_t status = QuLockForValues(&table);
    if (status != 0)
        return status;
    int32_t slot = QuFindSlot(table, QuHasID, event->id);
    if (slot >= 0) {
        char *record = QuRecordAt(table, slot);
        QuEvent updated = *event;
        updated.text = QuRecordText(record);
        QuWriteRecord(record, &updated);
        QuMarkAndRecountIn(table, 0, false);
        Table.changed = true;
    }
    QuUnlockHandle(Table.handle);
    return slot >= 0 ? 0 : (int32_t)kErrNotFound;
}

// A loaded event's state and the counters; its ID is never given again,
// even when its entry turns out damaged.
static void QuAdmitLoadedEvent(QuEvent *event, uint32_t now)
{
    bool late = (event->flags & kFlagTriggerPastAfterRestart) != 0;
    // Passed while the host was not running, and not asked to fire late: a
    // series skips to its next occurrence, a single event is missed. Asked
    // to fire late, either fires once (and a series goes on).
    if (event->state == kStatePending && !late && QuDueBefore(event->due, now)) {
        if (!QuMoveToNextOccurrence(event, QuDueSeconds(now) - 1))
            event->state = kStateMissed;
        Table.changed = true;
    }
    if (event->state == kStatePending)
        QuCountPending(event->due);
    if (event->id > Table.nextID)
        Table.nextID = event->id;
}

int32_t QuLoadEvents(QuEventSource next, void *context)
{
    char *table;
    uint32_t now = QuNow1904(NULL);
    int32_t status = QuLockForValues(&table);
    if (status != 0)
        return status;
    Table.earliestDue = kNoDueTime;
    while (status == 0 && Table.count < kMaxEvents) {
        QuEvent event = {0, 0, kStateFree, 0, 0, NULL};
        bool read = false;
        status = next(context, &event, &read);
        if (read)
            QuAdmitLoadedEvent(&event, now);
        if (status == 0)
            QuWriteRecord(QuRecordAt(table, Table.count++), &event);
    }
    if (status == kNoMoreEvents)
        status = 0;
    // A damaged file is thrown away whole, texts and counters included.
    if (status != 0)
        QuReleaseEventTexts(table);
    QuUnlockHandle(Table.handle);
    Table.nextID++;
    return status;
}
