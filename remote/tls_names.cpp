// A certificate's DNS names against the host asked for, as browsers check
// them: the Windows chain policy is laxer (partial wildcards, the Common
// Name when there is no subjectAltName), so its side matches here.
#include "frame/plugin_frame.h"
#include "os_tls.h"

bool QuCertNameMatches(const char *pattern, int32_t patternLength, const char *name)
{
    int32_t nameLength = QuTextLength(name);
    if (patternLength <= 0 || nameLength == 0)
        return false;
    if (patternLength == nameLength && QuCompareText(pattern, name, nameLength, false) == 0)
        return true;
    // "*.b.c": the star alone in the first label, two labels at least after it.
    if (patternLength < 2 || pattern[0] != '*' || pattern[1] != '.')
        return false;
    const char *rest = pattern + 1;
    int32_t restLength = patternLength - 1;
    if (QuFindText(rest, restLength, "*", 1, 0, 1, true) >= 0 ||
        QuFindText(rest, restLength, ".", 1, 1, 1, true) < 0)
        return false;
    int32_t label = QuFindText(name, nameLength, ".", 1, 0, 1, true);
    return label > 0 && nameLength - label == restLength &&
           QuCompareText(name + label, rest, restLength, false) == 0;
}
