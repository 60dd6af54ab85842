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
#include "support/message_boxes.h"
#include "support/prefs_store.h"
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

// The event file's calls as the plug-in makes them: counted, and the n-th
// of one kind failed with a system error.
enum FileOperation {
    kFileOpCreate,
    kFileOpOpen,
    kFileOpRead,
    kFileOpWrite,
    kFileOpFlush,
    kFileOpSetEnd,
    kFileOpSize,
    kFileOpClose,
    kFileOpReplace,
    kFileOpDelete,
    kFileOpMove,
    kFileOps
};
struct FileCalls {
    int64_t counts[kFileOps] = {};
    int32_t failOp = -1;
    int64_t failNth = 0; // 0: none; from this call of failOp on while persistent
    bool persistent = false;
    int32_t error = 0;
};
FileCalls Calls;

// 0, or the error the call of `op` fails with.
int32_t CountFileCall(int32_t op)
{
    int64_t n = ++Calls.counts[op];
    if (op == Calls.failOp && Calls.failNth > 0 &&
        (n == Calls.failNth || (Calls.persistent && n > Calls.failNth)))
        return Calls.error;
    return 0;
}

// Each call counted, failed when its turn comes, else the system's.
template <int Op, auto Call, typename... Args> int32_t Counted(Args... args)
{
    int32_t error = CountFileCall(Op);
    if (error != 0 && Op == kFileOpClose)
        (kSystemFileCalls.*Call)(args...); // a close still closes
    return error != 0 ? error : (kSystemFileCalls.*Call)(args...);
}

const QuFileCalls kCountedCalls = {
    Counted<kFileOpCreate, &QuFileCalls::createNewFile, const char *, QuOsFile *>,
    Counted<kFileOpOpen, &QuFileCalls::openFile, const char *, bool, QuOsFile *>,
    Counted<kFileOpRead, &QuFileCalls::readFile, QuOsFile, void *, uint32_t, uint32_t *>,
    Counted<kFileOpWrite, &QuFileCalls::writeFile, QuOsFile, const void *, uint32_t, uint32_t *>,
    Counted<kFileOpFlush, &QuFileCalls::flushFile, QuOsFile>,
    Counted<kFileOpSetEnd, &QuFileCalls::setEndOfFile, QuOsFile>,
    Counted<kFileOpSize, &QuFileCalls::getFileSize, QuOsFile, uint32_t *>,
    Counted<kFileOpClose, &QuFileCalls::closeFile, QuOsFile>,
    Counted<kFileOpReplace, &QuFileCalls::replaceFile, const char *, const char *>,
    Counted<kFileOpDelete, &QuFileCalls::deleteFile, const char *>,
    Counted<kFileOpMove, &QuFileCalls::moveFile, const char *, const char *>,
};

// "-addSingleEvent" for 7 December 2026 at `second`, six days after the
// simulated clock's day, with the caller's own ID and text.
std::string ScheduleParameter(int second, const std::string &own)
{
    return "-addSingleEvent|739957|" + std::to_string(second) + "|Orders|Report|id|" + own;
}
const uint32_t kDec7 = 3879446400u;

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
        Calls = FileCalls();
        QuUseFileCalls(&kCountedCalls);
    }
    void TearDown() override
    {
        QuUseFileCalls(nullptr);
        PluginTest::TearDown();
    }
    // Lets the clock pass the next poll, and idles once.
    void Poll(uint32_t ms = 1000)
    {
        HsAdvanceMilliseconds(ms);
        HsIdle(0);
    }
    std::string Schedule(int second, const std::string &own)
    {
        return HsCallFunction(5, ScheduleParameter(second, own)).text;
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

    uint32_t Insert(uint32_t due, int32_t flags, const std::string &text)
    {
        uint32_t id = 0;
        Inside([&] {
            EXPECT_EQ(QuInsertEvent(due, flags, text.data(), static_cast<int32_t>(text.size()), &id), 0);
        });
        return id;
    }
};

