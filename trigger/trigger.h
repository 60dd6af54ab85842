// Script triggering: the idle step, the start methods and their switches.
#ifndef ROUSER_TRIGGER_H
#define ROUSER_TRIGGER_H

#include "frame/host_call.h"

// The idle step does nothing while the Ticks clock is at or below this.
extern uint32_t NextPollTicks;
extern int32_t UseAlternateTriggerMethod;
// Ticks from the request of the latest direct start to its beginning.
extern uint32_t SpeedTestElapsedTicks;
// Set once at start-up: 0 when the host's main window belongs to the full
// application (its class ends in "APP"), 1 otherwise or without one.
extern int32_t HostWindowKind;

// Handles the trigger-method options of `text`; true when one was
// recognised and the result written.
bool QuTriggerMethodOption(const char *text, HostHandle result);

#endif
