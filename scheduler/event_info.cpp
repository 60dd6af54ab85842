// "Rous-GetEventInfo": the table's counters or the list of its events, or
// one event's ID, own ID text, free text, due time, state, names or
// interval, the event chosen as the last fired one, by its ID, or as the
// first silent one; optionally deleting it after reading.
#include <stdlib.h>

#include "event_table.h"
#include "frame/plugin_frame.h"
#include "repeat.h"

enum EventSelection { kSelectNone, kSelectLastTriggered, kSelectByID, kSelectFirstSilent };

// The answer options, exactly one of which a selection takes.
enum EventAnswer {
    kAnswerYourID,
    kAnswerYourText,
    kAnswerRouserID,
    kAnswerDueTimestamp,
    kAnswerState,
    kAnswerFileName,
    kAnswerScriptName,
    kAnswerEvery,
    kAnswerCount
};
static const char *const kAnswerOptions[kAnswerCount] = {
    "-getYourID", "-getYourText", "-getRouserEventID", "-getDueTimestamp",
    "-getState",  "-getFileName", "-getScriptName",    "-getEvery"};

// Seconds from 1 January 0001 00:00, where the host's timestamps count
// from, to 1 January 1904 00:00.
static const int64_t kSeconds0001To1904 = 60052752000ll;

// The events in due-time order, ties by ID: a key per event, sorted.
struct QuListedEvent {
    uint32_t order; // the due time's place in the window
    uint32_t id;
};
static struct {
    QuListedEvent events[kMaxEvents];
    int32_t count;
    char text[kMaxEvents * 11 + 1]; // up to 10 digits and a carriage return each
} Listing;

static int32_t QuAnswerText(const char *text, HostHandle result)
{
    return QuSetResultText(text, result) != 0 ? kErrMemory : 0;
}

static int QuCompareListed(const void *a, const void *b)
{
    const QuListedEvent *x = (const QuListedEvent *)a, *y = (const QuListedEvent *)b;
    if (x->order != y->order)
        return x->order < y->order ? -1 : 1;
    return x->id < y->id ? -1 : x->id > y->id;
}

static int32_t QuListEvent(const QuEvent *event, void *)
{
    if (event != NULL && Listing.count < kMaxEvents) {
        Listing.events[Listing.count].order = event->due - kWindowStart1904;
        Listing.events[Listing.count++].id = event->id;
    }
    return 0;
}

// "-listEventIDs": every event's ID, one a line.
static int32_t QuListEventIDs(HostHandle result)
{
    Listing.count = 0;
    if (QuForEachEvent(QuListEvent, NULL, false) != 0)
        return kErrMemory;
    qsort(Listing.events, (size_t)Listing.count, sizeof Listing.events[0], QuCompareListed);
    int32_t length = 0;
    Listing.text[0] = 0;
    for (int32_t i = 0; i < Listing.count; i++) {
        if (i > 0)
            Listing.text[length++] = '\r';
        length += QuFormatUnsigned(Listing.events[i].id, Listing.text + length);
    }
    return QuAnswerText(Listing.text, result);
}

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
    else if (QuHasOption(options, "-listEventIDs")) {
        int32_t code = QuListEventIDs(result);
        if (code != 0)
            QuSetErrorResult(code, result);
    } else
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
// part. kErrMemory when the text cannot be read.
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
        return QuAnswerText(field, result);
    if (position == -1)
        return 0;
    int32_t count = QuGetHandleSize(text) - position;
    return QuCopyHandleRange(text, position, count, result, 0, count) != 0 ? kErrMemory : 0;
}

// Field `index` (0 the file name, 1 the script name) of the event's text.
static int32_t QuWriteName(HostHandle text, int32_t index, HostHandle result)
{
    char field[2000];
    int32_t position = 0, status = 0;
    field[0] = 0;
    for (int32_t i = 0; text != NULL && i <= index && status == 0 && position != -1; i++)
        status = QuReadNextToken(text, field, sizeof field, &position);
    if (status != 0)
        return status;
    return QuAnswerText(field, result);
}

