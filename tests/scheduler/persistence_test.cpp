// The event file through the host's calls: what shutdown writes, what
// start-up makes of the files it finds, and that a failing write or a
// memory error never costs the old file, a handle or the counters.
#include "support/fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "scheduler/event_file.h"
#include "scheduler/event_table.h"
#include "trigger/trigger.h"

namespace {

namespace fs = std::filesystem;

const std::string kHeader = "#Quil v1.0\n";
const std::string kFile = "RousEvn7.Qul"; // host version 50, window kind 0
const int64_t kNow1970 = 1796083200;      // a local wall-clock second in 2026
const uint32_t kNow = static_cast<uint32_t>(kNow1970 + 2082844800);

struct Entry {
    uint32_t due;
    int32_t state;
    uint32_t id;
    int32_t flags;
    std::string text;
    uint32_t reserved = 0;
    char marker = '*';
};

std::string LE32(uint32_t v)
{
    std::string bytes;
    for (int i = 0; i < 4; i++)
        bytes += static_cast<char>(v >> (8 * i));
    return bytes;
}

std::string Bytes(const Entry &e)
{
    return std::string(1, e.marker) + LE32(e.due) + LE32(static_cast<uint32_t>(e.state)) + LE32(e.id) +
           LE32(static_cast<uint32_t>(e.flags)) + LE32(e.reserved) +
           LE32(static_cast<uint32_t>(e.text.size())) + e.text + LE32(0) + "\n";
}

std::string FileOf(const std::vector<Entry> &entries)
{
    std::string bytes = kHeader;
    for (const Entry &e : entries)
        bytes += Bytes(e);
    return bytes;
}

class PersistenceTest : public PluginTest {
protected:
    int16_t StartupVersion() const override { return 0; }
    void SetUp() override
    {
        PluginTest::SetUp();
        std::string error;
        ASSERT_TRUE(HsSetWindowClasses({"FMPRO7APP"}, &error)) << error; // window kind 0
        HsSetClockSeconds(kNow1970);
        HsSetStrict(true);
    }

