// The new host's start: names wrapped in text objects of the host's text
// library and handed to the start-script callback.
#include <filesystem>
#include <map>

#include "support/fixture.h"

#include "frame/plugin_frame.h"
#include "trigger/trigger.h"

namespace {

const std::string kBuildDir = ROUSER_BUILD_DIR;

class StartScriptTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        HsOpenFile("Orders.fp5", {"Print", "Report"});
    }

    int32_t Start(const std::string &file, const std::string &script,
                  const std::function<void()> &after = nullptr)
    {
        int32_t result = 1;
        HsRunInside([&](HostCallRecord *record) {
            QuUseCallRecord(record);
            result = QuTriggerByStartScript(record, file.c_str(), script.c_str());
            EXPECT_EQ(Host.record, record) << "the call's own record is current again";
            if (after)
                after();
        });
        ExpectHostRulesKept();
        EXPECT_EQ(HsTextObjectsAlive(), HsTextLibraryLoaded() ? 0 : -1) << "text objects left";
        return result;
    }
};

// The library's calls as "new#1 set#1=Orders.fp5 del#1": objects numbered
// as they are made, #0 for none. Every call must get a status record of
// (1, 0) and a live object, every assign the encoding 4.
std::string Describe(const std::vector<HsTextLogEntry> &log)
{
    static const char *const kCalls[] = {"?", "new", "set", "del"};
    std::map<const void *, int> ids; // addresses may come again
    int made = 0;
    std::string text;
    for (const HsTextLogEntry &e : log) {
        if (e.call == kHsTextConstruct && e.object != nullptr)
            ids[e.object] = ++made;
        text += std::string(text.empty() ? "" : " ") + kCalls[e.call] + "#" +
                std::to_string(e.object != nullptr ? ids[e.object] : 0);
        if (e.call == kHsTextAssign) {
            text += std::string("=") + e.text;
            EXPECT_EQ(e.encoding, 4);
        }
        EXPECT_TRUE(e.statusGiven && e.status[0] == 1 && e.status[1] == 0) << text;
        EXPECT_TRUE(e.known || e.object == nullptr) << text;
    }
    return text;
}

TEST_F(StartScriptTest, PassesTwoFreshTextObjectsLoadingTheLibraryOnce)
{
    EXPECT_FALSE(HsTextLibraryLoaded());
    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(Start("Orders.fp5", "Print"), 0);
        std::vector<HsCallback> calls = HsTakeCallbacks();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].fileText, "Orders.fp5");
        EXPECT_EQ(calls[0].scriptText, "Print");
        EXPECT_EQ(calls[0].control, 3);
        EXPECT_EQ(calls[0].parameter, nullptr);
        EXPECT_EQ(HsTakeStarts().size(), 1u);
    }
    // Read only now: a reload between the starts would have lost the first.
    EXPECT_EQ(Describe(HsTakeTextCalls()), "new#1 new#2 set#1=Orders.fp5 set#2=Print del#1 del#2 "
                                           "new#3 new#4 set#3=Orders.fp5 set#4=Print del#3 del#4");
    HsShutdown();
    EXPECT_FALSE(HsTextLibraryLoaded());
}

TEST_F(StartScriptTest, OnlyTheLow16BitsOfTheAnswerCount)
{
    const struct {
        std::optional<int32_t> answer; // none: the host looks the names up
        std::string file, script;
        int32_t result;
    } cases[] = {
        {std::nullopt, "orders.FP5", "report", 0},
        {std::nullopt, "Invoices.fp5", "Print", kHsFileMissing},
        {std::nullopt, "Orders.fp5", "Mail", kHsScriptMissing},
        {std::nullopt, "Orders.fp5", "", kHsScriptMissing},
        {0, "Orders.fp5", "", 0},
        {0x00010000, "Orders.fp5", "Print", 0},
        {0x0001FFFF, "Orders.fp5", "Print", -1},
        {0x00008000, "Orders.fp5", "Print", -32768},
        {0x7FFF7FFF, "Orders.fp5", "Print", 32767},
        {static_cast<int32_t>(0xFFFF0005u), "Orders.fp5", "Print", 5},
    };
    for (const auto &c : cases) {
        HsSetStartScriptAnswer(c.answer);
        EXPECT_EQ(Start(c.file, c.script), c.result) << c.file << " " << c.script;
        std::vector<HsCallback> calls = HsTakeCallbacks();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].scriptText, c.script);
        EXPECT_EQ(HsTakeStarts().size(), c.result == 0 ? 1u : 0u) << c.file << " " << c.script;
    }
}

