// The external functions' handlers, by their index in the host's list.
#ifndef ROUSER_FUNCTIONS_H
#define ROUSER_FUNCTIONS_H

#include "host_call.h"

typedef void (*QuFunctionHandler)(HostHandle parameter, HostHandle result);

void ROUS_Version(HostHandle parameter, HostHandle result);
void ROUS_Control(HostHandle parameter, HostHandle result);
void ROUS_DeleteEvent(HostHandle parameter, HostHandle result);
void ROUS_GetEventInfo(HostHandle parameter, HostHandle result);
void ROUS_ScheduleEvent(HostHandle parameter, HostHandle result);
void ROUS_Sleep(HostHandle parameter, HostHandle result);
void ROUS_GetIPAddress(HostHandle parameter, HostHandle result);
void ROUS_SendRemoteEvent(HostHandle parameter, HostHandle result);
void ROUS_StartListener(HostHandle parameter, HostHandle result);
void ROUS_StopListener(HostHandle parameter, HostHandle result);

// Handler of external function `index`, or null beyond the list.
QuFunctionHandler QuFunctionHandlerAt(uint32_t index);

#endif
