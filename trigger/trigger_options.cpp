// The switches that choose how due events are started.
#include "frame/plugin_frame.h"
#include "trigger.h"

uint32_t NextPollTicks;
int32_t UseAlternateTriggerMethod;
uint32_t SpeedTestElapsedTicks;

bool QuTriggerMethodOption(const char *text, HostHandle result)
{
    bool recognised = false;
    if (QuHasOption(text, "-usealternatetriggermethod")) {
        UseAlternateTriggerMethod = 1;
        QuSetErrorResult("$$", 0, result);
        recognised = true;
    } else if (QuHasOption(text, "-alternatetriggermethodoff")) {
        UseAlternateTriggerMethod = 0;
        QuSetErrorResult("$$", 0, result);
        recognised = true;
    }
    if (QuHasOption(text, "-returnSpeedTest_ElapsedTicks")) {
        QuSetResultUnsigned(SpeedTestElapsedTicks, result);
        recognised = true;
    }
    return recognised;
}
