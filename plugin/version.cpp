// "Rous-Version": the version text, its number, the platform, and the
// trigger-method options.
#include "plugin.h"
#include "resources/rouser_strings.h"
#include "trigger/trigger.h"

void ROUS_Version(HostHandle parameter, HostHandle result)
{
    char token[1000];
    int32_t position = 0;
    // Written first, so that it stands whenever no option matches.
    QuSetResultText("Rouser Plug-In " ROUS_VERSION_TEXT, result);
    if (QuReadNextToken(parameter, token, sizeof token, &position) != 0) {
        QuSetErrorResult(kErrMemory, result);
        return;
    }
    if (token[0] == 0)
        return;
    if (QuHasOption(token, "-getversionnumber"))
        QuSetResultText("1500", result);
    else if (QuHasOption(token, "-showplugininfo"))
        QuSetResultText("Intel", result);
    else
        QuTriggerMethodOption(token, result);
}
