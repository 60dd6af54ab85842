// Script triggering: the idle step, the start methods and their switches.
#ifndef ROUSER_TRIGGER_H
#define ROUSER_TRIGGER_H

#include "frame/errors.h"
#include "frame/host_call.h"

// The idle step does nothing while the Ticks clock is at or below this.
// Only the idle step writes it; others ask through the two calls below.
extern const uint32_t &NextPollTicks;
// At start-up: the first idle call polls.
void QuResetIdle(void);
// The next poll `ticks` from now; a negative count makes it overdue.
void QuRequestPoll(int32_t ticks);
// Scheduling leaves an event that is due already to the next idle call,
// which measures the delay for the speed test.
void QuLeaveDueEventToPoll(void);
// What a fresh load of the module holds: no start in progress, no poll
// planned.
void QuResetTriggerState(void);

// ---- the trigger-method switch and the speed test (trigger_options.cpp) ----
// Set at start-up to (Host.version < kHostVersionSeven) and by
// "Rous-Version"'s options.
extern const int32_t &UseAlternateTriggerMethod;
void QuSetTriggerMethod(bool alternate);
// Ticks from the request of the latest direct start to its beginning, as
// the firing step measured them.
void QuNoteSpeedTest(uint32_t elapsed);
// No speed measured, as at load.
void QuResetSpeedTest(void);
// 0 when the host's main window class ends in "APP", else 1.
int32_t QuDetectHostWindow(void);
// The idle step: a poll when the planned one is due (40 ticks after a
// quiet poll, 1 after one that took datagrams, 120 after an automation
// start) and, outside that pause, at any idle call that finds a datagram
// waiting; none while local triggers are disabled.
void QuDoIdle(void);

// Fires the earliest due event by the start method the host calls for;
// 0 when a script was started.
int32_t QuTriggerNextEvent(void);

// Handles the trigger-method options of `text`; true when one was
// recognised and the result written.
bool QuTriggerMethodOption(const char *text, HostHandle result);

// ---- direct starts through the host's callbacks (host_callbacks.cpp) ----
// Old hosts (API version below 50): looks the file and script up, and only
// when both exist looks them up again and performs the script. Names are
// zero-terminated; each reaches the host cut to 255 characters.
int32_t QuTriggerByHostCallbacks(const char *fileName, const char *scriptName);
// New hosts: hands both names as text objects to the start-script callback
// of `record`. Returns the host's 16-bit code sign-extended, kErrNotFound
// when the text library is unusable, kErrMemory when it makes no text
// object.
int32_t QuTriggerByStartScript(HostCallRecord *record, const char *fileName, const char *scriptName);
// Loads "FMWrapper.dll" and its three exports unless already loaded; 0 or -1.
int32_t QuLoadTextLibrary(void);
// Unloads the text library if it is loaded (at shutdown).
void QuFreeTextLibrary(void);

// ---- automation start (automation.cpp) ----
// Set once OLE has been started; cleared at shutdown.
extern const bool &OleStarted;

// Runs `scriptName` in the open document whose file matches `fileName`
// through the host's automation server: 0 (also when no document matches),
// kErrBadParameter for an empty file name, kErrOleNotStarted when OLE
// cannot start, a negative HRESULT or a positive system error when a
// document's name cannot be converted.
int32_t QuTriggerByAutomation(const char *fileName, const char *scriptName);
// True when OLE is usable.
bool QuStartAutomation(void);
void QuStopAutomation(void);

#endif
