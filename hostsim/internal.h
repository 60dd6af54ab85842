// Shared between the simulated host's own files; not for tests.
#ifndef ROUSER_HOSTSIM_INTERNAL_H
#define ROUSER_HOSTSIM_INTERNAL_H

#include <string>

#include "frame/host_call.h"

void HsNoteViolation(const std::string &what);
void HsFillScriptCallbacks(HostCallRecord *record);
void HsResetScripts(void);
// Clears the loaded text library's log and armed failure.
void HsResetTextLibrary(void);

#endif
