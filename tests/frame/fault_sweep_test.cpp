// Fails every fallible host callback of an operation in turn: whatever
// fails, no handle stays locked, nothing leaks, and the host's rules hold.
#include "support/fixture.h"

#include "frame/plugin_frame.h"

namespace {

class FaultSweepTest : public PluginTest {
protected:
    // Runs `operation` once per fallible callback it makes, failing that one.
    void Sweep(const char *name, const std::function<void()> &operation)
    {
        int64_t n = 1;
        const int64_t live = HsLiveHandles();
        for (; n < 10000; n++) {
            HsSetStrict(n % 2 == 0);
            HsFailNthFallible(n);
            operation();
            bool injected = HsFaultInjected();
            HsFailNthFallible(0);
            std::vector<std::string> violations = HsTakeViolations();
            for (const std::string &v : violations)
                ADD_FAILURE() << name << ", failing callback " << n << ": " << v;
            EXPECT_EQ(HsLockedHandles(), 0) << name << ", failing callback " << n;
            EXPECT_EQ(HsLiveHandles(), live) << name << ", failing callback " << n;
            if (!injected)
                break;
        }
        EXPECT_GT(n, 1) << name << " made no fallible callback";
    }
};

TEST_F(FaultSweepTest, FrameOperations)
{
    HostHandle source = HsNewHostHandle("alpha|beta|gamma");
    HostHandle dest = HsNewHostHandle("0123456789");
    Sweep("result text", [&] { Inside([&] { QuSetResultText("some result", dest); }); });
    Sweep("error result", [&] { Inside([&] { QuSetErrorResult(-4228, dest); }); });
    Sweep("handle bytes", [&] { Inside([&] { QuStoreHandleBytes("bytes", 5, dest); }); });
    Sweep("copy range", [&] { Inside([&] { QuCopyHandleRange(source, 6, 4, dest, 2, 8); }); });
    Sweep("tokens", [&] {
        Inside([&] {
            char token[8];
            int32_t position = 0;
            for (int i = 0; i < 5 && position != -1; i++)
                QuReadNextToken(source, token, sizeof token, &position);
        });
    });
    Sweep("new handle", [&] {
        Inside([&] {
            int32_t status;
            HostHandle h = QuNewHandle(16, &status);
            if (status == 0) {
                char *data;
                if (QuLockHandle(h, &data) == 0)
                    QuUnlockHandle(h);
                QuDisposeHandle(h);
            } else {
                EXPECT_EQ(h, nullptr);
            }
        });
    });
    HsDisposeHostHandle(source);
    HsDisposeHostHandle(dest);
}

TEST_F(FaultSweepTest, ExternalFunctionsAndLifecycle)
{
    Sweep("version", [] { HsCallFunction(0, "-getversionnumber"); });
    Sweep("version, trigger options", [] { HsCallFunction(0, "-returnSpeedTest_ElapsedTicks"); });
    HsShutdown();
    Sweep("start-up and shutdown", [] {
        EXPECT_EQ(HsStartup(50), 4);
        HsShutdown();
    });
    HsStartup(50);
}

// A failed result write leaves the memory error as the answer rather than
// a stale or half-written one, and a failed token read says so, gives an
// empty token and does not move on.
TEST_F(FaultSweepTest, FailuresLeaveStateAsFound)
{
    HostHandle parameter = HsNewHostHandle("abc|def");
    Inside([&] {
        char token[8] = "stale";
        int32_t position = 4;
        HsFailNthFallible(1); // the lock of the parameter
        EXPECT_EQ(QuReadNextToken(parameter, token, sizeof token, &position), kErrMemory);
        EXPECT_TRUE(HsFaultInjected());
        EXPECT_STREQ(token, "");
        EXPECT_EQ(position, 4);
        HsFailNthFallible(0);
        QuReadNextToken(parameter, token, sizeof token, &position);
        EXPECT_STREQ(token, "def");
    });
    HsCallResult result;
    HsFailNthFallible(1); // reloading the preferences makes no handle call: this is the set size
    result = HsCallFunction(0, "", "before");
    EXPECT_EQ(result.text, "$$-108");
    HsFailNthFallible(2); // the lock after the resize
    result = HsCallFunction(0, "", "before");
    EXPECT_EQ(result.text, "$$-108") << "no half-written answer";
    HsFailNthFallible(0);
    HsDisposeHostHandle(parameter);
}

} // namespace
