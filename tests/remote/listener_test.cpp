// The listener's states and key, and how the idle step takes what arrives:
// one datagram a poll, none while local triggers are disabled, and nothing
// that does not fit the receive buffer.
#include "remote_fixture.h"

#include <map>

namespace {

class ListenerTest : public RemoteTest {};

TEST_F(ListenerTest, StartAndStopStates)
{
    // The first listener takes a port the system chooses.
    uint16_t first = 0;
    NetProbe holder;
    ASSERT_TRUE(ProbeOpenUdp(&holder, 0, true));
    const std::string held = std::to_string(holder.port);
    const struct {
        uint32_t function;
        std::string parameter, answer, key;
        bool listening;
    } steps[] = {
        {kStartListener, "", "$$-50", "", false},
        {kStartListener, "-portnumber 0||keyA", "0", "keyA", true},
        {kStartListener, "-portnumber " + held + "||keyB", "$$-4227", "keyB", true}, // the first port stays
        {kStopListener, "", "0", "keyB", false},
        {kStopListener, "anything", "0", "keyB", false},
        {kStartListener, "-portnumber 70000||keyC", "$$-4228", "keyC", false},
        {kStartListener, "-portnumber " + held + "||keyD", "$$10048", "keyD", false},
        {kStartListener, "-portnumber 0|unused", "0", "", true},
    };
    for (const auto &s : steps) {
        EXPECT_EQ(Call(s.function, s.parameter), s.answer) << s.parameter;
        EXPECT_EQ(std::string(ListenerKey), s.key) << s.parameter;
        EXPECT_EQ(ListenerSocket != kNoSocket, s.listening) << s.parameter;
        if (first == 0 && s.listening)
            first = ProbeLocalPort(ListenerSocket);
        if (s.answer == "$$-4227") {
            // Still on the first port, with the new key.
            EXPECT_EQ(ProbeLocalPort(ListenerSocket), first);
            port = first;
            Deliver(Datagram("SCTR", "keyB", "F|S||"));
            IdleAfter(1000);
            EXPECT_EQ(Events().size(), 1u);
        }
    }
    ProbeClose(&holder);
    EXPECT_EQ(SocketsStarted, 1) << "stopping the listener keeps the library";
    HsShutdown();
    EXPECT_EQ(SocketsStarted, 0);
    EXPECT_EQ(ListenerSocket, kNoSocket);
}

// The key must match with its letter case. An event that could never start
// is not taken in; a silent one only carries text and needs no names.
TEST_F(ListenerTest, KeyAndNamesDecideWhatIsTakenIn)
{
    const struct {
        std::string listenerKey, datagramKey, tag, payload;
        size_t kept;
    } cases[] = {
        {"Secret", "Secret", "SCTR", "F|S||", 1},
        {"Secret", "secret", "SCTR", "F|S||", 0},
        {"Secret", "", "SCTR", "F|S||", 0},
        {"Secret", "Secret ", "SCTR", "F|S||", 0},
        {"Secret", "Secre", "SCTR", "F|S||", 0},
        {"", "anything", "SCTR", "F|S||", 1},
        {"", "", "SCTR", "F|S||", 1},
        {"", "", "SCTR", "|S||", 0},
        {"", "", "SCTR", "F|||", 0},
        {"", "", "SCTR", "||||", 0},
        {"", "", "SCTR", "F", 0},
        {"", "", "SCTR", "F|S", 1},
        {"", "", "SCTR-DT", "||id|text", 1},
        {"", "", "SCTR-BG", "|S||", 0},
    };
    for (const auto &c : cases) {
        Call(kStopListener, "");
        Listen(c.listenerKey);
        Inside([] { QuDeleteAllEvents(); });
        Deliver(Datagram(c.tag, c.datagramKey, c.payload));
        IdleAfter(1000);
        EXPECT_EQ(Events().size(), c.kept)
            << c.listenerKey << " / " << c.datagramKey << ": " << c.tag << " " << c.payload;
    }
}

TEST_F(ListenerTest, BurstIsDrainedOnePerIdleCall)
{
    Listen();
    AddEvent(kDue1 - 86400, 0, "Orders.fp5|Print"); // due now: waits behind the burst
    for (int i = 0; i < 4; i++)
        Deliver(Datagram("SCTR", "", "F|S|" + std::to_string(i) + "|"));
    for (size_t handled = 1; handled <= 4; handled++) {
        IdleAfter(50); // 3 ticks: past the 1-tick wait after each datagram
        EXPECT_EQ(Events().size(), 1 + handled);
    }
    EXPECT_TRUE(HsTakeStarts().empty());
    EXPECT_EQ(Events()[4].text, "F|S|3|") << "in the order sent";
    IdleAfter(1000);
    EXPECT_EQ(TicksToNextPoll(), 40) << "a quiet listener is polled every 40 ticks";
}

// Between polls the listener is looked at once per idle call: a datagram is
// taken at the idle call after it arrives and its event fires at the poll
// after, more than a tick later; a quiet listener adds no poll. Idle calls
// every 10 ms for 3 s; the Ticks clock steps by 3 every 50 ms.
TEST_F(ListenerTest, DatagramBetweenPollsIsTakenAtTheNextIdleCall)
{
    HsOpenFile("Orders.fp5", {"Print"});
    const struct {
        bool listening, datagram;
        size_t polls;
    } cases[] = {{false, false, 4}, {true, false, 4}, {true, true, 5}};
    for (const auto &c : cases) {
        const std::string label =
            std::string(c.listening ? "listening" : "no listener") + (c.datagram ? ", a datagram" : "");
        Call(kStopListener, "");
        if (c.listening)
            Listen();
        Inside([] { QuDeleteAllEvents(); });
        HsTakeStarts();
        IdleAfter(1000);
        size_t polls = 0;
        uint32_t planned = NextPollTicks, takenAt = 0, firedAt = 0;
        for (uint32_t ms = 10; ms <= 3000; ms += 10) {
            if (c.datagram && ms == 210)
                Deliver(Datagram("SCTR", "", "Orders.fp5|Print||"));
            IdleAfter(10);
            polls += NextPollTicks != planned;
            planned = NextPollTicks;
            if (takenAt == 0 && !Events().empty())
                takenAt = ms;
            if (firedAt == 0 && !HsTakeStarts().empty())
                firedAt = ms;
        }
        EXPECT_EQ(polls, c.polls) << label;
        EXPECT_EQ(Events().size(), c.datagram ? 1u : 0u) << label;
        if (!c.datagram)
            continue;
        EXPECT_EQ(takenAt, 210u) << label;
        EXPECT_GT(firedAt, takenAt) << label;
        EXPECT_LE(firedAt, takenAt + 100) << label;
    }
}

// Junk far above one datagram a poll: a local event that comes due and a
// valid remote event sent into the flood both start within one poll
// interval of their time. Host and clock advance 10 ms per idle call.
TEST_F(ListenerTest, JunkFloodKeepsEventsAndSendersOnTime)
{
    const std::string junk[] = {
        Datagram("SCTR", "wrong", "Orders.fp5|Remote||"),          // wrong key
        Datagram("SCTR", "Key", "Orders.fp5|Remote||"),            // wrong letter case
        Bytes("quil datagram 1.0|SCTR|key|Orders.fp5|Remote||\0"), // bad header
        Datagram("SCT", "key", "Orders.fp5|Remote||"),             // no tag
        Bytes("QUIL DATAGRAM 1.0|SCTR|key"),                       // no separator after the key
        std::string(),                                             // empty
        std::string(300, '\xff'),
    };
    const uint32_t pollMs = 40 * 1000 / 60;
    const uint32_t start1904 = kDue1 - 86400;
    HsOpenFile("Orders.fp5", {"Print", "Remote"});
    Listen("key");
    const struct {
        int perIdle; // junk datagrams sent per idle call
    } rates[] = {{1}, {4}};
    for (const auto &r : rates) {
        Inside([] { QuDeleteAllEvents(); });
        HsTakeStarts();
        SetNow1904(start1904);
        AddEvent(start1904 + 3, 0, "Orders.fp5|Print"); // due 3 s from now
        std::map<std::string, uint32_t> started;        // script: ms from the start
        int sent = 0;
        for (uint32_t ms = 0; ms < 5000; ms += 10) {
            for (int i = 0; i < r.perIdle; i++, sent++)
                Deliver(junk[sent % 7]);
            if (ms % 500 == 0)
                Deliver(std::string(8000, 'x')); // too large for the buffer
            if (ms == 1500)
                Deliver(Datagram("SCTR", "key", "Orders.fp5|Remote||"));
            SetNow1904(start1904 + ms / 1000);
            IdleAfter(10);
            for (const HsScriptStart &s : HsTakeStarts())
                started.emplace(s.script, ms);
        }
        const std::string rate = std::to_string(r.perIdle * 100) + " junk datagrams a second";
        ASSERT_EQ(started.count("Print"), 1u) << rate;
        ASSERT_EQ(started.count("Remote"), 1u) << rate;
        EXPECT_GE(started["Print"], 3000u) << rate;
        EXPECT_LE(started["Print"], 3000 + pollMs) << rate;
        EXPECT_GE(started["Remote"], 1500u) << rate;
        EXPECT_LE(started["Remote"], 1500 + pollMs) << rate;
        EXPECT_EQ(Events().size(), 2u) << rate << ": the junk left no event";
        // The queue was kept short: a quiet listener is back to 40 ticks.
        IdleAfter(1000);
        IdleAfter(1000);
        EXPECT_EQ(TicksToNextPoll(), 40) << rate;
    }
}

TEST_F(ListenerTest, DatagramsWaitWhileLocalTriggersAreDisabled)
{
    HsOpenFile("Orders.fp5", {"Print"});
    Listen();
    EXPECT_EQ(Call(kControl, "-DisableLocalTriggers|lock"), "0");
    Deliver(Datagram("SCTR", "", "Orders.fp5|Print||"));
    Deliver(Datagram("SCTR-DT", "", "||id|kept"));
    for (int i = 0; i < 5; i++)
        IdleAfter(1000);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(Call(kControl, "-EnableLocalTriggers|lock"), "0");
    IdleAfter(1000);
    IdleAfter(1000);
    EXPECT_EQ(Events().size(), 2u);
    EXPECT_TRUE(HsTakeStarts().empty()) << "datagrams go first";
    IdleAfter(1000);
    std::vector<HsScriptStart> starts = HsTakeStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].script, "Print");
    EXPECT_EQ(Call(kGetEventInfo, "-firstSilentEvent -getYourText"), "kept");
}