// What shutdown writes, byte for byte, after loading a file and a change.
TEST_F(PersistenceTest, ShutdownWritesTheTableByteForByte)
{
    const std::vector<Entry> kept = {
        {kNow + 100, 1, 6000, 0, "A|One|x|free", 0xDEADBEEF},
        {kNow - 999, 2, 6001, 0, std::string("B|\0|\n", 5)},
        {kNow - 5, 4, 5999, 0, "C|Three", 7},
        {kNow, 3, 6003, 4, ""},
    };
    const struct {
        const char *what;
        std::string before;
        int16_t loaded;
        std::function<void()> change;
        std::string after;
    } cases[] = {
        // The last event fills a deleted one's slot whole, reserved bytes
        // included, and a new event takes none of a former one's (first: the
        // IDs follow the file's).
        {"a deletion",
         FileOf({{kNow + 60, 1, 6000, 0, "A|a", 1},
                 {kNow + 61, 1, 6001, 0, "B|b", 2},
                 {kNow + 62, 1, 6002, 0, "C|c", 3}}),
         3,
         [this] {
             Inside([] { QuDeleteEventByID(6000); });
             Insert(kNow + 63, 1, "D|d");
         },
         FileOf({{kNow + 62, 1, 6002, 0, "C|c", 3},
                 {kNow + 61, 1, 6001, 0, "B|b", 2},
                 {kNow + 63, 1, 6003, 1, "D|d"}})},
        // Loading and saving again gives the same bytes, reserved bytes included.
        {"unchanged", FileOf(kept), 4, [] {}, FileOf(kept)},
        {"emptied", FileOf({{kNow + 60, 1, 6000, 0, "A|B"}, {kNow + 61, 1, 6001, 0, "C|D"}}), 2,
         [] { Inside([] { QuDeleteAllEvents(); }); }, kHeader},
        // A loaded ID raises the next one past it.
        {"the layout", FileOf({{kNow + 60, 2, 0x01020A0A, 0, "x"}}), 1,
         [this] {
             EXPECT_EQ(HsCallFunction(2, "-deleteAllEvents").text, "0");
             Insert(0x11223344, 1, "F|S");
         },
         kHeader + std::string("*\x44\x33\x22\x11"
                               "\x01\0\0\0"
                               "\x0B\x0A\x02\x01"
                               "\x01\0\0\0"
                               "\0\0\0\0"
                               "\x03\0\0\0"
                               "F|S"
                               "\0\0\0\0\n",
                               33)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Put(c.before);
        ASSERT_EQ(HsStartup(50), 4);
        EXPECT_EQ(EventTable.count, c.loaded);
        c.change();
        HsShutdown();
        EXPECT_EQ(Get(), c.after);
    }
}

// Loading stops at a bad marker, but its ID is never handed out again.
TEST_F(PersistenceTest, NextIDFollowsTheLargestLoaded)
{
    const struct {
        const char *what;
        bool file;
        std::vector<uint32_t> ids;
        uint32_t first;
        char lastMarker = '*';
    } cases[] = {
        {"no file", false, {}, 4242},
        {"header only", true, {}, 4243},
        {"largest 5000", true, {4300, 5000, 4999}, 5001},
        {"all below 4242", true, {7, 4000}, 4243},
        {"largest behind a bad marker", true, {6000, 9000}, 9001, '+'},
    };
    for (const auto &c : cases) {
        std::vector<Entry> entries;
        for (uint32_t id : c.ids)
            entries.push_back({kNow + 60, 1, id, 0, "F|S"});
        if (!entries.empty())
            entries.back().marker = c.lastMarker;
        fs::remove(hostFolder + kFile);
        if (c.file)
            Put(FileOf(entries));
        QuResetEventTable();
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
        {kNow - 86400, 0, 1, 4},                       // due yesterday
        {kNow - 86400, 1, 1, 1},                       // asked to fire after a restart
        {kNow - 1, 3, 1, 1},                           // the bit counts, not the value
        {kNow, 0, 1, 1},                               // due this very second
        {kNow + 60, 0, 1, 1},    {kNow - 50, 0, 2, 2}, // triggered and silent events keep their state
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
    EXPECT_EQ(EventTable.active, 4);
    EXPECT_EQ(EventTable.earliestDue, kNow - 86400); // the flagged overdue event fires first
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
        EXPECT_EQ(EventTable.count, 0);
        EXPECT_EQ(EventTable.active, 0);
        EXPECT_EQ(EventTable.earliestDue, kNoDueTime);
        EXPECT_EQ(HsLiveHandles(), 1) << "only the table is held";
        HsShutdown();
        EXPECT_EQ(HsLiveHandles(), 0);
        EXPECT_EQ(Get(), kHeader) << "overwritten at shutdown";
    }
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
        QuSetHostWindowKind(c.kind);
        HsShutdown();
        EXPECT_EQ(Files(), std::set<std::string>{c.name}) << "version " << c.version << ", kind " << c.kind;
        fs::remove(hostFolder + c.name);
    }
    // Each generation reads only its own file.
    Put(FileOf({{kNow + 60, 1, 6000, 0, "A|B"}}), "RousEvn5.Qul");
    ASSERT_EQ(HsStartup(50), 4);
    EXPECT_EQ(EventTable.count, 0);
    HsShutdown();
    ASSERT_EQ(HsStartup(14), 4);
    EXPECT_EQ(EventTable.count, 1);
}

