// Stand-ins for the subsystems that are not built yet, so that every path
// runs its full sequence today. A subsystem that lands takes its functions
// out of this file.
#include "lifecycle.h"
#include "remote/remote.h"

// The TCP request of "Rous-SendRemoteEvent -tcprequest".
int32_t QuTCPRequestEntry(HostHandle, int32_t, const char *, uint16_t, const char *, HostHandle)
{
    return kErrOutOfRange;
}