// A datagram that does not fit the 7030-byte buffer is dropped whole, as
// Windows Sockets drops it, not read as its first 7030 bytes.
TEST_F(ListenerTest, OversizedDatagramIsDropped)
{
    Listen();
    const std::string head = "QUIL DATAGRAM 1.0|SCTR||F|S||";
    const std::string largest =
        head + std::string(kDatagramSize - head.size() - 1, 'x') + std::string(1, '\0');
    ASSERT_EQ(largest.size(), static_cast<size_t>(kDatagramSize));
    Deliver(head + std::string(8000, 'y') + std::string(1, '\0'));
    Deliver(head + std::string(kDatagramSize + 1 - head.size(), 'z')); // one byte over
    Deliver(largest);
    // The two that do not fit are dropped, and the good one behind them
    // taken, in one poll.
    IdleAfter(1000);
    std::vector<EventView> events = Events();
    ASSERT_EQ(events.size(), 1u);
    const size_t payload = std::string("QUIL DATAGRAM 1.0|SCTR||").size();
    EXPECT_EQ(events[0].text, largest.substr(payload, kDatagramSize - payload - 1));
}

TEST_F(ListenerTest, FullTableLosesTheDatagramSilently)
{
    Listen();
    for (int i = 0; i < kMaxEvents; i++)
        AddEvent(kDue1, 0, "F|S");
    Deliver(Datagram("SCTR", "", "F|S|lost|"));
    IdleAfter(1000);
    EXPECT_EQ(EventTable.count, kMaxEvents);
    EXPECT_EQ(TicksToNextPoll(), 1);
    ExpectCountersMatchRecords("full table", true);
}

