// "Rous-GetEventInfo": the table's counters, or one event's ID, own ID text
// or free text, the event chosen as the last fired one, by its ID, or as the
// first silent one; optionally deleting it after reading.
#include "event_table.h"
#include "frame/plugin_frame.h"

enum EventSelection { kSelectNone, kSelectLastTriggered, kSelectByID, kSelectFirstSilent };

// Answers a counter option; false when field 1 names none.
static bool QuAnswerCounter(const char *options, HostHandle result)
{
    if (QuHasOption(options, "-getTriggerCount"))
        QuSetResultNumber(EventTable.count, result);
    else if (QuHasOption(options, "-getActiveTriggerCount"))
        QuSetResultNumber(EventTable.active, result);
    else if (QuHasOption(options, "-FirstTriggerSec"))
        // Signed on purpose: "no due time" reads as -1 to a calculation.
        QuSetResultNumber(EventTable.earliestDue == kNoDueTime ? -1 : (int32_t)EventTable.earliestDue,
                          result);
    else
        return false;
    return true;
}

static EventSelection QuSelection(const char *options)
{
    if (QuHasOption(options, "-lastTriggered"))
        return kSelectLastTriggered;
    if (QuHasOption(options, "-byEventID"))
        return kSelectByID;
    if (QuHasOption(options, "-firstSilentEvent"))
        return kSelectFirstSilent;
    return kSelectNone;
}

// Field 3 of the event's text (the caller's ID), or everything after it (the
// caller's free text), into the result; nothing when the text has no such
// part. -108 when the text cannot be read.
static int32_t QuWriteCallerText(HostHandle text, bool freeText, HostHandle result)
{
    char field[2000];
    int32_t position = 0;
    if (text == NULL)
        return 0;
    int32_t status = QuReadNextToken(text, field, sizeof field, &position); // file name
    if (status == 0)
        status = QuReadNextToken(text, field, sizeof field, &position); // script name
    if (status != 0 || position == -1)
        return status;
    status = QuReadNextToken(text, field, sizeof field, &position);
    if (status != 0)
        return status;
    if (!freeText)
        return QuSetResultText(field, result) != 0 ? kErrMemory : 0;
    if (position == -1)
        return 0;
    int32_t count = QuGetHandleSize(text) - position;
    return QuCopyHandleRange(text, position, count, result, 0, count) != 0 ? kErrMemory : 0;
}

void ROUS_GetEventInfo(HostHandle parameter, HostHandle result)
{
    char options[2000], number[1000], *table;
    int32_t position = 0, code = 0;
    if (QuGetHandleSize(parameter) <= 0) {
        QuSetErrorResult("$$", kErrBadParameter, result);
        return;
    }
    if (EventTable.handle == NULL) {
        QuSetErrorResult("$$", kErrMemory, result);
        return;
    }
    if (QuReadNextToken(parameter, options, sizeof options, &position) != 0) {
        QuSetErrorResult("$$", kErrMemory, result);
        return;
    }
    if (QuAnswerCounter(options, result))
        return;
    EventSelection selection = QuSelection(options);
    bool yourID = QuHasOption(options, "-getYourID");
    bool yourText = QuHasOption(options, "-getYourText");
    bool rouserID = QuHasOption(options, "-getRouserEventID");
    if (selection == kSelectNone || (int)yourID + (int)yourText + (int)rouserID != 1) {
        QuSetErrorResult("$$", kErrBadParameter, result);
        return;
    }
    uint32_t wanted = 0;
    if (selection == kSelectLastTriggered) {
        wanted = EventTable.lastTriggeredID;
    } else if (selection == kSelectByID) {
        if (QuReadNextToken(parameter, number, sizeof number, &position) != 0) {
            QuSetErrorResult("$$", kErrMemory, result);
            return;
        }
        wanted = (uint32_t)QuParseSigned(number);
    }
    if (QuLockHandle(EventTable.handle, &table) != 0) {
        QuSetErrorResult("$$", kErrMemory, result);
        return;
    }
    const char *found = NULL;
    for (int32_t i = 0; i < EventTable.count && found == NULL; i++) {
        const char *record = QuEventRecord(table, i);
        if (selection == kSelectFirstSilent ? QuGetLE32(record + kRecordState) == kStateSilent
                                            : wanted != 0 && QuGetLE32(record + kRecordID) == wanted)
            found = record;
    }
    if (found == NULL) {
        code = kErrNotFound;
    } else {
        wanted = QuGetLE32(found + kRecordID);
        if (rouserID)
            code = QuSetResultUnsigned(wanted, result) != 0 ? kErrMemory : 0;
        else
            code = QuWriteCallerText(QuRecordText(found), yourText, result);
    }
    QuUnlockHandle(EventTable.handle);
    // Counters are left as the removal leaves them; the firing step copes
    // with an earliest due time that is too low. An event whose text could
    // not be read or answered stays: the caller has not got what it came for.
    // One that could not be deleted is not answered as if it had been.
    if (code != kErrMemory && QuHasOption(options, "-deletethisevent") && QuDeleteEventByID(wanted) != 0 &&
        code == 0)
        code = kErrMemory;
    if (code != 0)
        QuSetErrorResult("$$", code, result);
}
