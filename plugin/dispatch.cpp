// The function list: handler n serves the function named ROUS_STRING_Fn,
// which the host reads from the module's string table.
#include "plugin.h"
#include "remote/remote.h"
#include "scheduler/event_table.h"

static const QuFunctionHandler kHandlers[10] = {
    ROUS_Version,       ROUS_Control,         ROUS_DeleteEvent, ROUS_GetEventInfo,  ROUS_GetIPAddress,
    ROUS_ScheduleEvent, ROUS_SendRemoteEvent, ROUS_Sleep,       ROUS_StartListener, ROUS_StopListener,
};

QuFunctionHandler QuFunctionHandlerAt(uint32_t index)
{
    return index < sizeof kHandlers / sizeof kHandlers[0] ? kHandlers[index] : NULL;
}
