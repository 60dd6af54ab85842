// The function list, in the order of the module's string table (144 + n).
#include "functions.h"

static const QuFunctionHandler kHandlers[10] = {
    ROUS_Version,       // "Rous-Version"
    ROUS_Control,       // "Rous-Control"
    ROUS_DeleteEvent,   // "Rous-DeleteEvent"
    ROUS_GetEventInfo,  // "Rous-GetEventInfo"
    NULL,               // "Rous-GetIPAddress"
    ROUS_ScheduleEvent, // "Rous-ScheduleEvent"
    NULL,               // "Rous-SendRemoteEvent"
    ROUS_Sleep,         // "Rous-Sleep"
    NULL,               // "Rous-StartListener"
    NULL,               // "Rous-StopListener"
};

QuFunctionHandler QuFunctionHandlerAt(uint32_t index)
{
    return index < sizeof kHandlers / sizeof kHandlers[0] ? kHandlers[index] : NULL;
}
