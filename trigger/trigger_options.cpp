// The switches that choose how due events are started.
#include "frame/plugin_frame.h"
#include "trigger.h"

static int32_t AlternateTriggerMethod;
const int32_t &UseAlternateTriggerMethod = AlternateTriggerMethod;
static uint32_t SpeedTestElapsedTicks;

void QuSetTriggerMethod(bool alternate)
{
    AlternateTriggerMethod = alternate ? 1 : 0;
}

void QuNoteSpeedTest(uint32_t elapsed)
{
    SpeedTestElapsedTicks = elapsed;
}

void QuResetSpeedTest(void)
{
    SpeedTestElapsedTicks = 0;
}

bool QuTriggerMethodOption(const char *text, HostHandle result)
{
    char answer[kPreparedResultSize];
    int32_t alternate = -1;
    if (QuHasOption(text, "-usealternatetriggermethod"))
        alternate = 1;
    else if (QuHasOption(text, "-alternatetriggermethodoff"))
        alternate = 0;
    bool speedTest = QuHasOption(text, "-returnSpeedTest_ElapsedTicks");
    if (alternate < 0 && !speedTest)
        return false;
    if (speedTest)
        QuFormatUnsigned(SpeedTestElapsedTicks, answer);
    else
        QuCopyText(answer, "0");
    // The answer is made ready before the switch changes.
    QuPreparedResult prepared = {result, NULL, {0}};
    int32_t status = QuPrepareResult(answer, result, &prepared);
    if (status == 0 && alternate >= 0)
        AlternateTriggerMethod = alternate;
    QuFinishResult(&prepared, status);
    return true;
}
