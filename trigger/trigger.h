// Script triggering: the idle step, the start methods and their switches.
#ifndef ROUSER_TRIGGER_H
#define ROUSER_TRIGGER_H

#include "frame/host_call.h"

// The idle step does nothing while the Ticks clock is at or below this.
extern uint32_t NextPollTicks;
extern int32_t UseAlternateTriggerMethod;
// Ticks from the request of the latest direct start to its beginning.
extern uint32_t SpeedTestElapsedTicks;

// Handles the trigger-method options of `text`; true when one was
// recognised and the result written.
bool QuTriggerMethodOption(const char *text, HostHandle result);

// ---- automation start (automation.cpp) ----
// Set once OLE has been started; cleared at shutdown.
extern bool OleStarted;

// Runs `scriptName` in the open document whose file matches `fileName`
// through the host's automation server: 0 (also when no document matches),
// -50 for an empty file name, -28 when OLE cannot start, a negative HRESULT
// or a positive system error when a document's name cannot be converted.
int32_t QuTriggerByAutomation(const char *fileName, const char *scriptName);
// True when OLE is usable.
bool QuStartAutomation(void);
void QuStopAutomation(void);

#endif
