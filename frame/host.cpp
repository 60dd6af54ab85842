// What the frame knows of the host, written by the entry point and the
// start-up, read by every subsystem.
#include "plugin_frame.h"

HostCallRecord *CurrentCallRecord;
int16_t HostVersion;
int32_t HostWindowKind;
int16_t HostCallDepth;
