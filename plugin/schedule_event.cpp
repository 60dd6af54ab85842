// "Rous-ScheduleEvent": adds one event for a date and time, and fires it at
// once, or leaves it to the next poll, when it is already due.
#include "plugin.h"
#include "scheduler/event_file.h"
#include "scheduler/event_table.h"
#include "trigger/trigger.h"

enum { kFieldSize = 2000 };

void ROUS_ScheduleEvent(HostHandle parameter, HostHandle result)
{
    char field[kFieldSize];
    int32_t position = 0;
    int32_t code = 0;
    if (QuLocalTriggersDisabled()) {
        QuSetResultNumber(kErrTriggersDisabled, result);
        return;
    }
    int32_t length = QuGetHandleSize(parameter);
    if (length <= 0)
        code = kErrBadParameter;
    else if (EventTableHandle == NULL)
        code = kErrMemory;
    int32_t flags = 0;
    if (code == 0)
        code = QuReadNextToken(parameter, field, kFieldSize, &position);
    if (code == 0) {
        if (!QuHasOption(field, "-addSingleEvent"))
            code = kErrBadParameter;
        if (QuHasOption(field, "-triggerPastEventAfterRestart"))
            flags = kFlagTriggerPastAfterRestart;
    }
    uint32_t due = 0;
    if (code == 0)
        code = QuReadNextToken(parameter, field, kFieldSize, &position);
    if (code == 0) {
        due = QuDateToTimestamp(field);
        code = QuReadNextToken(parameter, field, kFieldSize, &position);
    }
    if (code == 0) {
        due += QuTimeToSeconds(field);
        // The time must be followed by a separator and more text.
        if (position == -1 || position >= length)
            code = kErrBadParameter;
    }
    uint32_t now = 0;
    if (code == 0 && due < QuNow1904(&now))
        code = kErrInThePast;
    int32_t textStart = position;
    if (code == 0) {
        bool noFile = true;
        code = QuReadNextToken(parameter, field, kFieldSize, &position);
        if (code == 0) {
            noFile = field[0] == 0;
            code = QuReadNextToken(parameter, field, kFieldSize, &position);
        }
        if (code == 0 && (noFile || field[0] == 0))
            code = kErrBadParameter;
        // A text no file entry could hold would be accepted now and lost at
        // the next save.
        if (length - textStart > kMaxEntryText)
            code = kErrBadParameter;
        // The caller's ID and text are stored, not checked.
        if (code == 0)
            code = QuReadNextToken(parameter, field, kFieldSize, &position);
        if (code == 0)
            code = QuReadNextToken(parameter, field, kFieldSize, &position);
    }
    if (code == 0) {
        char *text;
        uint32_t eventID;
        // Without the parameter nothing can be stored; say so rather than
        // leave the caller an empty answer.
        if (QuLockHandle(parameter, &text) != 0) {
            QuSetErrorResult("$$", kErrMemory, result);
            return;
        }
        int32_t status = QuInsertEvent(due, flags, text + textStart, length - textStart, &eventID);
        QuUnlockHandle(parameter);
        if (status == 0)
            QuSetResultNumber((int32_t)eventID, result);
        else
            code = status;
        if (now >= EarliestDueTime) {
            if (!UseAlternateTriggerMethod) {
                Rous_TriggerNextEvent();
            } else {
                QuLeaveDueEventToPoll();
            }
        }
    }
    if (code != 0)
        QuSetErrorResult("$$", code, result);
}
