// The event table: up to 1000 records of 29 bytes in one 29000-byte host
// handle, scanned linearly, compacted by moving the last record.
#include <string.h>

#include "event_table.h"
#include "frame/plugin_frame.h"

HostHandle EventTableHandle;
int16_t EventCount;
int16_t ActiveEventCount;
uint32_t EarliestDueTime = kNoDueTime;
uint32_t NextEventID = kFirstEventID;
uint32_t LastTriggeredEventID;
bool EventTableChanged;

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

// Locks the table for one operation: -50 without a table, -108 when the
// host cannot lock it.
static int32_t QuLockEventTable(char **table)
{
    if (EventTableHandle == NULL)
        return kErrBadParameter;
    return QuLockHandle(EventTableHandle, table) != 0 ? kErrMemory : 0;
}

int32_t QuCreateEventTable(void)
{
    int32_t status;
    char *table;
    EventTableHandle = QuNewHandle(kEventTableSize, &status);
    if (status != 0)
        return status;
    status = QuLockHandle(EventTableHandle, &table);
    if (status != 0)
        return status;
    memset(table, 0, kEventTableSize);
    QuUnlockHandle(EventTableHandle);
    ActiveEventCount = 0;
    EventCount = 0;
    EarliestDueTime = kNoDueTime;
    LastTriggeredEventID = 0;
    EventTableChanged = false;
    QuForgetStartOutcomes();
    return 0;
}

int32_t QuInsertEvent(uint32_t due, int32_t flags, const char *text, int32_t count, uint32_t *eventID)
{
    char *table;
    if (EventCount >= kMaxEvents)
        return kErrTableFull;
    if (EventTableHandle == NULL)
        return kErrBadParameter;
    int32_t status = QuLockHandle(EventTableHandle, &table);
    if (status != 0)
        return kErrMemory;
    char *record = QuEventRecord(table, EventCount);
    uint32_t earliestBefore = EarliestDueTime;
    QuPutLE32(record + kRecordDue, due);
    *eventID = NextEventID++;
    QuPutLE32(record + kRecordID, *eventID);
    if (flags == kFlagSilent) {
        QuSetState(record, kStateSilent);
    } else {
        QuSetState(record, kStatePending);
        ActiveEventCount++;
        if (due < EarliestDueTime)
            EarliestDueTime = due;
    }
    QuPutLE32(record + kRecordFlags, (uint32_t)flags);
    EventCount++;
    HostHandle textHandle = QuNewHandle(0, &status);
    if (status == 0 && count > 0)
        status = QuStoreHandleBytes(text, count, textHandle);
    if (status != 0) {
        // A counted event without its text would be chosen at every poll
        // and hold back every later one: take it out again.
        QuDisposeHandle(textHandle);
        textHandle = NULL;
        if (QuState(record) == kStatePending)
            ActiveEventCount--;
        EarliestDueTime = earliestBefore;
        QuSetState(record, kStateFree);
        EventCount--;
        status = kErrMemory;
    } else {
        EventTableChanged = true;
    }
    QuSetRecordText(record, textHandle);
    QuUnlockHandle(EventTableHandle);
    return status;
}

int32_t QuSelectDueEvent(int16_t *slot, uint32_t *eventID, char *fileName, char *scriptName,
                         int32_t capacity, int32_t *flags)
{
    char *table;
    if (EventTableHandle == NULL)
        return kErrNoTable;
    if (QuLockHandle(EventTableHandle, &table) != 0)
        return kErrMemory;
    uint32_t now = QuNow1904(NULL);
    int32_t chosen = -1, fallback = -1, failed = -1, failedTurn = 0;
    for (int32_t i = 0; i < EventCount; i++) {
        const char *record = QuEventRecord(table, i);
        if (QuState(record) != kStatePending)
            continue;
        uint32_t due = QuGetLE32(record + kRecordDue);
        // Events not yet tried go by the usual rule; one whose start failed
        // waits until none of them is due, so it cannot hold them back.
        int32_t turn = QuStartDeferral(QuGetLE32(record + kRecordID));
        if (turn != 0) {
            if (turn > 0 && due <= now && (failed < 0 || turn < failedTurn)) {
                failed = i;
                failedTurn = turn;
            }
            continue;
        }
        if (due <= EarliestDueTime) {
            chosen = i;
            break;
        }
        if (fallback < 0 && due <= now)
            fallback = i;
    }
    if (chosen < 0)
        chosen = fallback;
    if (chosen < 0)
        chosen = failed;
    if (chosen < 0) {
        QuUnlockHandle(EventTableHandle);
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
        QuUnlockHandle(EventTableHandle);
        return kErrMemory;
    }
    *slot = (int16_t)chosen;
    *eventID = QuGetLE32(record + kRecordID);
    *flags = (int32_t)QuGetLE32(record + kRecordFlags);
    QuUnlockHandle(EventTableHandle);
    return 0;
}

