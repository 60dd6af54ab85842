// Options and the small text routines every handler shares. 8-bit text, no
// locale: the only case folding is of the ASCII letters.
#include <stdlib.h>
#include <string.h>

#include "plugin_frame.h"

int32_t QuTextLength(const char *text)
{
    return (int32_t)strlen(text);
}

void QuCopyBytes(void *dest, const void *source, int32_t count)
{
    if (count > 0)
        memmove(dest, source, (size_t)count);
}

void QuCopyText(char *dest, const char *source)
{
    QuCopyBytes(dest, source, QuTextLength(source) + 1);
}

void QuAppendText(char *dest, const char *source)
{
    QuCopyText(dest + QuTextLength(dest), source);
}

char QuToLower(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? (char)(ch + 32) : ch;
}

int32_t QuCompareText(const char *a, const char *b, int32_t n, bool exact)
{
    for (int32_t i = 0; i < n; i++) {
        signed char x = (signed char)(exact ? a[i] : QuToLower(a[i]));
        signed char y = (signed char)(exact ? b[i] : QuToLower(b[i]));
        if (x != y)
            return x > y ? 1 : -1;
    }
    return 0;
}

int32_t QuFindText(const char *text, int32_t textLength, const char *pattern, int32_t patternLength,
                   int32_t start, int32_t nth, bool exact)
{
    int32_t count = 0;
    if (start < 0)
        start = 0;
    for (int32_t i = start; i <= textLength - patternLength; i++) {
        if (QuCompareText(text + i, pattern, patternLength, exact) == 0 && ++count >= nth)
            return i;
    }
    return -1;
}

bool QuHasOption(const char *text, const char *option)
{
    return QuFindText(text, QuTextLength(text), option, QuTextLength(option), 0, 1, false) >= 0;
}

bool QuHasUnquotedOption(const char *text, const char *option)
{
    int32_t length = QuTextLength(text), optionLength = QuTextLength(option);
    bool quoted = false;
    for (int32_t i = 0; i <= length - optionLength; i++) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (!quoted && QuCompareText(text + i, option, optionLength, false) == 0)
            return true;
    }
    return false;
}

void QuGetTextAfter(const char *text, int32_t textLength, const char *pattern, int32_t patternLength,
                    char stop, int32_t start, int32_t nth, bool exact, char *out, int32_t capacity)
{
    if (capacity <= 0)
        return;
    out[0] = 0;
    int32_t i = QuFindText(text, textLength, pattern, patternLength, start, nth, exact);
    if (i < 0)
        return;
    int32_t copied = 0;
    // The text's terminating zero ends the copy like the stop character.
    for (int32_t j = i + patternLength; j < textLength && text[j] != stop && copied < capacity - 1; j++)
        out[copied++] = text[j];
    out[copied] = 0;
}

bool QuGetOptionNumber(const char *text, const char *option, int32_t *out)
{
    char value[2000];
    *out = 0;
    QuGetTextAfter(text, QuTextLength(text), option, QuTextLength(option), '-', 0, 1, false, value,
                   sizeof value);
    char *digits = value;
    while (*digits && (*digits < '0' || *digits > '9'))
        digits++;
    char *end = digits;
    while (*end >= '0' && *end <= '9')
        end++;
    if (end == digits)
        return false;
    *end = 0;
    *out = QuParseSigned(digits);
    return true;
}

void QuNextField(const char *text, const char *delimiter, char *out, int32_t max, int32_t *position)
{
    out[0] = 0;
    int32_t p = *position;
    if (p == -1)
        return;
    int32_t length = QuTextLength(text);
    int32_t delimiterLength = QuTextLength(delimiter);
    int32_t rest = length - p;
    if (rest <= 0) {
        *position = -1;
        return;
    }
    int32_t k = QuFindText(text + p, rest, delimiter, delimiterLength, 0, 1, true);
    int32_t n = k < 0 ? rest : k;
    if (n > max)
        n = max;
    QuCopyBytes(out, text + p, n);
    out[n] = 0;
    *position = k < 0 ? -1 : p + k + delimiterLength;
}

void QuStripExtension(char *text)
{
    for (int32_t i = QuTextLength(text) - 1; i > 0; i--) {
        if (text[i] == '.') {
            text[i] = 0;
            return;
        }
    }
}

bool QuBaseNameMatches(char *path, const char *name)
{
    QuStripExtension(path);
    int32_t start = 0;
    for (int32_t i = QuTextLength(path) - 1; i > 0; i--) {
        if (path[i] == '\\') {
            start = i + 1;
            break;
        }
    }
    const char *base = path + start;
    return QuCompareText(base, name, QuTextLength(base), false) == 0;
}

void QuToCountedString(const char *text, unsigned char *out)
{
    int32_t n = QuTextLength(text);
    if (n > 255)
        n = 255;
    out[0] = (unsigned char)n;
    QuCopyBytes(out + 1, text, n);
}

int32_t QuCopyBounded(const char *bytes, int32_t count, char *buffer, int32_t capacity)
{
    if (capacity > 0)
        buffer[0] = 0;
    if (count < 0 || (int64_t)count + 1 > capacity)
        return kErrTooLong;
    QuCopyBytes(buffer, bytes, count);
    buffer[count] = 0;
    return 0;
}

int32_t QuParseSigned(const char *text)
{
    // strtol saturates at the width of long, which is 64 bits on some platforms.
    long long value = strtoll(text, NULL, 10);
    if (value > 2147483647LL)
        return 2147483647;
    if (value < -2147483647LL - 1)
        return -2147483647 - 1;
    return (int32_t)value;
}

bool QuSkipBlanksAndSign(const char **text)
{
    const char *p = *text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        p++;
    *text = p;
    return negative;
}

uint32_t QuParseUnsigned(const char *text)
{
    // Behaves as a 32-bit strtoul: overflow gives all bits set, a negative
    // value wraps.
    const char *p = text;
    bool negative = QuSkipBlanksAndSign(&p);
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        value = value * 10 + (uint64_t)(*p - '0');
        if (value > 0xFFFFFFFFull)
            return 0xFFFFFFFFu;
    }
    return negative ? (uint32_t)(0u - (uint32_t)value) : (uint32_t)value;
}

int32_t QuFormatUnsigned(uint32_t value, char *out)
{
    char digits[10];
    int32_t n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int32_t i = 0; i < n; i++)
        out[i] = digits[n - 1 - i];
    out[n] = 0;
    return n;
}

int32_t QuFormatSigned(int32_t value, char *out)
{
    if (value >= 0)
        return QuFormatUnsigned((uint32_t)value, out);
    out[0] = '-';
    return 1 + QuFormatUnsigned(0u - (uint32_t)value, out + 1);
}
