// What the frame knows of the host, written by the entry point and the
// start-up, read by every subsystem.
#include "plugin_frame.h"

static QuHostState State;
const QuHostState &Host = State;

HostCallRecord *QuEnterHostCall(HostCallRecord *record)
{
    HostCallRecord *outer = State.record;
    State.record = record;
    State.depth++;
    return outer;
}

void QuLeaveHostCall(HostCallRecord *outer)
{
    State.depth--;
    State.record = outer;
}

HostCallRecord *QuUseCallRecord(HostCallRecord *record)
{
    HostCallRecord *before = State.record;
    State.record = record;
    return before;
}

void QuSetHostVersion(int16_t version)
{
    State.version = version;
}

void QuSetHostWindowKind(int32_t kind)
{
    State.windowKind = kind;
}
