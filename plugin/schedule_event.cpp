// "Rous-ScheduleEvent": adds one event for a date and time, single or
// repeating, and fires it at once, or leaves it to the next poll, when it
// is already due.
#include "plugin.h"
#include "scheduler/event_file.h"
#include "scheduler/event_table.h"
#include "scheduler/repeat.h"
#include "trigger/trigger.h"

enum { kFieldSize = 2000 };

// What the parameter asks for, read and checked before anything is done.
struct QuScheduleRequest {
    uint32_t due;
    int32_t flags;
    QuEvery every;     // kEveryNone for a single event
    uint32_t now;      // the second the due time was checked against
    int32_t textStart; // the event's text: the parameter from here on
    int32_t length;    // the parameter's
};

// Options: a single event, or a repeating one and its interval.
static int32_t QuReadKind(const char *options, QuScheduleRequest *request)
{
    bool single = QuHasOption(options, "-addSingleEvent");
    bool repeating = QuHasOption(options, "-addRepeatingEvent");
    bool hasEvery;
    int32_t code = QuParseEvery(options, &request->every, &hasEvery);
    if (QuHasOption(options, "-triggerPastEventAfterRestart"))
        request->flags = kFlagTriggerPastAfterRestart;
    // Exactly one kind, and an interval exactly for the repeating one.
    if (code != 0 || single == repeating || hasEvery != repeating)
        return kErrBadParameter;
    return 0;
}

// The due time: a single event's must not have passed; a repeating event's
// first occurrence is the first one from now on. Either must fall in the
// window of due times.
static int32_t QuSetDueTime(int64_t due, QuScheduleRequest *request)
{
    int64_t now = QuNowSeconds();
    request->now = (uint32_t)now;
    if (request->every.unit == kEveryMonths)
        request->every.day = QuDayOfMonth(due);
    if (due < now && request->every.unit == kEveryNone)
        return kErrInThePast;
    if (due < now)
        due = QuOccurrenceAfter(due, &request->every, now - 1);
    return QuDueFromSeconds(due, &request->due) ? 0 : kErrBeyondTimeWindow;
}

// Options, date and time: the due time.
static int32_t QuReadDueTime(HostHandle parameter, QuScheduleRequest *request, int32_t *position)
{
    char field[kFieldSize];
    int64_t due = 0;
    int32_t code = QuReadNextToken(parameter, field, kFieldSize, position);
    if (code == 0)
        code = QuReadKind(field, request);
    if (code == 0)
        code = QuReadNextToken(parameter, field, kFieldSize, position);
    if (code == 0) {
        due = QuDateToSeconds(field);
        // A series anchored on no date would quietly start in 1904.
        if (request->every.unit != kEveryNone && (int32_t)QuParseUnsigned(field) < kDay1904)
            code = kErrBadParameter;
    }
    if (code == 0) {
        code = QuReadNextToken(parameter, field, kFieldSize, position);
    }
    if (code == 0) {
        due += QuTimeToSeconds(field);
        // The time must be followed by a separator and more text.
        if (*position == -1 || *position >= request->length)
            code = kErrBadParameter;
    }
    if (code == 0)
        code = QuSetDueTime(due, request);
    return code;
}

// File, script, the caller's ID and text: where the event's text starts.
static int32_t QuReadEventText(HostHandle parameter, QuScheduleRequest *request, int32_t *position)
{
    char field[kFieldSize];
    bool noFile = true;
    request->textStart = *position;
    int32_t code = QuReadNextToken(parameter, field, kFieldSize, position);
    if (code == 0) {
        noFile = field[0] == 0;
        code = QuReadNextToken(parameter, field, kFieldSize, position);
    }
    if (code == 0 && (noFile || field[0] == 0))
        code = kErrBadParameter;
    // A text no file entry could hold would be accepted now and lost at the
    // next save.
    if (request->length - request->textStart > kMaxEntryText)
        code = kErrBadParameter;
    // The caller's ID and text are stored, not checked.
    if (code == 0)
        code = QuReadNextToken(parameter, field, kFieldSize, position);
    if (code == 0)
        code = QuReadNextToken(parameter, field, kFieldSize, position);
    return code;
}

static int32_t QuReadScheduleRequest(HostHandle parameter, QuScheduleRequest *request)
{
    int32_t position = 0;
    request->due = 0;
    request->flags = 0;
    request->every.unit = kEveryNone;
    request->now = 0;
    request->textStart = 0;
    request->length = QuGetHandleSize(parameter);
    if (request->length <= 0)
        return kErrBadParameter;
    if (EventTable.handle == NULL)
        return kErrMemory;
    int32_t code = QuReadDueTime(parameter, request, &position);
    if (code == 0)
        code = QuReadEventText(parameter, request, &position);
    return code;
}

// Stores the event and answers its ID, or an error with nothing stored;
// false when the parameter could not be read.
static bool QuStoreEvent(HostHandle parameter, const QuScheduleRequest *request, HostHandle result)
{
    char *text, idText[kPreparedResultSize];
    uint32_t eventID;
    // Without the parameter nothing can be stored; say so rather than leave
    // the caller an empty answer.
    if (QuLockHandle(parameter, &text) != 0) {
        QuSetErrorResult(kErrMemory, result);
        return false;
    }
    // The answer is the ID the insertion is about to give.
    QuFormatSigned((int32_t)EventTable.nextID, idText);
    QuPreparedResult answer = {result, NULL, {0}};
    int32_t status = QuPrepareResult(idText, result, &answer);
    if (status == 0)
        status =
            QuInsertRepeatingEvent(request->due, request->flags, &request->every, text + request->textStart,
                                   request->length - request->textStart, &eventID);
    QuUnlockHandle(parameter);
    QuFinishResult(&answer, status);
    return true;
}

void ROUS_ScheduleEvent(HostHandle parameter, HostHandle result)
{
    QuScheduleRequest request;
    if (QuLocalTriggersDisabled()) {
        QuSetResultNumber(kErrTriggersDisabled, result);
        return;
    }
    int32_t code = QuReadScheduleRequest(parameter, &request);
    if (code != 0) {
        QuSetErrorResult(code, result);
        return;
    }
    // Stored or not, an event that is due now fires.
    if (QuStoreEvent(parameter, &request, result) && !QuDueBefore(request.now, EventTable.earliestDue)) {
        if (!UseAlternateTriggerMethod)
            QuTriggerNextEvent();
        else
            QuLeaveDueEventToPoll();
    }
}
