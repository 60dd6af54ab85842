// The old host's start: find file, find script, then again and perform,
// against the simulated host's open files.
#include "support/fixture.h"

#include "frame/plugin_frame.h"
#include "trigger/trigger.h"

namespace {

class HostCallbacksTest : public PluginTest {
protected:
    int16_t StartupVersion() const override { return 49; }

    int32_t Trigger(const std::string &file, const std::string &script,
                    const std::function<void()> &after = nullptr)
    {
        int32_t result = 1;
        HsRunInside([&](HostCallRecord *record) {
            QuUseCallRecord(record);
            result = QuTriggerByHostCallbacks(file.c_str(), script.c_str());
            EXPECT_EQ(Host.record, record) << "the call's own record is current again";
            if (after)
                after();
        });
        ExpectHostRulesKept();
        return result;
    }
};

std::string Kinds(const std::vector<HsCallback> &calls)
{
    static const char *const kNames[] = {"file", "script", "perform", "start"};
    std::string kinds;
    for (const HsCallback &call : calls)
        kinds += std::string(kinds.empty() ? "" : " ") + kNames[call.kind];
    return kinds;
}

TEST_F(HostCallbacksTest, ChecksThenRuns)
{
    const struct {
        std::string file, script;
        bool performFails;
        int32_t result;
        std::string callbacks;
    } cases[] = {
        {"Orders.fp5", "Print", false, 0, "file script file script perform"},
        {"ORDERS.FP5", "print", false, 0, "file script file script perform"},
        {"Invoices.fp5", "Print", false, -4232, "file"},
        {"Orders.fp5", "Mail", false, -4233, "file script"},
        {"Orders.fp5", "Print", true, -4225, "file script file script perform"},
        {"", "Print", false, -50, ""},
        {"Orders.fp5", "", false, -50, ""},
    };
    for (const auto &c : cases) {
        HsOpenFile("Orders.fp5", {"Report", "Print"});
        HsSetPerformFails(c.performFails);
        EXPECT_EQ(Trigger(c.file, c.script), c.result) << c.file << " " << c.script;
        // A wrong reference or identifier passed on would make perform fail.
        EXPECT_EQ(Kinds(HsTakeCallbacks()), c.callbacks) << c.file << " " << c.script;
        EXPECT_EQ(HsTakeStarts().size(), c.result == 0 ? 1u : 0u) << c.file << " " << c.script;
    }
}

TEST_F(HostCallbacksTest, NamesReachTheHostCutTo255Characters)
{
    for (size_t length : {1u, 254u, 255u, 256u, 300u}) {
        std::string file(length, 'f'), script(length, 's');
        file[0] = 'F';
        const size_t cut = length < 255 ? length : 255;
        HsOpenFile(file.substr(0, cut), {script.substr(0, cut)});
        EXPECT_EQ(Trigger(file, script), 0) << length;
        std::vector<HsCallback> calls = HsTakeCallbacks();
        ASSERT_EQ(calls.size(), 5u) << length;
        EXPECT_EQ(calls[0].counted, std::string(1, static_cast<char>(cut)) + file.substr(0, cut)) << length;
        EXPECT_EQ(calls[1].counted, std::string(1, static_cast<char>(cut)) + script.substr(0, cut)) << length;
        ASSERT_EQ(HsTakeStarts().size(), 1u) << length;
        HsCloseFile(file.substr(0, cut));
    }
}

// Nothing can run between the check and the run but the host itself; if it
// loses the file or script there, the start must not count as made.
TEST_F(HostCallbacksTest, LosingTheFileOrScriptBeforeTheRunIsNoStart)
{
    const struct {
        size_t atCallback;
        std::vector<std::string> scriptsLeft; // empty: the file closes
        int32_t result;
    } cases[] = {{2, {}, -4232}, {3, {"Report"}, -4233}};
    for (const auto &c : cases) {
        HsOpenFile("Orders.fp5", {"Print"});
        size_t seen = 0;
        HsSetCallbackHook([&](const HsCallback &) {
            if (seen++ != c.atCallback)
                return;
            if (c.scriptsLeft.empty())
                HsCloseFile("Orders.fp5");
            else
                HsOpenFile("Orders.fp5", c.scriptsLeft);
        });
        EXPECT_EQ(Trigger("Orders.fp5", "Print"), c.result);
        EXPECT_EQ(HsTakeCallbacks().size(), c.atCallback + 1);
        EXPECT_TRUE(HsTakeStarts().empty());
        HsSetCallbackHook(nullptr);
    }
}

TEST_F(HostCallbacksTest, TheStartingScriptMayCallThePlugInAgain)
{
    HsOpenFile("Orders.fp5", {"Print"});
    std::string inner;
    HsSetStartHook([&](const HsScriptStart &) { inner = HsCallFunction(0, "-getversionnumber").text; });
    HostHandle handle = HsNewHostHandle("old");
    // After the start, handle callbacks go through the outer call's record.
    EXPECT_EQ(Trigger("Orders.fp5", "Print", [&] { QuSetResultText("after", handle); }), 0);
    EXPECT_EQ(inner, "1500");
    EXPECT_EQ(HsHandleContent(handle), "after");
    HsDisposeHostHandle(handle);
}

} // namespace
