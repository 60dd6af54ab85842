// The host's entry point: start-up, idle, external functions, shutdown.
#include "plugin.h"
#include "remote/remote.h"
#include "scheduler/event_file.h"
#include "scheduler/event_table.h"
#include "trigger/trigger.h"

extern "C" void HOST_CALL FMExternCallProc(HostCallRecord *record)
{
    // The host may call again while a script it starts for us runs; the
    // outer call goes on with its own record, not the finished inner one.
    HostCallRecord *outer = QuEnterHostCall(record);
    switch (record->callKind) {
    case kCallStartup:
        record->out.answer = QuInitPlugin(record->hostVersion);
        break;
    case kCallIdle:
        QuIdle(record->idleKind);
        break;
    case kCallExternal:
        QuDispatchFunction(record->functionIndex, record->parameter, record->out.result);
        break;
    case kCallShutdown:
        QuShutdownPlugin();
        break;
    default: // preferences and kinds this plug-in does not know
        break;
    }
    QuLeaveHostCall(outer);
}

int32_t QuInitPlugin(int16_t hostVersion)
{
    if (hostVersion < 4 || hostVersion > 255)
        return -1;
    QuSetHostVersion(hostVersion);
    QuSetHostWindowKind(QuDetectHostWindow());
    QuSetTriggerMethod(Host.version < kHostVersionSeven);
    QuForgetStartOutcomes();
    int32_t status = QuCreateEventTable();
    if (status == 0)
        QuResetIdle();
    if (EventTable.handle != NULL)
        QuRestoreEvents(status);
    return 4;
}

void QuIdle(uint8_t idleKind)
{
    if (idleKind == 0)
        QuDoIdle();
}

void QuShutdownPlugin(void)
{
    QuSaveEventsAtShutdown();
    QuStopAutomation();
    QuFreeTextLibrary();
    QuResetTlsSession();
    QuShutdownNetwork();
}

void QuDispatchFunction(uint32_t index, HostHandle parameter, HostHandle result)
{
    QuFunctionHandler handler = QuFunctionHandlerAt(index);
    if (handler != NULL)
        handler(parameter, result);
}

void QuResetLoadState(void)
{
    // The separator stays in memory between calls: an earlier run's own
    // separator would split the texts until the first call.
    QuResetPrefs();
    QuResetEventTable();
    QuResetLocalTriggers();
    QuResetTriggerState();
    QuResetSpeedTest();
    QuResetListenerKey();
    QuShowDebugMessages(false);
    QuResetSealKey();
    // What a shutdown leaves: nothing started, nothing loaded, nothing open.
    QuResetTlsSession();
    QuShutdownNetwork();
    QuStopAutomation();
    QuFreeTextLibrary();
}
