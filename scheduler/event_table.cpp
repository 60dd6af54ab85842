// The event table: up to 1000 records of 29 bytes in one 29000-byte host
// handle, scanned linearly, compacted by moving the last record.
#include <string.h>

#include "event_table.h"
#include "frame/plugin_frame.h"
#include "repeat.h"

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

uint32_t QuGetLE32(const char *bytes)
{
    const unsigned char *b = (const unsigned char *)bytes;
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

void QuPutLE32(char *bytes, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[i] = (char)(value >> (8 * i));
}

char *QuEventRecord(char *table, int32_t slot)
{
    return table + slot * kEventStride;
}

HostHandle QuRecordText(const char *record)
{
    HostHandle text;
    memcpy(&text, record + kRecordText, sizeof text);
    return text;
}

void QuSetRecordText(char *record, HostHandle text)
{
    memcpy(record + kRecordText, &text, sizeof text);
}

static int32_t QuState(const char *record)
{
    return (int32_t)QuGetLE32(record + kRecordState);
}

static void QuSetState(char *record, int32_t state)
{
    QuPutLE32(record + kRecordState, (uint32_t)state);
}

// One more pending event, due at `due`.
static void QuCountPending(uint32_t due)
{
    if (QuDueBefore(due, Table.earliestDue))
        Table.earliestDue = due;
    Table.active++;
}

// Locks the table for one operation: -50 without a table, -108 when the
// host cannot lock it.
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
    if (Table.handle == NULL)
        return kErrBadParameter;
    int32_t status = QuLockHandle(Table.handle, &table);
    if (status != 0)
        return kErrMemory;
    char *record = QuEventRecord(table, Table.count);
    uint32_t earliestBefore = Table.earliestDue;
    QuPutLE32(record + kRecordDue, due);
    *eventID = Table.nextID++;
    QuPutLE32(record + kRecordID, *eventID);
    if (flags == kFlagSilent) {
        QuSetState(record, kStateSilent);
    } else {
        QuSetState(record, kStatePending);
        QuCountPending(due);
    }
    QuPutLE32(record + kRecordFlags, (uint32_t)flags);
    // A slot's bytes from an event before must not make this one repeat.
    QuPutLE32(record + kRecordReserved, every != NULL ? QuEncodeEvery(every, *eventID) : 0);
    Table.count++;
    HostHandle textHandle = QuNewHandle(0, &status);
    if (status == 0 && count > 0)
        status = QuStoreHandleBytes(text, count, textHandle);
    if (status != 0) {
        // A counted event without its text would be chosen at every poll
        // and hold back every later one: take it out again.
        QuDisposeHandle(textHandle);
        textHandle = NULL;
        if (QuState(record) == kStatePending)
            Table.active--;
        Table.earliestDue = earliestBefore;
        QuSetState(record, kStateFree);
        Table.count--;
        status = kErrMemory;
    } else {
        Table.changed = true;
    }
    QuSetRecordText(record, textHandle);
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
        const char *record = QuEventRecord(table, i);
        if (QuState(record) != kStatePending)
            continue;
        uint32_t due = QuGetLE32(record + kRecordDue);
        // Events not yet tried go by the usual rule; one whose start failed
        // waits until none of them is due, so it cannot hold them back.
        int32_t turn = turnOf(QuGetLE32(record + kRecordID));
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
    const char *record = QuEventRecord(table, chosen);
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
    *eventID = QuGetLE32(record + kRecordID);
    QuUnlockHandle(Table.handle);
    return 0;
}

// The interval of a record; false for a single event.
static bool QuRecordEvery(const char *record, QuEvery *every)
{
    return QuDecodeEvery(QuGetLE32(record + kRecordReserved), QuGetLE32(record + kRecordID), every);
}

// A repeating event moves to its next occurrence strictly after `now`;
// false, and nothing changed, for a single event and for a series whose
// next occurrence lies beyond the window of due times.
static bool QuMoveToNextOccurrence(char *record, int64_t now)
{
    QuEvery every;
    uint32_t next;
    if (!QuRecordEvery(record, &every) ||
        !QuDueFromSeconds(QuOccurrenceAfter(QuDueSeconds(QuGetLE32(record + kRecordDue)), &every, now),
                          &next))
        return false;
    QuPutLE32(record + kRecordDue, next);
    return true;
}

