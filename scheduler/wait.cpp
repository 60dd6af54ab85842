// The platform's waits. Windows gives the plug-in no way to wait without
// freezing the host, so both refuse; a platform that can wait supplies its
// own file in place of this one.
#include "event_table.h"

int32_t QuWaitUntil(uint32_t)
{
    return kErrNoWait;
}

int32_t QuWaitTicks(uint32_t)
{
    return kErrNoWait;
}
