// "Rous-DeleteEvent" removes events by ID, the last fired one, all fired
// ones or all; "Rous-Control" switches local firing off and on under a
// caller's lock text.
#include "event_table.h"
#include "frame/plugin_frame.h"

enum { kMinLockText = 3, kMaxLockText = 64 };

static char LockText[kLockTextSize];
const char (&LocalTriggerLock)[kLockTextSize] = LockText;

void QuResetLocalTriggers(void)
{
    LockText[0] = 0;
}

bool QuLocalTriggersDisabled(void)
{
    return LockText[0] != 0;
}

enum DeleteAction { kDeleteByID, kDeleteLastTriggered, kDeleteTriggered, kDeleteAll, kDeleteActions };

static const char *const kDeleteOptions[kDeleteActions] = {"-deleteByID", "-deleteLastTriggered",
                                                           "-deleteAllTriggeredEvents", "-deleteAllEvents"};

// The one action field 1 names, or kErrBadParameter when it names none or
// several.
static int32_t QuDeleteActionOf(const char *options, DeleteAction *action)
{
    int32_t named = 0;
    for (int32_t i = 0; i < kDeleteActions; i++) {
        if (QuHasOption(options, kDeleteOptions[i])) {
            *action = (DeleteAction)i;
            named++;
        }
    }
    return named == 1 ? 0 : kErrBadParameter;
}

void ROUS_DeleteEvent(HostHandle parameter, HostHandle result)
{
    char options[2000], number[1000];
    int32_t position = 0, code = 0;
    DeleteAction action = kDeleteAll;
    uint32_t eventID = 0;
    if (QuGetHandleSize(parameter) <= 0)
        code = kErrBadParameter;
    else if (EventTable.handle == NULL)
        code = kErrMemory;
    if (code == 0)
        code = QuReadNextToken(parameter, options, sizeof options, &position);
    if (code == 0)
        code = QuDeleteActionOf(options, &action);
    if (code == 0 && action == kDeleteByID)
        code = QuReadNextToken(parameter, number, sizeof number, &position);
    if (code == 0 && action == kDeleteByID) {
        // Unsigned, so that a negative number names an ID above 2^31.
        eventID = (uint32_t)QuParseSigned(number);
        if (number[0] == 0 || eventID < kFirstEventID)
            code = kErrBadParameter;
    }
    QuPreparedResult answer = {result, NULL, {0}};
    if (code == 0)
        code = QuPrepareResult("0", result, &answer);
    if (code == 0) {
        if (action == kDeleteByID)
            code = QuDeleteEventByID(eventID);
        else if (action == kDeleteLastTriggered)
            code = QuDeleteEventByID(EventTable.lastTriggeredID);
        else if (action == kDeleteTriggered)
            code = QuDeleteTriggeredEvents();
        else
            code = QuDeleteAllEvents();
        // A removal leaves the earliest due time as it was; bring it and the
        // pending count up to date. A deletion that could not lock the table
        // removed nothing and says so rather than answering "0".
        if (code == 0)
            QuRecountEvents();
    }
    QuFinishResult(&answer, code);
}

void ROUS_Control(HostHandle parameter, HostHandle result)
{
    char options[2000], lockText[2000];
    int32_t position = 0, code = 0;
    if (QuGetHandleSize(parameter) <= 0) {
        QuSetResultText("0", result);
        return;
    }
    if (QuReadNextToken(parameter, options, sizeof options, &position) != 0 ||
        QuReadNextToken(parameter, lockText, sizeof lockText, &position) != 0) {
        QuSetErrorResult(kErrMemory, result);
        return;
    }
    bool disable = QuHasOption(options, "-DisableLocalTriggers");
    bool enable = QuHasOption(options, "-EnableLocalTriggers");
    bool status = QuHasOption(options, "-GetLocalTriggerStatus");
    if ((int)disable + (int)enable + (int)status != 1)
        code = kErrBadParameter;
    int32_t length = QuTextLength(lockText);
    // These say more than kErrBadParameter, so they take its place.
    if (!status) {
        if (enable && !QuLocalTriggersDisabled())
            code = kErrNotDisabled;
        else if (length < kMinLockText || length > kMaxLockText)
            code = kErrLockTextLength;
    }
    if (code == 0 && status) {
        QuSetResultText(QuLocalTriggersDisabled() ? "0" : "1", result);
        return;
    }
    // The answer is made ready before the switch changes.
    QuPreparedResult answer = {result, NULL, {0}};
    if (code == 0 && disable && QuLocalTriggersDisabled())
        code = kErrAlreadyDisabled;
    // Exact: letter case is part of the lock text.
    if (code == 0 && enable &&
        (length != QuTextLength(LockText) || QuCompareText(lockText, LockText, length, true) != 0))
        code = kErrWrongLockText;
    if (code == 0)
        code = QuPrepareResult("0", result, &answer);
    if (code == 0 && disable)
        QuCopyBounded(lockText, length, LockText, sizeof LockText);
    else if (code == 0 && enable)
        LockText[0] = 0;
    QuFinishResult(&answer, code);
}