// The host's timestamp number: whole seconds since 1 January 0001.
static int32_t QuWriteTimestamp(uint32_t due, HostHandle result)
{
    char digits[24], text[24];
    int64_t value = QuDueSeconds(due) + kSeconds0001To1904;
    int32_t n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (int32_t i = 0; i < n; i++)
        text[i] = digits[n - 1 - i];
    text[n] = 0;
    return QuAnswerText(text, result);
}

static int32_t QuWriteAnswer(const QuEvent *event, EventAnswer answer, HostHandle result)
{
    static const char *const kStateNames[] = {"", "pending", "fired", "silent", "missed"};
    char every[kEveryTextSize];
    QuEvery interval;
    switch (answer) {
    case kAnswerRouserID:
        return QuSetResultUnsigned(event->id, result) != 0 ? kErrMemory : 0;
    case kAnswerDueTimestamp:
        return QuWriteTimestamp(event->due, result);
    case kAnswerState:
        return QuAnswerText(
            event->state >= kStatePending && event->state <= kStateMissed ? kStateNames[event->state] : "",
            result);
    case kAnswerFileName:
    case kAnswerScriptName:
        return QuWriteName(event->text, answer == kAnswerFileName ? 0 : 1, result);
    case kAnswerEvery:
        QuDecodeEvery(event->reserved, event->id, &interval);
        QuFormatEvery(&interval, every);
        return QuAnswerText(every, result);
    default:
        return QuWriteCallerText(event->text, answer == kAnswerYourText, result);
    }
}

void ROUS_GetEventInfo(HostHandle parameter, HostHandle result)
{
    char options[2000], number[1000];
    int32_t position = 0, code = 0;
    if (QuGetHandleSize(parameter) <= 0) {
        QuSetErrorResult(kErrBadParameter, result);
        return;
    }
    if (EventTable.handle == NULL) {
        QuSetErrorResult(kErrMemory, result);
        return;
    }
    if (QuReadNextToken(parameter, options, sizeof options, &position) != 0) {
        QuSetErrorResult(kErrMemory, result);
        return;
    }
    if (QuAnswerCounter(options, result))
        return;
    EventSelection selection = QuSelection(options);
    int32_t answers = 0;
    EventAnswer answer = kAnswerCount;
    for (int32_t a = 0; a < kAnswerCount; a++) {
        if (QuHasOption(options, kAnswerOptions[a])) {
            answers++;
            answer = (EventAnswer)a;
        }
    }
    if (selection == kSelectNone || answers != 1) {
        QuSetErrorResult(kErrBadParameter, result);
        return;
    }
    uint32_t wanted = 0;
    if (selection == kSelectLastTriggered) {
        wanted = EventTable.lastTriggeredID;
    } else if (selection == kSelectByID) {
        if (QuReadNextToken(parameter, number, sizeof number, &position) != 0) {
            QuSetErrorResult(kErrMemory, result);
            return;
        }
        wanted = (uint32_t)QuParseSigned(number);
    }
    QuEvent found;
    if (selection == kSelectFirstSilent)
        code = QuFindEventInState(kStateSilent, &found);
    else
        code = QuFindEvent(wanted, &found);
    // No event is asked for by the ID 0.
    if (code == 0 && selection != kSelectFirstSilent && wanted == 0)
        code = kErrNotFound;
    if (code != 0 && code != kErrNotFound) {
        code = kErrMemory;
    } else if (code == 0) {
        wanted = found.id;
        code = QuWriteAnswer(&found, answer, result);
    }
    // Counters are left as the removal leaves them; the firing step copes
    // with an earliest due time that is too low. An event whose text could
    // not be read or answered stays: the caller has not got what it came for.
    // One that could not be deleted is not answered as if it had been.
    if (code != kErrMemory && QuHasOption(options, "-deletethisevent") && QuDeleteEventByID(wanted) != 0 &&
        code == 0)
        code = kErrMemory;
    if (code != 0)
        QuSetErrorResult(code, result);
}
