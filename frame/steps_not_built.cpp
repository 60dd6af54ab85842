// Stand-ins for the subsystems that are not built yet: each does nothing, so
// start-up, idle and shutdown run their full sequence today. A subsystem
// that lands takes its functions out of this file.
#include "lifecycle.h"

void QuDoIdle(void)
{
}

void QuStopAutomation(void)
{
}

void QuShutdownNetwork(void)
{
}
