// The function list: handler n serves the function named ROUS_STRING_Fn,
// which the host reads from the module's string table.
#include "plugin.h"
#include "remote/remote.h"
#include "scheduler/event_table.h"

// "Rous-GetEventInfo" answers for the listener too: what it dropped and
// why. The scheduler beneath cannot see the listener, so the two options
// are taken here and everything else goes on to the scheduler's handler.
static void QuGetEventInfo(HostHandle parameter, HostHandle result)
{
    char options[2000];
    int32_t position = 0;
    if (QuGetHandleSize(parameter) > 0 &&
        QuReadNextToken(parameter, options, sizeof options, &position) == 0 &&
        QuAnswerDropQuery(options, result))
        return;
    ROUS_GetEventInfo(parameter, result);
}

static const QuFunctionHandler kHandlers[10] = {
    ROUS_Version,       ROUS_Control,         ROUS_DeleteEvent, QuGetEventInfo,     ROUS_GetIPAddress,
    ROUS_ScheduleEvent, ROUS_SendRemoteEvent, ROUS_Sleep,       ROUS_StartListener, ROUS_StopListener,
};

QuFunctionHandler QuFunctionHandlerAt(uint32_t index)
{
    return index < sizeof kHandlers / sizeof kHandlers[0] ? kHandlers[index] : NULL;
}