// Marks the pending events with this ID triggered, or moves a repeating
// one to its next occurrence, and recounts the others.
static int32_t QuMarkAndRecount(uint32_t eventID, bool mark)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    int64_t now = QuNowSeconds();
    Table.earliestDue = kNoDueTime;
    Table.active = 0;
    for (int32_t i = 0; i < Table.count; i++) {
        char *record = QuEventRecord(table, i);
        if (QuState(record) != kStatePending)
            continue;
        if (mark && QuGetLE32(record + kRecordID) == eventID) {
            Table.changed = true;
            if (!QuMoveToNextOccurrence(record, now)) {
                QuSetState(record, kStateTriggered);
                continue;
            }
        }
        QuCountPending(QuGetLE32(record + kRecordDue));
    }
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
    char *holeRecord = QuEventRecord(table, hole);
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
    char *last = QuEventRecord(table, Table.count - 1);
    if (last != holeRecord) {
        memcpy(holeRecord + kRecordDue, last + kRecordDue, 4);
        memcpy(holeRecord + kRecordState, last + kRecordState, 4);
        memcpy(holeRecord + kRecordID, last + kRecordID, 4);
        memcpy(holeRecord + kRecordFlags, last + kRecordFlags, 8); // flags and the interval
        QuSetRecordText(holeRecord, QuRecordText(last));
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

int32_t QuDeleteEventByID(uint32_t eventID)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    for (int32_t i = 0; i < Table.count; i++) {
        if (QuGetLE32(QuEventRecord(table, i) + kRecordID) == eventID) {
            QuRemoveEvent(table, i);
            break;
        }
    }
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
        int32_t state = QuState(QuEventRecord(table, i));
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

void QuReleaseEventTexts(char *table)
{
    for (int32_t i = 0; i < Table.count; i++) {
        char *record = QuEventRecord(table, i);
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

void QuBeginLoad(void)
{
    Table.earliestDue = kNoDueTime;
}

void QuAdmitLoadedRecord(char *record, uint32_t now)
{
    uint32_t due = QuGetLE32(record + kRecordDue);
    int32_t flags = (int32_t)QuGetLE32(record + kRecordFlags);
    if (QuState(record) == kStatePending) {
        // A series skips what passed while the host was not running, unless
        // asked to fire late: then it fires once and goes on.
        if ((flags & kFlagTriggerPastAfterRestart) == 0 && QuDueBefore(due, now) &&
            QuMoveToNextOccurrence(record, QuDueSeconds(now) - 1)) {
            due = QuGetLE32(record + kRecordDue);
            Table.changed = true;
        }
        // Passed while the host was not running, and not asked to fire late.
        if ((flags & kFlagTriggerPastAfterRestart) == 0 && QuDueBefore(due, now)) {
            QuSetState(record, kStateMissed);
            Table.changed = true;
        } else {
            QuCountPending(due);
        }
    }
    // IDs of events that were ever saved are never handed out again, not
    // even those of a file thrown away for this very entry.
    uint32_t id = QuGetLE32(record + kRecordID);
    if (id > Table.nextID)
        Table.nextID = id;
}

void QuCountLoadedRecord(void)
{
    Table.count++;
}

void QuEndLoad(void)
{
    Table.nextID++;
}

bool QuCatchUpEvent(uint32_t eventID)
{
    char *table;
    QuEvery every;
    bool moved = false;
    if (QuLockEventTable(&table) != 0)
        return false;
    for (int32_t i = 0; i < Table.count && !moved; i++) {
        char *record = QuEventRecord(table, i);
        if (QuGetLE32(record + kRecordID) != eventID || QuState(record) != kStatePending ||
            !QuRecordEvery(record, &every))
            continue;
        uint32_t due = QuGetLE32(record + kRecordDue), latest;
        if (QuDueFromSeconds(QuOccurrenceAtOrBefore(QuDueSeconds(due), &every, QuNowSeconds()), &latest) &&
            latest != due) {
            QuPutLE32(record + kRecordDue, latest);
            Table.changed = moved = true;
        }
    }
    QuUnlockHandle(Table.handle);
    return moved;
}

int32_t QuEventRepeats(uint32_t eventID, bool *repeats)
{
    char *table;
    QuEvery every;
    *repeats = false;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    for (int32_t i = 0; i < Table.count; i++) {
        const char *record = QuEventRecord(table, i);
        if (QuGetLE32(record + kRecordID) == eventID) {
            *repeats = QuState(record) == kStatePending && QuRecordEvery(record, &every);
            break;
        }
    }
    QuUnlockHandle(Table.handle);
    return 0;
}
