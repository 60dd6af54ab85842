// Shared between the simulated host's own files; not for tests.
#ifndef ROUSER_HOSTSIM_INTERNAL_H
#define ROUSER_HOSTSIM_INTERNAL_H

#include <string>

#include "frame/host_call.h"

void HsNoteViolation(const std::string &what);
// A call's record while the plug-in runs it; leaving is true when no call
// is left in progress.
void HsEnterCall(HostCallRecord *record);
bool HsLeaveCall(void);
void HsFillScriptCallbacks(HostCallRecord *record);
void HsResetScripts(void);
// Clears the loaded text library's log and armed failure.
void HsResetTextLibrary(void);

#endif
