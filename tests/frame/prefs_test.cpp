// Preferences as a user or another program sees them: through the store
// itself (the registry on Windows), changed between two function calls.
#include "frame/plugin_frame.h"
#include "support/fixture.h"
#include "support/message_boxes.h"
#include "support/prefs_store.h"

#include <chrono>
#include <functional>
#include <thread>

namespace {

enum { kVersion = 0 };

class PrefsTest : public PluginTest {
protected:
    std::string Version(const std::string &parameter)
    {
        HsCallResult result = HsCallFunction(kVersion, parameter);
        ExpectHostRulesKept();
        return result.text;
    }

    void ExpectDefaults()
    {
        std::string text;
        uint32_t number = 99;
        EXPECT_TRUE(PrefsStoreGetText("SeparatorToken", &text));
        EXPECT_EQ(text, "|");
        EXPECT_TRUE(PrefsStoreGetText("DefSeparatorToken", &text));
        EXPECT_EQ(text, "|");
        EXPECT_TRUE(PrefsStoreGetNumber("Version", &number));
        EXPECT_EQ(number, 1u);
        EXPECT_TRUE(PrefsStoreGetNumber("isOneTimeSeparator", &number));
        EXPECT_EQ(number, 0u);
    }
};

// With "|" the option stands in the second token and is not looked at.
const char kSplitByBar[] = "x|-getversionnumber";
const char kSplitBySemis[] = "x;;-getversionnumber";
const char kVersionText[] = "Rouser Plug-In 1.5.1";

TEST_F(PrefsTest, FirstCallCreatesTheKeyWithDefaults)
{
    EXPECT_FALSE(PrefsStoreKeyExists()) << "start-up alone must not touch the preferences";
    EXPECT_EQ(Version(kSplitByBar), kVersionText);
    EXPECT_TRUE(PrefsStoreKeyExists());
    ExpectDefaults();
    EXPECT_EQ(Version(kSplitBySemis), "1500");
}

TEST_F(PrefsTest, SeparatorChangedBetweenCallsTakesEffectAtTheNext)
{
    EXPECT_EQ(Version(kSplitBySemis), "1500");
    PrefsStoreSetText("SeparatorToken", ";;");
    EXPECT_EQ(Version(kSplitBySemis), kVersionText);
    EXPECT_EQ(Version(kSplitByBar), "1500");
    PrefsStoreSetText("SeparatorToken", "|");
    EXPECT_EQ(Version(kSplitByBar), kVersionText);
}

std::string SplitBy(const std::string &separator)
{
    return "x" + separator + "-getversionnumber";
}

// Unchanged preferences are not read again, and yet every change shows at
// the next call: a separator rewritten in place, a value removed (created
// again, empty), the separator emptied or the whole key removed (defaults).
TEST_F(PrefsTest, UnchangedPrefsAreNotReadAgainYetEveryChangeShowsAtTheNextCall)
{
    const struct {
        const char *change;
        std::function<void()> make;
        std::string separator;
    } steps[] = {
        {"separator set", [] { PrefsStoreSetText("SeparatorToken", ";;"); }, ";;"},
        {"separator rewritten", [] { PrefsStoreSetText("SeparatorToken", "#"); }, "#"},
        {"value removed", [] { PrefsStoreDelete("Version"); }, "#"},
        {"separator emptied", [] { PrefsStoreSetText("SeparatorToken", ""); }, "|"},
        {"separator set again", [] { PrefsStoreSetText("SeparatorToken", "@@"); }, "@@"},
        {"key removed", [] { PrefsStoreUseFresh("UnchangedPrefsKeyRemoved"); }, "|"},
    };
    std::string current = "|";
    Version("");
    for (const auto &step : steps) {
        // Past the step of the clock in which the store last changed, the
        // plug-in keeps the key's stamp and reads nothing more.
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        Version("");
        const uint32_t loads = PrefsLoadCount;
        EXPECT_EQ(Version(SplitBy(current)), kVersionText) << step.change;
        EXPECT_EQ(PrefsLoadCount, loads) << "unchanged, before: " << step.change;
        step.make();
        EXPECT_EQ(Version(SplitBy(step.separator)), kVersionText) << step.change;
        EXPECT_EQ(PrefsLoadCount, loads + 1) << step.change;
        current = step.separator;
    }
    uint32_t number = 99;
    EXPECT_TRUE(PrefsStoreGetNumber("Version", &number));
    EXPECT_EQ(number, 1u) << "the defaults came back with the key";
}

TEST_F(PrefsTest, EmptyOrOversizedSeparatorRestoresAllDefaults)
{
    for (const std::string &bad : {std::string(), std::string(64, ';')}) {
        PrefsStoreSetText("SeparatorToken", ";;");
        PrefsStoreSetText("DefSeparatorToken", "##");
        Version("");
        PrefsStoreSetText("SeparatorToken", bad);
        EXPECT_EQ(Version(kSplitByBar), kVersionText) << "separator of " << bad.size();
        ExpectDefaults();
    }
    // 63 characters still fit.
    PrefsStoreSetText("SeparatorToken", std::string(63, ';'));
    EXPECT_EQ(Version("x" + std::string(63, ';') + "-getversionnumber"), kVersionText);
}

TEST_F(PrefsTest, MissingValuesAreCreatedEmptyNotWithDefaults)
{
    PrefsStoreSetText("SeparatorToken", ";;");
    PrefsStoreSetText("DefSeparatorToken", "##");
    PrefsStoreDelete("DefSeparatorToken");
    PrefsStoreDelete("isOneTimeSeparator");
    PrefsStoreDelete("Version");
    Version("");
    std::string text = "stale";
    uint32_t number = 99;
    EXPECT_TRUE(PrefsStoreGetText("DefSeparatorToken", &text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(PrefsStoreGetNumber("isOneTimeSeparator", &number));
    EXPECT_EQ(number, 0u);
    EXPECT_TRUE(PrefsStoreGetNumber("Version", &number));
    EXPECT_EQ(number, 0u);
    EXPECT_TRUE(PrefsStoreGetText("SeparatorToken", &text));
    EXPECT_EQ(text, ";;");
}

TEST_F(PrefsTest, FailedWriteIsShownAndTheCallStillAnswers)
{
    Version("");
    PrefsStoreSetText("SeparatorToken", ";;");
    PrefsStoreBreakWrites("isOneTimeSeparator");
    BoxesStartWatching();
    std::string answer = Version(kSplitBySemis);
    std::vector<ShownBox> boxes = BoxesStopWatching();
    PrefsStoreMendWrites();
    EXPECT_EQ(answer, kVersionText);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Rouser Plug-In Classic");
    const std::string head = " error number ";
    ASSERT_GT(boxes[0].text.size(), head.size() + 2);
    EXPECT_EQ(boxes[0].text.substr(0, head.size()), head);
    std::string number = boxes[0].text.substr(head.size(), boxes[0].text.size() - head.size() - 2);
    EXPECT_EQ(boxes[0].text.substr(boxes[0].text.size() - 2), "  ");
    EXPECT_NE(number.find_first_of("123456789"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << boxes[0].text;
}

} // namespace