    void Put(const std::string &bytes, const std::string &name = kFile)
    {
        std::ofstream(hostFolder + name, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string Get(const std::string &name = kFile)
    {
        std::ifstream in(hostFolder + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::set<std::string> Files()
    {
        std::set<std::string> names;
        for (const fs::directory_entry &e : fs::directory_iterator(hostFolder))
            names.insert(e.path().filename().string());
        return names;
    }

    void Inside(const std::function<void()> &body)
    {
        HsRunInside([&](HostCallRecord *record) {
            CurrentCallRecord = record;
            body();
        });
    }
    uint32_t Insert(uint32_t due, int32_t flags, const std::string &text)
    {
        uint32_t id = 0;
        Inside([&] {
            EXPECT_EQ(QuInsertEvent(due, flags, text.data(), static_cast<int32_t>(text.size()), &id), 0);
        });
        return id;
    }
};

TEST_F(PersistenceTest, LayoutIsByteExact)
{
    ASSERT_EQ(HsStartup(50), 4);
    NextEventID = 0x01020A0B;
    Insert(0x11223344, 1, "F|S");
    HsShutdown();
    EXPECT_EQ(Get(), kHeader + std::string("*\x44\x33\x22\x11"
                                           "\x01\0\0\0"
                                           "\x0B\x0A\x02\x01"
                                           "\x01\0\0\0"
                                           "\0\0\0\0"
                                           "\x03\0\0\0"
                                           "F|S"
                                           "\0\0\0\0\n",
                                           33));
}

// Loading and saving again gives the same bytes, reserved bytes included.
TEST_F(PersistenceTest, FileSurvivesARestartUnchanged)
{
    const std::vector<Entry> entries = {
        {kNow + 100, 1, 6000, 0, "A|One|x|free", 0xDEADBEEF},
        {kNow - 999, 2, 6001, 0, std::string("B|\0|\n", 5)},
        {kNow - 5, 4, 5999, 0, "C|Three", 7},
        {kNow, 3, 6003, 4, ""},
    };
    Put(FileOf(entries));
    ASSERT_EQ(HsStartup(50), 4);
    EXPECT_EQ(EventCount, 4);
    HsShutdown();
    EXPECT_EQ(Get(), FileOf(entries));
}

TEST_F(PersistenceTest, NextIDFollowsTheLargestLoaded)
{
    const struct {
        const char *what;
        bool file;
        std::vector<uint32_t> ids;
        uint32_t first;
    } cases[] = {
        {"no file", false, {}, 4242},
        {"header only", true, {}, 4243},
        {"largest 5000", true, {4300, 5000, 4999}, 5001},
        {"all below 4242", true, {7, 4000}, 4243},
    };
    for (const auto &c : cases) {
        std::vector<Entry> entries;
        for (uint32_t id : c.ids)
            entries.push_back({kNow + 60, 1, id, 0, "F|S"});
        fs::remove(hostFolder + kFile);
        if (c.file)
            Put(FileOf(entries));
        NextEventID = kFirstEventID;
        ASSERT_EQ(HsStartup(50), 4);
        EXPECT_EQ(Insert(kNow + 60, 0, "F|S"), c.first) << c.what;
        HsShutdown();
    }
}

TEST_F(PersistenceTest, OverdueEventsLoadAsMissedUnlessFlagged)
{
    const struct {
        uint32_t due;
        int32_t flags, state, loaded;
    } cases[] = {
        {kNow - 86400, 0, 1, 4}, // due yesterday
        {kNow - 86400, 1, 1, 1}, // asked to fire after a restart
        {kNow - 1, 3, 1, 1},     // the bit counts, not the value
        {kNow, 0, 1, 1}, // due this very second
        {kNow + 60, 0, 1, 1},
        {kNow - 50, 0, 2, 2}, // triggered and silent events keep their state
        {kNow - 50, 4, 3, 3},
    };
    std::vector<Entry> file, loaded;
    for (const auto &c : cases) {
        file.push_back({c.due, c.state, 7000 + static_cast<uint32_t>(file.size()), c.flags, "F|S"});
        loaded.push_back(file.back());
        loaded.back().state = c.loaded;
    }
    Put(FileOf(file));
    ASSERT_EQ(HsStartup(50), 4);
    EXPECT_EQ(ActiveEventCount, 4);
    EXPECT_EQ(EarliestDueTime, kNow - 86400); // the flagged overdue event fires first
    HsShutdown();
    EXPECT_EQ(Get(), FileOf(loaded));
}

TEST_F(PersistenceTest, DamagedFilesAreDiscardedWhole)
{
    const std::string good = Bytes({kNow + 60, 1, 6000, 0, "Good|Event"});
    const std::string next = Bytes({kNow + 90, 1, 6001, 0, "Next|Event"});
    std::string badMarker = next;
    badMarker[0] = '+';
    std::string tooLong = next.substr(0, 21) + LE32(64001) + std::string(64001, 't') + LE32(0) + "\n";
    const struct {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"wrong header", "#Quil v1.1\n" + good},
        {"header in other case", "#QUIL V1.0\n" + good},
        {"truncated header", kHeader.substr(0, 10)},
        {"bad marker", kHeader + good + badMarker},
        {"text length over 64000", kHeader + good + tooLong},
        {"truncated text", kHeader + good + next.substr(0, 30)},
        {"truncated entry header", kHeader + good + next.substr(0, 15)},
        {"truncated length", kHeader + good + next.substr(0, 23)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Put(c.bytes);
        ASSERT_EQ(HsStartup(50), 4);
        EXPECT_EQ(EventCount, 0);
        EXPECT_EQ(ActiveEventCount, 0);
        EXPECT_EQ(EarliestDueTime, kNoDueTime);
        EXPECT_EQ(HsLiveHandles(), 1) << "only the table is held";
        HsShutdown();
        EXPECT_EQ(HsLiveHandles(), 0);
        EXPECT_EQ(Get(), kHeader) << "overwritten at shutdown";
    }
}

TEST_F(PersistenceTest, EmptyTableReplacesALongerFile)
{
    Put(FileOf({{kNow + 60, 1, 6000, 0, "A|B"}, {kNow + 61, 1, 6001, 0, "C|D"}}));
    ASSERT_EQ(HsStartup(50), 4);
    ASSERT_EQ(EventCount, 2);
    Inside([] { QuDeleteAllEvents(); });
    HsShutdown();
    EXPECT_EQ(Get(), kHeader);
}

TEST_F(PersistenceTest, FileNameFollowsHostVersionAndWindowKind)
{
    const struct {
        int16_t version;
        int32_t kind;
        const char *name;
    } cases[] = {
        {14, 0, "RousEvn5.Qul"}, {50, 0, "RousEvn7.Qul"}, {49, 0, "RousEvn3.Qul"},
        {14, 1, "RousEvR5.Qul"}, {50, 1, "RousEvR7.Qul"}, {51, 1, "RousEvR3.Qul"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(HsStartup(c.version), 4);
        HostWindowKind = c.kind;
        HsShutdown();
        EXPECT_EQ(Files(), std::set<std::string>{c.name}) << "version " << c.version << ", kind " << c.kind;
        fs::remove(hostFolder + c.name);
    }
    // Each generation reads only its own file.
    Put(FileOf({{kNow + 60, 1, 6000, 0, "A|B"}}), "RousEvn5.Qul");
    ASSERT_EQ(HsStartup(50), 4);
    EXPECT_EQ(EventCount, 0);
    HsShutdown();
    ASSERT_EQ(HsStartup(14), 4);
    EXPECT_EQ(EventCount, 1);
}

TEST_F(PersistenceTest, EventsBeyond64000BytesAreNotSaved)
{
    const struct {
        std::vector<size_t> lengths;
        size_t saved;
    } cases[] = {
        {{63959}, 1}, // exactly 64000 bytes
        {{63960}, 0},
        {{20000, 20000, 23899}, 3},
        {{20000, 20000, 23900, 10}, 2}, // nothing after the first that overflows
    };
    for (const auto &c : cases) {
        fs::remove(hostFolder + kFile);
        ASSERT_EQ(HsStartup(50), 4);
        std::vector<Entry> expected;
        for (size_t length : c.lengths) {
            std::string text(length, 'x');
            uint32_t id = Insert(kNow + 60, 0, text);
            if (expected.size() < c.saved)
                expected.push_back({kNow + 60, 1, id, 0, text});
        }
        HsShutdown();
        EXPECT_EQ(HsLiveHandles(), 0) << c.lengths.size() << " events";
        EXPECT_TRUE(Get() == FileOf(expected)) << c.saved << " of " << c.lengths.size() << " saved";
    }
}

TEST_F(PersistenceTest, FileIsReplacedWholeOrNotAtAll)
{
    const std::string old = FileOf({{kNow + 60, 1, 6000, 0, "Old|Event"}});
    const std::string temp = kFile + ".tmp";
    Put(old);
    ASSERT_EQ(HsStartup(50), 4);
    Insert(kNow + 70, 0, "New|Event");
    fs::create_directory(hostFolder + temp); // the write cannot even begin
    HsShutdown();
    EXPECT_EQ(Get(), old);
    fs::remove(hostFolder + temp);
    // One left by a write that broke off is written over and cut to size.
    Put(std::string(100000, 'x'), temp);
    ASSERT_EQ(HsStartup(50), 4);
    uint32_t id = Insert(kNow + 70, 0, "New|Event");
    HsShutdown();
    EXPECT_EQ(Get(), FileOf({{kNow + 60, 1, 6000, 0, "Old|Event"}, {kNow + 70, 1, id, 0, "New|Event"}}));
    EXPECT_EQ(Files(), std::set<std::string>{kFile});
}

// Every memory error in turn: nothing locked or leaked, counters as for the
// whole file or for none of it, and the file old or new but never broken.
TEST_F(PersistenceTest, MemoryErrorsLeaveFileAndTableConsistent)
{
    const std::vector<Entry> entries = {{kNow + 60, 1, 6000, 0, "A|B|c"}, {kNow - 60, 1, 6001, 0, "D|E"},
                                        {kNow - 60, 2, 6002, 0, ""}};
    const std::string file = FileOf(entries);
    int64_t n = 1;
    for (bool injected = true; injected; n++) {
        SCOPED_TRACE("start-up, failing callback " + std::to_string(n));
        Put(file);
        HsSetStrict(n % 2 == 0);
        HsFailNthFallible(n);
        HsStartup(50);
        injected = HsFaultInjected();
        HsFailNthFallible(0);
        ExpectHostRulesKept();
        EXPECT_EQ(HsLockedHandles(), 0);
        if (EventTableHandle != NULL) {
            EXPECT_EQ(HsLiveHandles(), 1 + EventCount);
            EXPECT_TRUE(EventCount == 0 || EventCount == 3);
            EXPECT_EQ(ActiveEventCount, EventCount == 0 ? 0 : 1);
            EXPECT_EQ(EarliestDueTime, EventCount == 0 ? kNoDueTime : kNow + 60);
        }
        HsShutdown();
        EXPECT_EQ(HsLiveHandles(), 0);
    }
    EXPECT_GT(n, 5);

    bool sawOld = false, sawNew = false;
    n = 1;
    for (bool injected = true; injected; n++) {
        SCOPED_TRACE("shutdown, failing callback " + std::to_string(n));
        Put(file);
        ASSERT_EQ(HsStartup(50), 4);
        std::vector<Entry> saved = entries;
        saved[1].state = 4;
        saved.push_back({kNow + 99, 1, Insert(kNow + 99, 0, "New|Event"), 0, "New|Event"});
        HsSetStrict(n % 2 == 0);
        HsFailNthFallible(n);
        HsShutdown();
        injected = HsFaultInjected();
        HsFailNthFallible(0);
        ExpectHostRulesKept();
        EXPECT_EQ(HsLockedHandles(), 0);
        EXPECT_EQ(HsLiveHandles(), 0);
        const std::string now = Get();
        sawOld |= now == file;
        sawNew |= now == FileOf(saved);
        EXPECT_TRUE(now == file || now == FileOf(saved));
        EXPECT_EQ(Files(), std::set<std::string>{kFile}) << "no temporary file stays";
    }
    EXPECT_TRUE(sawOld && sawNew);
}

} // namespace
