// The function list, in the order of the module's string table (144 + n).
#include "plugin.h"
#include "remote/remote.h"
#include "scheduler/event_table.h"

static const QuFunctionHandler kHandlers[10] = {
    ROUS_Version,         // "Rous-Version"
    ROUS_Control,         // "Rous-Control"
    ROUS_DeleteEvent,     // "Rous-DeleteEvent"
    ROUS_GetEventInfo,    // "Rous-GetEventInfo"
    ROUS_GetIPAddress,    // "Rous-GetIPAddress"
    ROUS_ScheduleEvent,   // "Rous-ScheduleEvent"
    ROUS_SendRemoteEvent, // "Rous-SendRemoteEvent"
    ROUS_Sleep,           // "Rous-Sleep"
    ROUS_StartListener,   // "Rous-StartListener"
    ROUS_StopListener,    // "Rous-StopListener"
};

QuFunctionHandler QuFunctionHandlerAt(uint32_t index)
{
    return index < sizeof kHandlers / sizeof kHandlers[0] ? kHandlers[index] : NULL;
}
