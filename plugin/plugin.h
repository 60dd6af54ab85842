// The plug-in as the host sees it: the entry point's lifecycle, the table
// of the ten external functions, and the two functions that draw on more
// than one subsystem. Nothing below this folder includes it.
#ifndef ROUSER_PLUGIN_H
#define ROUSER_PLUGIN_H

#include "frame/plugin_frame.h"

// ---- lifecycle (entry.cpp) ----
int32_t QuInitPlugin(int16_t hostVersion);
void QuIdle(uint8_t idleKind);
void QuShutdownPlugin(void);
void QuDispatchFunction(uint32_t index, HostHandle parameter, HostHandle result);
// Puts back what a fresh load of the module holds, for a host that runs
// the linked plug-in again without loading it anew (the tests).
void QuResetLoadState(void);

// ---- the function list (dispatch.cpp) ----
// Handler of external function `index`, or null beyond the list.
QuFunctionHandler QuFunctionHandlerAt(uint32_t index);

// The version and the trigger-method switches (version.cpp).
void ROUS_Version(HostHandle parameter, HostHandle result);
// Schedules, and fires at once what is due (schedule_event.cpp).
void ROUS_ScheduleEvent(HostHandle parameter, HostHandle result);

#endif