// The file has no size limit of its own: every event is saved, and a table
// that fits 64000 bytes writes what it always wrote.
TEST_F(PersistenceTest, EveryEventIsSavedWhateverTheFileSize)
{
    const std::vector<size_t> cases[] = {
        {63959}, // exactly 64000 bytes
        {63960}, {20000, 20000, 23899}, {20000, 20000, 23900, 10}, {64000, 64000, 0},
    };
    for (const auto &lengths : cases) {
        fs::remove(hostFolder + kFile);
        ASSERT_EQ(HsStartup(50), 4);
        std::vector<Entry> expected;
        for (size_t length : lengths) {
            std::string text(length, 'x');
            expected.push_back({kNow + 60, 1, Insert(kNow + 60, 0, text), 0, text});
        }
        HsShutdown();
        EXPECT_EQ(HsLiveHandles(), 0) << lengths.size() << " events";
        EXPECT_TRUE(Get() == FileOf(expected)) << lengths.size() << " events";
        ASSERT_EQ(HsStartup(50), 4);
        EXPECT_EQ(EventTable.count, static_cast<int16_t>(lengths.size()));
        HsShutdown();
        EXPECT_TRUE(Get() == FileOf(expected)) << "the same bytes after a restart";
    }
}

TEST_F(PersistenceTest, AFullTableOf170ByteTextsSurvivesARestart)
{
    ASSERT_EQ(HsStartup(50), 4);
    std::vector<Entry> expected;
    for (int i = 0; i < kMaxEvents; i++) {
        // 170 bytes of event text: "Orders|Report|id|" and 153 of the caller's.
        std::string own = std::to_string(i) + "|" + std::string(152 - std::to_string(i).size(), 'a' + i % 26);
        std::string id = Schedule(i, own);
        ASSERT_NE(id.rfind("$$", 0), 0u) << i << ": " << id;
        expected.push_back({kDec7 + static_cast<uint32_t>(i), 1, static_cast<uint32_t>(std::stoul(id)), 0,
                            "Orders|Report|id|" + own});
        ASSERT_EQ(expected.back().text.size(), 170u);
    }
    EXPECT_EQ(Schedule(5000, "one too many"), "$$-4223");
    HsShutdown();
    const std::string file = Get();
    EXPECT_EQ(file.size(), 11u + 1000u * 200u);
    EXPECT_TRUE(file == FileOf(expected));
    ASSERT_EQ(HsStartup(50), 4);
    EXPECT_EQ(HsCallFunction(3, "-getTriggerCount").text, "1000");
    EXPECT_EQ(HsCallFunction(3, "-byEventID -getYourText|" + std::to_string(expected[999].id)).text,
              expected[999].text.substr(17));
    HsShutdown();
    EXPECT_TRUE(Get() == file);
}

TEST_F(PersistenceTest, ATextNoEntryCouldHoldIsRefused)
{
    ASSERT_EQ(HsStartup(50), 4);
    const std::string prefix = "Orders|Report|id|";
    EXPECT_EQ(Schedule(0, std::string(64001 - prefix.size(), 't')), "$$-50");
    EXPECT_EQ(EventTable.count, 0);
    std::string id = Schedule(0, std::string(64000 - prefix.size(), 't'));
    EXPECT_EQ(id, "4242");
    EXPECT_EQ(EventTable.count, 1);
}

