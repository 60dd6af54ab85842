// The TCP request's own options: its time-out, its close-after text and TLS.
#include "frame/plugin_frame.h"
#include "tcp_request.h"

int32_t QuReadTimeoutOption(const char *options, int32_t *ticks)
{
    int32_t value;
    *ticks = kDefaultTimeoutTicks;
    // Seconds win when both are given, even when they are out of range.
    if (QuGetOptionNumber(options, "-timeoutsecs", &value)) {
        if (value < 0 || value > kMaxTimeoutSecs)
            return kErrOutOfRange;
        *ticks = value * 60;
    } else if (QuGetOptionNumber(options, "-timeoutticks", &value)) {
        if (value < 0 || value > kMaxTimeoutTicks)
            return kErrOutOfRange;
        *ticks = value;
    }
    return 0;
}

void QuReadCloseAfterOption(const char *options, char *text)
{
    static const char kPattern[] = "-closeportafter=\"";
    QuGetTextAfter(options, QuTextLength(options), kPattern, sizeof kPattern - 1, '"', 0, 1, false, text,
                   kCloseTextSize);
}

QuTlsMode QuReadTlsOption(const char *options)
{
    // Options match anywhere in the text, so "-tlsNoVerify" holds "-tls";
    // but never inside a quoted value: -closeportafter="-tlsNoVerify" must
    // not switch the certificate checks off.
    if (QuHasUnquotedOption(options, "-tlsNoVerify"))
        return kTlsNoVerify;
    return QuHasUnquotedOption(options, "-tls") ? kTlsVerify : kTlsOff;
}
