// Stand-ins for the subsystems that are not built yet: each does nothing, so
// start-up, idle and shutdown run their full sequence today. A subsystem
// that lands takes its functions out of this file.
#include "lifecycle.h"

int32_t HostWindowKind;

int32_t QuDetectHostWindow(void)
{
    return 0;
}

int32_t QuReadEventFile(HostHandle)
{
    return -43;
}

int32_t QuLoadEventTable(HostHandle)
{
    return 0;
}

int32_t QuSaveEventTable(HostHandle)
{
    return -50;
}

int32_t QuWriteEventFile(HostHandle)
{
    return -50;
}

void QuDoIdle(void)
{
}

void QuFreeTextLibrary(void)
{
}

void QuShutdownNetwork(void)
{
}
