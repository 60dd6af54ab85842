// The steps of start-up, idle, shutdown and dispatch that belong to the
// other subsystems.
#ifndef ROUSER_LIFECYCLE_H
#define ROUSER_LIFECYCLE_H

#include "host_call.h"
#include "trigger/trigger.h" // HostWindowKind, which start-up sets

int32_t QuDetectHostWindow(void);
int32_t QuReadEventFile(HostHandle image);
int32_t QuLoadEventTable(HostHandle image);
int32_t QuSaveEventTable(HostHandle image);
int32_t QuWriteEventFile(HostHandle image);
void QuDoIdle(void);
// Takes at most one waiting remote event; true when one was handled.
bool QuPollListener(void);
void QuFreeTextLibrary(void);
void QuShutdownNetwork(void);

#endif
