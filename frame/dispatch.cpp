// The function list, in the order of the module's string table (144 + n).
#include "functions.h"

static const QuFunctionHandler kHandlers[10] = {
    ROUS_Version, // "Rous-Version"
    NULL,         // "Rous-Control"
    NULL,         // "Rous-DeleteEvent"
    NULL,         // "Rous-GetEventInfo"
    NULL,         // "Rous-GetIPAddress"
    NULL,         // "Rous-ScheduleEvent"
    NULL,         // "Rous-SendRemoteEvent"
    NULL,         // "Rous-Sleep"
    NULL,         // "Rous-StartListener"
    NULL,         // "Rous-StopListener"
};

QuFunctionHandler QuFunctionHandlerAt(uint32_t index)
{
    return index < sizeof kHandlers / sizeof kHandlers[0] ? kHandlers[index] : NULL;
}