int32_t QuMarkEventTriggered(uint32_t eventID)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    EarliestDueTime = kNoDueTime;
    ActiveEventCount = 0;
    for (int32_t i = 0; i < EventCount; i++) {
        char *record = QuEventRecord(table, i);
        if (QuState(record) != kStatePending)
            continue;
        uint32_t due = QuGetLE32(record + kRecordDue);
        if (QuGetLE32(record + kRecordID) == eventID) {
            QuSetState(record, kStateTriggered);
            EventTableChanged = true;
        } else {
            if (due < EarliestDueTime)
                EarliestDueTime = due;
            ActiveEventCount++;
        }
    }
    QuUnlockHandle(EventTableHandle);
    return 0;
}

void QuRemoveEventAt(char *table, int32_t hole)
{
    char *holeRecord = QuEventRecord(table, hole);
    HostHandle text = QuRecordText(holeRecord);
    if (text != NULL) {
        QuDisposeHandle(text);
        QuSetRecordText(holeRecord, NULL);
    }
    if (EventCount <= 1) {
        QuSetState(holeRecord, kStateFree);
        ActiveEventCount = 0;
        EarliestDueTime = kNoDueTime;
        return;
    }
    if (QuState(holeRecord) == kStatePending)
        ActiveEventCount--;
    char *last = QuEventRecord(table, EventCount - 1);
    if (last != holeRecord) {
        memcpy(holeRecord + kRecordDue, last + kRecordDue, 4);
        memcpy(holeRecord + kRecordState, last + kRecordState, 4);
        memcpy(holeRecord + kRecordID, last + kRecordID, 4);
        memcpy(holeRecord + kRecordFlags, last + kRecordFlags, 4);
        QuSetRecordText(holeRecord, QuRecordText(last));
        QuSetRecordText(last, NULL);
    }
    QuSetState(last, kStateFree);
}

int32_t QuDeleteEventByID(uint32_t eventID)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    for (int32_t i = 0; i < EventCount; i++) {
        if (QuGetLE32(QuEventRecord(table, i) + kRecordID) == eventID) {
            QuRemoveEventAt(table, i);
            EventCount--;
            EventTableChanged = true;
            break;
        }
    }
    QuUnlockHandle(EventTableHandle);
    if (EventCount < 0)
        EventCount = 0;
    return 0;
}

int32_t QuDeleteTriggeredEvents(void)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    int32_t i = 0;
    while (i < EventCount) {
        int32_t state = QuState(QuEventRecord(table, i));
        if (state == kStateTriggered || state == kStateMissed) {
            QuRemoveEventAt(table, i);
            EventCount--;
            EventTableChanged = true;
            i = 0;
        } else {
            i++;
        }
    }
    QuUnlockHandle(EventTableHandle);
    return 0;
}

void QuReleaseEventTexts(char *table)
{
    for (int32_t i = 0; i < EventCount; i++) {
        char *record = QuEventRecord(table, i);
        QuDisposeHandle(QuRecordText(record));
        QuSetRecordText(record, NULL);
    }
    ActiveEventCount = 0;
    EventCount = 0;
    EarliestDueTime = kNoDueTime;
}

int32_t QuDeleteAllEvents(void)
{
    char *table;
    int32_t status = QuLockEventTable(&table);
    if (status != 0)
        return status;
    if (EventCount > 0)
        EventTableChanged = true;
    QuReleaseEventTexts(table);
    QuUnlockHandle(EventTableHandle);
    return 0;
}

void QuDisposeEventTable(void)
{
    if (EventTableHandle == NULL)
        return;
    QuDeleteAllEvents();
    QuDisposeHandle(EventTableHandle);
    EventTableHandle = NULL;
}
