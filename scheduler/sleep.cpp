// "Rous-Sleep": checks a wake-up date and time as scheduling does, then
// hands it to the platform's waits.
#include "event_table.h"
#include "frame/plugin_frame.h"

void ROUS_Sleep(HostHandle parameter, HostHandle result)
{
    char field[2000];
    int32_t position = 0, code = 0;
    int64_t wakeTime = 0;
    int32_t size = QuGetHandleSize(parameter);
    if (size <= 0)
        code = kErrBadParameter;
    if (code == 0)
        code = QuReadNextToken(parameter, field, sizeof field, &position);
    if (code == 0 && !QuHasOption(field, "-tilldatetime"))
        code = kErrBadParameter;
    if (code == 0)
        code = QuReadNextToken(parameter, field, sizeof field, &position);
    if (code == 0) {
        wakeTime = QuDateToSeconds(field);
        // Without a time field the wake-up time would be midnight, which the
        // caller hardly meant.
        if (position == -1 || position >= size)
            code = kErrBadParameter;
    }
    if (code == 0)
        code = QuReadNextToken(parameter, field, sizeof field, &position);
    if (code == 0) {
        wakeTime += QuTimeToSeconds(field);
        if (wakeTime < QuNowSeconds())
            code = kErrInThePast;
    }
    if (code == 0) {
        code = QuWaitUntil((uint32_t)wakeTime);
        if (code == 0)
            code = QuWaitTicks(0);
    }
    QuSetErrorResult(code, result);
}
