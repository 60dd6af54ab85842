// Any text as a parameter: tokens, options, numbers and quoted texts stay
// inside their buffers.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "frame/plugin_frame.h"
#include "hostsim/hostsim.h"
#include "hostsim/overrides_helpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool started;
    if (!started) {
        HsSetEntry(FMExternCallProc, nullptr);
        HsSetPrefsRoot("/tmp/rouser-options-fuzz");
        started = true;
    }
    HsReset();
    std::string text(reinterpret_cast<const char *>(data), size);
    HostHandle parameter = HsNewHostHandle(text);
    HsRunInside([&](HostCallRecord *record) {
        QuUseCallRecord(record);
        char token[1000];
        int32_t position = 0;
        for (int i = 0; i < 64 && position != -1; i++) {
            QuReadNextToken(parameter, token, sizeof token, &position);
            if (strlen(token) >= sizeof token)
                abort();
            int32_t number;
            QuGetOptionNumber(token, "-portnumber", &number);
            if (number < 0)
                abort();
            char quoted[16];
            const char pattern[] = "-closeportafter=\"";
            QuGetTextAfter(token, QuTextLength(token), pattern, QuTextLength(pattern), '"', 0, 1, false,
                           quoted, sizeof quoted);
            char field[8];
            int32_t fieldPosition = 0;
            for (int j = 0; j < 8 && fieldPosition != -1; j++)
                QuNextField(token, ",", field, sizeof field - 1, &fieldPosition);
            QuHasOption(token, "-getversionnumber");
        }
    });
    HsDisposeHostHandle(parameter);
    if (!HsTakeViolations().empty())
        abort();
    return 0;
}
