// The host's broken rules and its calls in progress. This file calls no
// other, so that every part of the simulated host can report to it.
#include "hostsim.h"

#include "internal.h"

static std::vector<std::string> Violations;
static std::vector<HostCallRecord *> Records; // innermost last

void HsNoteViolation(const std::string &what)
{
    Violations.push_back(what);
}

std::vector<std::string> HsTakeViolations(void)
{
    std::vector<std::string> taken;
    taken.swap(Violations);
    return taken;
}

void HsEnterCall(HostCallRecord *record)
{
    Records.push_back(record);
}

bool HsLeaveCall(void)
{
    Records.pop_back();
    return Records.empty();
}

HostCallRecord *HsCurrentRecord(void)
{
    return Records.empty() ? nullptr : Records.back();
}
