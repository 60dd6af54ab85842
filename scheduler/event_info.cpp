// "Rous-GetEventInfo": the table's counters, or one event's ID, own ID text
// or free text, the event chosen as the last fired one, by its ID, or as the
// first silent one; optionally deleting it after reading.
#include "event_table.h"
#include "frame/functions.h"
#include "frame/plugin_frame.h"

enum EventSelection { kSelectNone, kSelectLastTriggered, kSelectByID, kSelectFirstSilent };

static const int32_t kErrNoSuchEvent = -1;

// Answers a counter option; false when field 1 names none.
static bool QuAnswerCounter(const char *options, HostHandle result)
{
    if (QuHasOption(options, "-getTriggerCount"))
        QuSetResultNumber(EventCount, result);
    else if (QuHasOption(options, "-getActiveTriggerCount"))
        QuSetResultNumber(ActiveEventCount, result);
    else if (QuHasOption(options, "-FirstTriggerSec"))
        // Signed on purpose: "no due time" reads as -1 to a calculation.
        QuSetResultNumber((int32_t)EarliestDueTime, result);
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
// caller's free text), into the result; nothing when the text has no such part.
static void QuWriteCallerText(HostHandle text, bool freeText, HostHandle result)
{
    char field[2000];
    int32_t position = 0;
    if (text == NULL)
        return;
    QuReadNextToken(text, field, sizeof field, &position); // file name
    QuReadNextToken(text, field, sizeof field, &position); // script name
    if (position == -1)
        return;
    QuReadNextToken(text, field, sizeof field, &position);
    if (!freeText) {
        QuSetResultText(field, result);
    } else if (position != -1) {
        int32_t count = QuGetHandleSize(text) - position;
        QuCopyHandleRange(text, position, count, result, 0, count);
    }
}

void ROUS_GetEventInfo(HostHandle parameter, HostHandle result)
{
    char options[2000], number[1000], *table;
    int32_t position = 0, code = 0;
    if (QuGetHandleSize(parameter) <= 0) {
        QuSetErrorResult("$$", kErrBadParameter, result);
        return;
    }
    if (EventTableHandle == NULL) {
        QuSetErrorResult("$$", kErrMemory, result);
        return;
    }
    QuReadNextToken(parameter, options, sizeof options, &position);
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
        wanted = LastTriggeredEventID;
    } else if (selection == kSelectByID) {
        QuReadNextToken(parameter, number, sizeof number, &position);
        wanted = (uint32_t)QuParseSigned(number);
    }
    if (QuLockHandle(EventTableHandle, &table) != 0) {
        QuSetErrorResult("$$", kErrMemory, result);
        return;
    }
    const char *found = NULL;
    for (int32_t i = 0; i < EventCount && found == NULL; i++) {
        const char *record = QuEventRecord(table, i);
        if (selection == kSelectFirstSilent ? QuGetLE32(record + kRecordState) == kStateSilent
                                            : wanted != 0 && QuGetLE32(record + kRecordID) == wanted)
            found = record;
    }
    if (found == NULL) {
        code = kErrNoSuchEvent;
    } else {
        wanted = QuGetLE32(found + kRecordID);
        if (rouserID)
            QuSetResultUnsigned(wanted, result);
        else
            QuWriteCallerText(QuRecordText(found), yourText, result);
    }
    QuUnlockHandle(EventTableHandle);
    // Counters are left as the removal leaves them; the firing step copes
    // with an earliest due time that is too low.
    if (QuHasOption(options, "-deletethisevent"))
        QuDeleteEventByID(wanted);
    if (code != 0)
        QuSetErrorResult("$$", code, result);
}