// What every change costs in file writes: one save at the first poll after
// it, none inside a call, none when nothing changed.
TEST_F(PersistenceTest, ChangesAreSavedAtTheNextPollOnly)
{
    ASSERT_EQ(HsStartup(50), 4);
    HsOpenFile("Orders", {"Report"});
    int64_t saves = 0;
    auto newSaves = [&saves] {
        int64_t n = Calls.counts[kFileOpReplace] - saves;
        saves = Calls.counts[kFileOpReplace];
        return n;
    };
    EXPECT_EQ(Calls.counts[kFileOpWrite] + Calls.counts[kFileOpCreate], 0) << "start-up writes nothing";
    const std::string id = Schedule(60, "");
    EXPECT_EQ(newSaves(), 0) << "not inside the call";
    Poll();
    EXPECT_EQ(newSaves(), 1);
    EXPECT_TRUE(Get() == FileOf({{kDec7 + 60, 1, 4242, 0, "Orders|Report|id|"}}));
    for (int i = 0; i < 5; i++)
        Poll();
    EXPECT_EQ(newSaves(), 0) << "nothing changed";
    EXPECT_EQ(Calls.counts[kFileOpWrite], 1);

    const struct {
        const char *what;
        std::function<void()> change;
        int64_t inCall, atPoll;
    } cases[] = {
        {"delete by ID", [&] { HsCallFunction(2, "-deleteByID|" + id); }, 0, 1},
        {"delete nothing", [&] { HsCallFunction(2, "-deleteByID|1"); }, 0, 0},
        {"schedule for now, fired in the call",
         [&] { HsCallFunction(5, "-addSingleEvent|739951|0|Orders|Report|"); }, 0, 1},
        {"delete the triggered", [&] { HsCallFunction(2, "-deleteAllTriggeredEvents"); }, 0, 1},
        {"a script start that schedules and idles",
         [&] {
             HsSetStartHook([&](const HsScriptStart &) {
                 HsCallFunction(5, ScheduleParameter(120, "nested"));
                 HsAdvanceMilliseconds(1000);
                 HsIdle(0);
                 EXPECT_EQ(newSaves(), 0) << "not inside a script start";
             });
             HsCallFunction(5, "-addSingleEvent|739951|0|Orders|Report|");
             HsSetStartHook({});
         },
         0, 1},
        {"disable local triggers, then delete all",
         [&] {
             HsCallFunction(1, "-DisableLocalTriggers|lock text");
             HsCallFunction(2, "-deleteAllEvents");
         },
         0, 1},
        {"enable local triggers", [&] { HsCallFunction(1, "-EnableLocalTriggers|lock text"); }, 0, 0},
    };
    for (const auto &c : cases) {
        c.change();
        EXPECT_EQ(newSaves(), c.inCall) << c.what;
        Poll();
        Poll();
        EXPECT_EQ(newSaves(), c.atPoll) << c.what;
    }
    EXPECT_EQ(Get(), kHeader);
}

// A save that fails at any step leaves the old file as it was, is tried
// again at later polls, and shows one box a run.
TEST_F(PersistenceTest, AFailedSaveKeepsTheOldFileAndIsRetried)
{
    const std::string old = FileOf({{kNow + 60, 1, 6000, 0, "Old|Event"}});
    const struct {
        int32_t op, error;
    } steps[] = {
        {kFileOpCreate, 5},  {kFileOpOpen, 5},    {kFileOpWrite, 112}, {kFileOpSetEnd, 112},
        {kFileOpFlush, 112}, {kFileOpClose, 112}, {kFileOpReplace, 5},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE("failing file call " + std::to_string(step.op));
        EmptyHostFolder();
        Put(old);
        PrefsStoreDelete("ShowEventFileErrors");
        ASSERT_EQ(HsStartup(50), 4);
        uint32_t id = Insert(kNow + 70, 0, "New|Event");
        Calls.failOp = step.op;
        Calls.failNth = Calls.counts[step.op] + 1;
        Calls.persistent = true;
        Calls.error = step.error;
        BoxesStartWatching();
        for (int i = 0; i < 20; i++)
            Poll();
        std::vector<ShownBox> boxes = BoxesStopWatching();
        EXPECT_TRUE(Get() == old);
        EXPECT_EQ(Files(), std::set<std::string>{kFile}) << "no temporary file stays";
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Rouser Plug-In Classic");
        EXPECT_EQ(boxes[0].text, "Events not saved in RousEvn7.Qul, error number " +
                                     std::to_string(step.error == 5 ? -47 : 112) + "  ");
        // Retried, but less and less often: not at every poll.
        EXPECT_LT(Calls.counts[step.op] - Calls.failNth, 10);
        EXPECT_GT(Calls.counts[step.op] - Calls.failNth, 2);
        Calls.failOp = -1;
        for (int i = 0; i < 10; i++)
            Poll(10000);
        EXPECT_TRUE(Get() ==
                    FileOf({{kNow + 60, 1, 6000, 0, "Old|Event"}, {kNow + 70, 1, id, 0, "New|Event"}}));
        HsShutdown();
    }
}

