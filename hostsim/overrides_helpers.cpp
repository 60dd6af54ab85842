#include "overrides_helpers.h"

#include "frame/host_overrides.h"
#include "hostsim.h"

static uint32_t SimulatedMs;
static uint32_t MsPerRead;
static int64_t ClockSeconds;
static int64_t UtcMs;
static std::vector<std::string> WindowClasses;
static std::vector<const char *> WindowClassPointers;

static uint32_t ReadSimulatedMs(void)
{
    uint32_t now = SimulatedMs;
    SimulatedMs += MsPerRead;
    return now;
}

static int64_t ReadClock(void)
{
    return ClockSeconds;
}

void HsUseSimulatedClock(uint32_t start)
{
    SimulatedMs = start;
    MsPerRead = 0;
    QuOverrideMilliseconds(ReadSimulatedMs);
}

void HsSetMilliseconds(uint32_t ms)
{
    SimulatedMs = ms;
}

void HsAdvanceMilliseconds(uint32_t ms)
{
    SimulatedMs += ms;
}

uint32_t HsMilliseconds(void)
{
    return SimulatedMs;
}

void HsSetMillisecondsPerRead(uint32_t step)
{
    MsPerRead = step;
}

void HsSetClockSeconds(int64_t seconds)
{
    ClockSeconds = seconds;
    QuOverrideClock(ReadClock);
}

static int64_t ReadUtc(void)
{
    return UtcMs;
}

void HsSetUtcMilliseconds(int64_t ms)
{
    UtcMs = ms;
    QuOverrideUtcClock(ReadUtc);
}

void HsAdvanceUtcMilliseconds(int64_t ms)
{
    UtcMs += ms;
}

void HsSetHostFolder(const std::string &folder)
{
    QuOverrideHostFolder(folder.c_str());
}

void HsSetPrefsRoot(const std::string &root)
{
    QuOverridePrefsRoot(root.c_str());
}

bool HsSetWindowClasses(const std::vector<std::string> &topToBottom, std::string *error)
{
#ifdef _WIN32
    return HsCreateWindows(topToBottom, error);
#else
    (void)error;
    WindowClasses = topToBottom;
    WindowClassPointers.clear();
    for (const std::string &name : WindowClasses)
        WindowClassPointers.push_back(name.c_str());
    // Never null, so that an empty list still means no windows.
    WindowClassPointers.push_back(nullptr);
    QuOverrideWindowList(WindowClassPointers.data(), static_cast<int32_t>(WindowClasses.size()));
    return true;
#endif
}

void HsSetTextLibraryPath(const std::string &path)
{
    std::string native = path;
#ifdef _WIN32
    // LoadLibraryA wants backslashes in a path.
    for (char &c : native) {
        if (c == '/')
            c = '\\';
    }
#endif
    QuOverrideTextLibrary(native.c_str());
}

void HsUseRealSources(void)
{
    QuOverrideMilliseconds(nullptr);
    QuOverrideClock(nullptr);
    QuOverrideUtcClock(nullptr);
    QuOverrideHostFolder(nullptr);
    QuOverridePrefsRoot(nullptr);
    QuOverrideWindowList(nullptr, 0);
    HsDestroyWindows();
    QuOverrideTextLibrary(nullptr);
    QuOverrideTrustedRoot(nullptr, 0);
}
