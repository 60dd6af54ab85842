// Parameter tokens, result texts and handle copies, run inside simulated
// host calls with blocks that move on every lock.
#include "support/fixture.h"
#include "support/prefs_store.h"

#include "frame/plugin_frame.h"

namespace {

class HandlesTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        HsSetStrict(true);
    }

    // Every token of `text` read with `capacity`, and the positions after each.
    std::vector<std::string> Tokens(const std::string &text, int32_t capacity,
                                    std::vector<int32_t> *positions = nullptr)
    {
        std::vector<std::string> tokens;
        HostHandle handle = HsNewHostHandle(text);
        Inside([&] {
            std::vector<char> buffer(static_cast<size_t>(capacity));
            int32_t position = 0;
            for (int guard = 0; position != -1 && guard < 100; guard++) {
                QuReadNextToken(handle, buffer.data(), capacity, &position);
                tokens.push_back(buffer.data());
                if (positions != nullptr)
                    positions->push_back(position);
            }
        });
        HsDisposeHostHandle(handle);
        ExpectHostRulesKept();
        return tokens;
    }

    // The content a writer leaves in a handle that held `before`.
    std::string Written(const std::function<void(HostHandle)> &write, const std::string &before = "old")
    {
        HostHandle handle = HsNewHostHandle(before);
        Inside([&] { write(handle); });
        std::string content = HsHandleContent(handle);
        HsDisposeHostHandle(handle);
        ExpectHostRulesKept();
        return content;
    }
};

typedef std::vector<std::string> Texts;

// The positions after each token move past the token and its separator.
TEST_F(HandlesTest, TokensSplitAtTheWholeSeparator)
{
    const struct {
        std::string separator;
        std::string text;
        Texts tokens;
        std::vector<int32_t> positions = {}; // empty: not checked
    } cases[] = {
        {"|", "a|b|", {"a", "b", ""}},
        {"|", "", {""}, {-1}},
        {"|", "|abc", {"", "abc"}},
        {"|", "one", {"one"}},
        {"|", "a||b", {"a", "", "b"}},
        {"||", "a|b||c", {"a|b", "c"}},
        {"||", "a|||b", {"a", "|b"}},
        {"||", "ab||cd||", {"ab", "cd", ""}, {4, 8, -1}},
        {";;", "x;;-getversionnumber", {"x", "-getversionnumber"}},
        {";;", "x|y", {"x|y"}},
        {"AB", "1ab2AB3", {"1ab2", "3"}}, // case matters
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("'" + c.text + "' split at '" + c.separator + "'");
        PrefsStoreSetText("SeparatorToken", c.separator);
        std::vector<int32_t> positions;
        EXPECT_EQ(Tokens(c.text, 1000, &positions), c.tokens);
        if (!c.positions.empty()) {
            EXPECT_EQ(positions, c.positions);
        }
    }
}

TEST_F(HandlesTest, LongTokensAreCutButSkippedWhole)
{
    std::string longToken(1500, 'x');
    Texts tokens = Tokens(longToken + "|next|" + std::string(999, 'y'), 1000);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0], std::string(999, 'x'));
    EXPECT_EQ(tokens[1], "next");
    EXPECT_EQ(tokens[2], std::string(999, 'y'));
    EXPECT_EQ(Tokens("abcdef", 4), Texts{"abc"});
    EXPECT_EQ(Tokens("abc|d", 1), (Texts{"", ""}));
}

TEST_F(HandlesTest, ResultWriters)
{
    const struct {
        std::function<void(HostHandle)> write;
        std::string expected;
    } cases[] = {
        {[](HostHandle h) { QuSetErrorResult(-50, h); }, "$$-50"},
        {[](HostHandle h) { QuSetErrorResult(0, h); }, "0"},
        {[](HostHandle h) { QuSetErrorResult(10092, h); }, "$$10092"},
        {[](HostHandle h) { QuSetErrorResult(-2147483647 - 1, h); }, "$$-2147483648"},
        {[](HostHandle h) { QuSetResultText("", h); }, ""},
        {[](HostHandle h) { QuSetResultText("hello", h); }, "hello"},
        {[](HostHandle h) { QuSetResultUnsigned(4294967295u, h); }, "4294967295"},
        {[](HostHandle h) { QuSetResultUnsigned(0, h); }, "0"},
        {[](HostHandle h) { QuSetResultNumber(static_cast<int32_t>(0xFFFFFFFFu), h); }, "-1"},
        {[](HostHandle h) { QuSetResultNumber(2147483647, h); }, "2147483647"},
        {[](HostHandle h) { QuStoreHandleBytes("abc", 3, h); }, "abc"},
        {[](HostHandle h) { QuStoreHandleBytes("abc", 0, h); }, "old"},
        {[](HostHandle h) { QuStoreHandleBytes("a\0b", 3, h); }, std::string("a\0b", 3)},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
        EXPECT_EQ(Written(cases[i].write), cases[i].expected) << "case " << i;
}

TEST_F(HandlesTest, CopyRangeOnlyWithinBothHandles)
{
    HostHandle source = HsNewHostHandle("0123456789");
    const struct {
        int32_t from, count, to, destSize;
        std::string expected;
    } cases[] = {
        {2, 3, 1, 5, std::string("o234") + "\xA5"}, // the grown tail is the host's fill
        {0, 10, 0, 10, "0123456789"},
        {7, 3, 0, 3, "789"},
        {0, 0, 0, 5, "old"},  // count 0
        {8, 3, 0, 5, "old"},  // one byte past the source
        {0, 3, 3, 5, "old"},  // past the destination
        {0, 3, 0, 0, "old"},  // no destination size
        {-1, 3, 0, 5, "old"}, // negative offset
    };
    for (const auto &c : cases) {
        std::string got = Written(
            [&](HostHandle dest) { QuCopyHandleRange(source, c.from, c.count, dest, c.to, c.destSize); });
        EXPECT_EQ(got, c.expected) << "from " << c.from << " count " << c.count << " to " << c.to;
    }
    HsDisposeHostHandle(source);
}

TEST_F(HandlesTest, CopyRangeWithinOneHandleOverlaps)
{
    std::string got = Written([](HostHandle h) { QuCopyHandleRange(h, 0, 4, h, 2, 6); }, "abcdef");
    EXPECT_EQ(got, "ababcd");
}

} // namespace
