// Stand-ins for the subsystems that are not built yet, so that every path
// runs its full sequence today. A subsystem that lands takes its functions
// out of this file.
#include "lifecycle.h"
