// The simulated host as the benchmarks start it: a fresh folder of its own
// for the event file and the preferences, the simulated millisecond
// counter, the plug-in linked in and started as a host of API version 50.
#ifndef ROUSER_BENCH_HOST_H
#define ROUSER_BENCH_HOST_H

#include <filesystem>
#include <string>

#include "frame/host_call.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"

inline void BenchStartHost(const std::string &folder)
{
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "prefs");
    HsReset();
    HsSetEntry(FMExternCallProc, nullptr);
    HsSetHostFolder(folder);
    HsSetPrefsRoot(folder + "prefs");
    HsUseSimulatedClock(1000000);
    HsStartup(50);
}

#endif