// A file that was not loaded keeps its events under a name of its own, the
// earlier kept copies included; the event file then starts anew.
TEST_F(PersistenceTest, FilesThatCannotBeLoadedAreKeptAside)
{
    const std::string good = FileOf({{kNow + 60, 1, 6000, 0, "A|B"}});
    const std::string damaged = "#Quil v2.0\n" + good.substr(11);
    const struct {
        const char *what;
        std::string bytes;
        bool unreadable;
        const char *keptAs;
    } cases[] = {
        {"damaged", damaged, false, "RousEvn7.Qul.damaged"},
        {"damaged again", damaged + "x", false, "RousEvn7.Qul.damaged.2"},
        {"not readable", good, true, "RousEvn7.Qul.unread"},
        {"damaged a third time", damaged + "y", false, "RousEvn7.Qul.damaged.3"},
    };
    std::set<std::string> files{kFile};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Put(c.bytes);
        Calls.failOp = c.unreadable ? kFileOpOpen : -1;
        Calls.failNth = Calls.counts[kFileOpOpen] + 1;
        Calls.error = 5;
        ASSERT_EQ(HsStartup(50), 4);
        Calls.failOp = -1;
        EXPECT_EQ(EventTable.count, 0);
        files.insert(c.keptAs);
        files.erase(kFile);
        EXPECT_EQ(Files(), files);
        EXPECT_TRUE(Get(c.keptAs) == c.bytes);
        uint32_t id = Insert(kNow + 70, 0, "New|Event");
        Poll();
        files.insert(kFile);
        EXPECT_TRUE(Get() == FileOf({{kNow + 70, 1, id, 0, "New|Event"}}));
        HsShutdown();
        EXPECT_EQ(Files(), files);
    }
    // Where the file cannot be moved aside, nothing is written over it.
    Put(damaged);
    Calls.failOp = kFileOpMove;
    Calls.failNth = Calls.counts[kFileOpMove] + 1;
    Calls.persistent = true;
    Calls.error = 5;
    ASSERT_EQ(HsStartup(50), 4);
    Insert(kNow + 70, 0, "New|Event");
    Poll();
    HsShutdown();
    EXPECT_TRUE(Get() == damaged);
    EXPECT_EQ(Files(), files);
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
    const std::vector<Entry> entries = {
        {kNow + 60, 1, 6000, 0, "A|B|c"}, {kNow - 60, 1, 6001, 0, "D|E"}, {kNow - 60, 2, 6002, 0, ""}};
    const std::string file = FileOf(entries);
    int64_t n = 1;
    for (bool injected = true; injected; n++) {
        SCOPED_TRACE("start-up, failing callback " + std::to_string(n));
        EmptyHostFolder();
        Put(file);
        HsSetStrict(n % 2 == 0);
        HsFailNthFallible(n);
        HsStartup(50);
        injected = HsFaultInjected();
        HsFailNthFallible(0);
        ExpectHostRulesKept();
        EXPECT_EQ(HsLockedHandles(), 0);
        if (EventTable.handle != NULL) {
            EXPECT_EQ(HsLiveHandles(), 1 + EventTable.count);
            EXPECT_TRUE(EventTable.count == 0 || EventTable.count == 3);
            EXPECT_EQ(EventTable.active, EventTable.count == 0 ? 0 : 1);
            EXPECT_EQ(EventTable.earliestDue, EventTable.count == 0 ? kNoDueTime : kNow + 60);
        }
        const bool loaded = EventTable.handle != NULL && EventTable.count == 3;
        HsShutdown();
        EXPECT_EQ(HsLiveHandles(), 0);
        // The events are loaded, or the file that holds them is kept.
        if (fs::exists(hostFolder + kFile + ".unread")) {
            EXPECT_TRUE(Get(kFile + ".unread") == file);
        } else if (!loaded) {
            EXPECT_TRUE(Get() == file);
        }
    }
    EXPECT_GT(n, 5);

    bool sawOld = false, sawNew = false;
    n = 1;
    for (bool injected = true; injected; n++) {
        SCOPED_TRACE("shutdown, failing callback " + std::to_string(n));
        EmptyHostFolder();
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