// Each start tries to load the library again until it has all three
// exports; one lacking any is let go at once.
TEST_F(StartScriptTest, AnUnusableLibraryIsSoughtAgainAtEveryStart)
{
    const std::string folder = FreshFolder("late-text-library");
    for (const char *missing : {"", "constructor", "delete", "assign"}) {
        HsSetTextLibraryPath(*missing == 0
                                 ? folder + "FMWrapper.dll"
                                 : kBuildDir + "/tests/textlib-missing-" + missing + "/FMWrapper.dll");
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(Start("Orders.fp5", "Print"), -1) << missing;
            EXPECT_FALSE(HsTextLibraryLoaded()) << missing;
        }
        EXPECT_TRUE(HsTakeCallbacks().empty()) << missing;
        if (*missing == 0) // a library that turns up late
            std::filesystem::copy_file(kBuildDir + "/FMWrapper.dll", folder + "FMWrapper.dll");
        else
            HsSetTextLibraryPath(""); // the complete one, beside the program
        EXPECT_EQ(Start("Orders.fp5", "Print"), 0) << missing;
        EXPECT_EQ(HsTakeCallbacks().size(), 1u) << missing;
        HsShutdown();
        ASSERT_EQ(HsStartup(50), 4);
    }
}

TEST_F(StartScriptTest, NoObjectNoStart)
{
    ASSERT_EQ(Start("Orders.fp5", "Print"), 0); // loads the library
    HsTakeCallbacks();
    const std::string expected[] = {"new#0 new#1 del#1", "new#1 new#0 del#1"};
    for (int failing : {1, 2}) {
        HsTakeTextCalls();
        ASSERT_TRUE(HsFailTextConstructor(failing));
        EXPECT_EQ(Start("Orders.fp5", "Print"), -108);
        EXPECT_EQ(Describe(HsTakeTextCalls()), expected[failing - 1]);
    }
    EXPECT_TRUE(HsTakeCallbacks().empty());
}

TEST_F(StartScriptTest, TheStartingScriptMayStartAnother)
{
    std::string inner;
    int32_t nested = 1;
    HsSetStartHook([&](const HsScriptStart &start) {
        if (start.script != "Print")
            return;
        inner = HsCallFunction(0, "-getversionnumber").text;
        HsRunInside([&](HostCallRecord *record) {
            // As the entry point does for a nested call.
            HostCallRecord *outer = QuUseCallRecord(record);
            nested = QuTriggerByStartScript(record, "Orders.fp5", "Report");
            QuUseCallRecord(outer);
        });
    });
    HostHandle handle = HsNewHostHandle("old");
    // After the start, handle callbacks go through the outer call's record.
    EXPECT_EQ(Start("Orders.fp5", "Print", [&] { QuSetResultText("after", handle); }), 0);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(inner, "1500");
    EXPECT_EQ(HsHandleContent(handle), "after");
    HsDisposeHostHandle(handle);
    EXPECT_EQ(Describe(HsTakeTextCalls()),
              "new#1 new#2 set#1=Orders.fp5 set#2=Print "
              "new#3 new#4 set#3=Orders.fp5 set#4=Report del#3 del#4 del#1 del#2");
}

} // namespace