// One plug-in sends to another (here, to itself): the ordinary and the
// "-dontGoToForeground" events fire, the silent one is only kept.
TEST_F(ListenerTest, SentEventsFireOrAreKept)
{
    HsOpenFile("Orders.fp5", {"Print", "Report"});
    Listen("k");
    const std::string to = "-portnumber " + std::to_string(port);
    EXPECT_EQ(Call(kSendRemoteEvent, to + "|127.0.0.1|k|Orders.fp5|Print|id1|text one"), "0");
    EXPECT_EQ(Call(kSendRemoteEvent, to + " -dontGoToForeground|127.0.0.1|k|Orders.fp5|Report||"), "0");
    EXPECT_EQ(Call(kSendRemoteEvent, to + " -silentEvent|127.0.0.1|k|||id3|a|b\nc"), "0");
    EXPECT_EQ(Call(kSendRemoteEvent, to + "|127.0.0.1|K|Orders.fp5|Print||"), "0")
        << "wrong key: sent, ignored";
    for (int i = 0; i < 8; i++)
        IdleAfter(1000);
    std::vector<HsScriptStart> starts = HsTakeStarts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].script, "Print");
    EXPECT_EQ(starts[1].script, "Report");
    EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getYourID"), "");
    EXPECT_EQ(Call(kGetEventInfo, "-byEventID -getYourText|4242"), "text one");
    EXPECT_EQ(Call(kGetEventInfo, "-firstSilentEvent -getYourText"), "a|b\nc");
    EXPECT_EQ(Call(kGetEventInfo, "-getTriggerCount"), "3");
    EXPECT_EQ(Events()[1].flags, kFlagBackground);
}

} // namespace
