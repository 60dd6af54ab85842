// The idle step and the firing step. A poll takes waiting remote events or
// fires the earliest due event. It is planned 40 ticks after a quiet poll,
// 1 after one that took datagrams and 120 after an automation start; a
// datagram waiting at an idle call calls it early, so that a burst is
// drained at the host's idle rate rather than one poll every 40 ticks.
#include "frame/plugin_frame.h"
#include "remote/remote.h"
#include "scheduler/event_file.h"
#include "scheduler/event_table.h"
#include "scheduler/repeat.h"
#include "trigger.h"

enum {
    kPollIntervalTicks = 40,
    kLeaveToPollTicks = 10,
    kAutomationPauseTicks = 120,
    kMaxDirectStarts = 5,
    kNameSize = 1000
};

static struct {
    uint32_t nextPollTicks;
    // Direct script starts in progress.
    int16_t triggerDepth;
    // Ticks when scheduling left a due event to the next poll.
    uint32_t requestTicks;
    // While the pause after an automation start runs, nothing polls early.
    bool pollPaused;
} Idle;
const uint32_t &NextPollTicks = Idle.nextPollTicks;

// The Ticks clock falls back to 0 when the millisecond counter wraps. No
// poll is ever planned more than the automation pause ahead, so a next
// poll farther away than that means the clock has fallen back: poll now
// rather than wait until the clock climbs back up.
static bool QuPollDue(uint32_t now)
{
    return now > Idle.nextPollTicks || Idle.nextPollTicks - now > kAutomationPauseTicks;
}

void QuRequestPoll(int32_t ticks)
{
    Idle.nextPollTicks = QuGetTicks() + (uint32_t)ticks;
    Idle.pollPaused = ticks > kPollIntervalTicks;
}

void QuResetIdle(void)
{
    Idle.nextPollTicks = 0;
    Idle.pollPaused = false;
}

void QuResetTriggerState(void)
{
    QuResetIdle();
    Idle.triggerDepth = 0;
    Idle.requestTicks = 0;
}

void QuLeaveDueEventToPoll(void)
{
    QuRequestPoll(-kLeaveToPollTicks);
    Idle.requestTicks = QuGetTicks();
}

// One poll: a waiting remote event, else the earliest due event.
static void QuPoll(void)
{
    QuRequestPoll(kPollIntervalTicks);
    int32_t listener = QuPollListener();
    // Where datagrams came in, more may follow: come back at the next tick
    // at the latest (a datagram seen waiting calls the poll sooner), so
    // that the platform's buffer does not fill and drop a valid datagram.
    if (listener != kListenerQuiet)
        QuRequestPoll(1);
    if (listener == kListenerAccepted)
        return;
    if (EventTable.active <= 0 || EventTable.handle == NULL)
        return;
    if (QuDueBefore(QuNow1904(NULL), EventTable.earliestDue))
        return;
    QuTriggerNextEvent();
}

// A datagram that arrives between polls is taken at the next idle call
// rather than up to a poll interval later; the pause after an automation
// start and disabled local triggers still hold it back.
static bool QuDatagramCallsForPoll(void)
{
    return !Idle.pollPaused && !QuLocalTriggersDisabled() && QuDatagramWaiting();
}

void QuDoIdle(void)
{
    if (!QuPollDue(QuGetTicks()) && !QuDatagramCallsForPoll())
        return;
    if (!QuLocalTriggersDisabled())
        QuPoll();
    // What changed, this poll's firing included, goes to the file now; never
    // from an idle call the host makes while one of ours (a function, a
    // script start) is still running.
    if (Host.depth == 1)
        QuSaveChangedEvents();
}

// Whether a pending event repeats, with its interval: the firing step moves
// a series on where it would mark or delete a single event. An error when
// the table cannot be read.
static int32_t QuEventRepeats(uint32_t eventID, QuEvent *event, QuEvery *every, bool *repeats)
{
    int32_t status = QuFindEvent(eventID, event);
    *repeats =
        status == 0 && event->state == kStatePending && QuDecodeEvery(event->reserved, event->id, every);
    return status == kErrNotFound ? 0 : status;
}

// A series whose start failed goes on to the latest occurrence that has
// come due, so that the ones passed meanwhile are skipped, not fired late.
static void QuCatchUp(uint32_t eventID)
{
    QuEvent event;
    QuEvery every;
    bool repeats;
    uint32_t latest;
    if (QuEventRepeats(eventID, &event, &every, &repeats) == 0 && repeats &&
        QuDueFromSeconds(QuOccurrenceAtOrBefore(QuDueSeconds(event.due), &every, QuNowSeconds()), &latest) &&
        latest != event.due) {
        event.due = latest;
        QuUpdateEvent(&event);
    }
}

// A start that failed for good (no such file or script open): a single
// event is removed, a series outlives it, since its next occurrence may
// find the file open. False when the table cannot say which it is: nothing
// is removed, and the next poll decides.
static bool QuEndFailedStart(uint32_t eventID)
{
    QuEvent event;
    QuEvery every;
    bool repeats;
    if (QuEventRepeats(eventID, &event, &every, &repeats) != 0) {
        QuNoteFailedStart(eventID);
        return false;
    }
    if (repeats) {
        QuNoteStarted(eventID);
        return true;
    }
    QuForgetFailedStart(eventID);
    // An event that could not be removed is not started again before the
    // others.
    if (QuDeleteEventByID(eventID) != 0)
        QuNoteFailedStart(eventID);
    QuRecountEvents();
    return true;
}

int32_t QuTriggerNextEvent(void)
{
    char fileName[kNameSize];
    char scriptName[kNameSize];
    uint32_t eventID;
    // A script already started is recorded before anything else may start,
    // and then ends this poll: the caller saw the earliest due time from
    // before the record, when that event still counted.
    if (QuStartsAwaitingMark())
        return QuMarkStartedEvents() == 0 ? (int32_t)kErrNotFound : (int32_t)kErrMemory;
    int32_t result = QuSelectDueEvent(QuStartDeferral, &eventID, fileName, scriptName, kNameSize);
    if (result != 0)
        return result;
    bool callbackHost = Host.version >= kHostVersionSeven;
    bool direct = UseAlternateTriggerMethod != 0 || callbackHost;
    if (!direct) {
        result = QuTriggerByAutomation(fileName, scriptName);
    } else {
        uint32_t keptID = EventTable.lastTriggeredID;
        if (++Idle.triggerDepth > kMaxDirectStarts) {
            result = kErrTooDeep;
        } else {
            // Functions the host calls while the script starts see this event.
            QuSetLastTriggered(eventID);
            QuNoteSpeedTest(QuGetTicks() - Idle.requestTicks);
            if (callbackHost)
                result = QuTriggerByStartScript(Host.record, fileName, scriptName);
            else
                result = QuTriggerByHostCallbacks(fileName, scriptName);
            if (result != 0)
                QuSetLastTriggered(keptID);
        }
        Idle.triggerDepth--;
    }
    if (result == 0) {
        QuSetLastTriggered(eventID);
        QuNoteStarted(eventID);
    } else if (result == kErrFileNotOpen || result == kErrScriptNotFound) {
        if (!QuEndFailedStart(eventID))
            return result;
    } else {
        // Tried again like a single event; a series skips the occurrences
        // that came due meanwhile rather than fire them late.
        QuCatchUp(eventID);
        QuNoteFailedStart(eventID);
        return result;
    }
    if (!direct)
        QuRequestPoll(kAutomationPauseTicks);
    return result;
}
