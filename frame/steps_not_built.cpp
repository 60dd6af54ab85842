// Stand-ins for the subsystems that are not built yet: each does nothing, so
// start-up, idle and shutdown run their full sequence today. A subsystem
// that lands takes its functions out of this file.
#include "lifecycle.h"

bool QuPollListener(void)
{
    return false;
}

void QuShutdownNetwork(void)
{
}
