// Options and text routines: what it means that an option is present and
// what its number or quoted text is.
#include <gtest/gtest.h>

#include <string>

#include "frame/plugin_frame.h"

namespace {

TEST(Options, PresenceIgnoresCaseAndSurroundings)
{
    const struct {
        const char *text, *option;
        bool present;
    } cases[] = {
        {"xx-GetVersionNumberyy", "-getversionnumber", true},
        {"-getversionnumber", "-GETVERSIONNUMBER", true},
        {"-getversion", "-getversionnumber", false},
        {"", "-x", false},
        {"-returnSpeedTest_ElapsedTicks", "-returnspeedtest_elapsedticks", true},
        // Only A to Z fold: bytes above 127 never match their other case.
        {"-caf\xC9", "-caf\xE9", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QuHasOption(c.text, c.option), c.present) << c.text << " / " << c.option;
}

// The same, but a quoted value is the value's own text: what it holds is no
// option, up to its closing quote or, without one, the end.
TEST(Options, UnquotedPresenceSkipsQuotedValues)
{
    const struct {
        const char *text;
        bool present;
    } cases[] = {
        {"-tls -closeportafter=\"x\"", true},
        {"-closeportafter=\"x\" -TLS", true},
        {"-closeportafter=\"-tls\"", false},
        {"-closeportafter=\"-tls", false},
        {"-closeportafter=\"a\" \"-tls\" -x", false},
        {"-closeportafter=\"a\"-tls\"", true},
        {"xx-tlsyy", true},
        {"-tl", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QuHasUnquotedOption(c.text, "-tls"), c.present) << c.text;
}

TEST(Options, NumbersFollowTheOptionUpToTheNextDash)
{
    const struct {
        const char *text;
        bool present;
        int32_t value;
    } cases[] = {
        {"-portnumber=2000", true, 2000},
        {"-portnumber 2000 -x", true, 2000},
        {"-portnumber:abc2000def", true, 2000},
        {"-PortNumber=7 8", true, 7},
        {"-portnumber -5", false, 0},
        {"-portnumber", false, 0},
        {"-portnumber=99999999999", true, 2147483647},
        {"-portnumber=", false, 0},
        {"-other=5 -portnumber", false, 0},
        {"-portnumber=0042", true, 42},
    };
    for (const auto &c : cases) {
        int32_t value = -1;
        EXPECT_EQ(QuGetOptionNumber(c.text, "-portnumber", &value), c.present) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(Options, QuotedTextRunsToTheQuoteOrTheEnd)
{
    const struct {
        const char *text, *value;
    } cases[] = {
        {"-closeportafter=\"\"", ""},
        {"-closeportafter=\"</html>\" more", "</html>"},
        {"-CLOSEPORTAFTER=\"abc", "abc"},
        {"-closeportafter=abc\"", ""}, // no opening quote: not this option
    };
    for (const auto &c : cases) {
        char out[100] = "stale";
        const char pattern[] = "-closeportafter=\"";
        QuGetTextAfter(c.text, QuTextLength(c.text), pattern, QuTextLength(pattern), '"', 0, 1, false, out,
                       sizeof out);
        EXPECT_STREQ(out, c.value) << c.text;
    }
    char small[4];
    QuGetTextAfter("k=abcdef", 8, "k=", 2, '"', 0, 1, true, small, sizeof small);
    EXPECT_STREQ(small, "abc");
}

TEST(Text, FindCountsOverlappingOccurrences)
{
    EXPECT_EQ(QuFindText("aaa", 3, "aa", 2, 0, 2, true), 1);
    EXPECT_EQ(QuFindText("aaa", 3, "aa", 2, 0, 3, true), -1);
    EXPECT_EQ(QuFindText("abAB", 4, "ab", 2, 1, 1, false), 2);
    EXPECT_EQ(QuFindText("abAB", 4, "ab", 2, 1, 1, true), -1);
    EXPECT_EQ(QuFindText("ab", 2, "abc", 3, 0, 1, true), -1);
}

TEST(Text, CompareIsSignedAndBounded)
{
    EXPECT_EQ(QuCompareText("abc", "ABD", 2, false), 0);
    EXPECT_EQ(QuCompareText("abc", "ABD", 3, false), -1);
    EXPECT_EQ(QuCompareText("abc", "ABD", 2, true), 1);
    EXPECT_EQ(QuCompareText("x", "y", 0, true), 0);
    // Bytes above 127 compare as negative numbers.
    EXPECT_EQ(QuCompareText("\xE9", "a", 1, false), -1);
    EXPECT_EQ(QuCompareText("\xC9", "\xE9", 1, false), -1);
}

TEST(Text, FieldsOfAPlainText)
{
    const struct {
        const char *text, *delimiter;
        int32_t max;
        std::vector<std::string> fields;
    } cases[] = {
        {"a,b,,c", ",", 10, {"a", "b", "", "c"}},
        {"a,b,", ",", 10, {"a", "b", ""}},
        {"abcdef::g", "::", 3, {"abc", "g"}},
        {"", ",", 10, {""}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> fields;
        char out[16];
        int32_t position = 0;
        for (int guard = 0; position != -1 && guard < 20; guard++) {
            QuNextField(c.text, c.delimiter, out, c.max, &position);
            fields.push_back(out);
        }
        EXPECT_EQ(fields, c.fields) << c.text;
    }
}

TEST(Text, PathsAndNames)
{
    const struct {
        const char *path, *stripped;
    } strips[] = {
        {"C:\\dir.old\\file", "C:\\dir"},
        {".profile", ".profile"},
        {"Contacts.fp5", "Contacts"},
        {"a.b.c", "a.b"},
        {"", ""},
    };
    for (const auto &c : strips) {
        char text[64];
        QuCopyText(text, c.path);
        QuStripExtension(text);
        EXPECT_STREQ(text, c.stripped) << c.path;
    }
    const struct {
        const char *path, *name;
        bool matches;
    } names[] = {
        {"C:\\Data\\Contacts.fp5", "Contacts.fp5", true},
        {"C:\\Data\\Contacts.fp5", "contacts", true},
        {"C:\\Data\\Con.fp5", "Contacts", true}, // the base name need only begin the name
        {"C:\\Data\\Contacts.fp5", "Con", false},
        {"C:\\Data\\", "anything", true}, // an empty base name matches every name
        {"Contacts", "Contacts", true},
    };
    for (const auto &c : names) {
        char path[64];
        QuCopyText(path, c.path);
        EXPECT_EQ(QuBaseNameMatches(path, c.name), c.matches) << c.path << " / " << c.name;
    }
}

TEST(Text, CountedStringsAndBoundedCopies)
{
    unsigned char counted[256];
    std::string long300(300, 'q');
    QuToCountedString(long300.c_str(), counted);
    EXPECT_EQ(counted[0], 255);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(counted + 1), 255), std::string(255, 'q'));
    QuToCountedString("", counted);
    EXPECT_EQ(counted[0], 0);

    char buffer[16] = "stale";
    EXPECT_EQ(QuCopyBounded("0123456789", 10, buffer, 10), -207);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(QuCopyBounded("0123456789", 10, buffer, 11), 0);
    EXPECT_STREQ(buffer, "0123456789");
}

TEST(Text, DecimalConversions)
{
    const struct {
        const char *text;
        int32_t signedValue;
        uint32_t unsignedValue;
    } cases[] = {
        {"123", 123, 123u},
        {"  +7x", 7, 7u},
        {"-5", -5, 4294967291u},
        {"99999999999", 2147483647, 4294967295u},
        {"-99999999999", -2147483647 - 1, 4294967295u},
        {"4294967295", 2147483647, 4294967295u},
        {"abc", 0, 0u},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(QuParseSigned(c.text), c.signedValue) << c.text;
        EXPECT_EQ(QuParseUnsigned(c.text), c.unsignedValue) << c.text;
    }
}

} // namespace
