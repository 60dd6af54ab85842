// The remote-event datagram byte for byte: what the sender puts on the wire,
// and how the listener reads what arrives, up to the received length only.
#include "remote_fixture.h"

#include <cstring>
#include <memory>

namespace {

class DatagramTest : public RemoteTest {};

TEST_F(DatagramTest, WriterLaysOutTheFields)
{
    const std::string to = ToProbe() + "|127.0.0.1|";
    const struct {
        std::string options, rest;
        std::string wire;
    } cases[] = {
        {"", "|Contacts|Nightly report|", Bytes("QUIL DATAGRAM 1.0|SCTR||Contacts|Nightly report||\0")},
        {"-silentEvent -DONTGOTOFOREGROUND ", "|Contacts|Nightly report|",
         Bytes("QUIL DATAGRAM 1.0|SCTR-BG-DT||Contacts|Nightly report||\0")},
        {"-dontGoToForeground ", "k3y|F|S|id|a|b\r\nc|",
         Bytes("QUIL DATAGRAM 1.0|SCTR-BG|k3y|F|S|id|a|b\r\nc|\0")},
        {"-silentEvent ", "|||", Bytes("QUIL DATAGRAM 1.0|SCTR-DT|||||\0")},
        {"-silentEvent ", "key||||your id|", Bytes("QUIL DATAGRAM 1.0|SCTR-DT|key||||your id|\0")},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Call(kSendRemoteEvent, c.options + to + c.rest), "0") << c.rest;
        std::string wire;
        ASSERT_TRUE(ProbeReceive(probe, &wire)) << c.rest;
        EXPECT_EQ(wire, c.wire);
    }
    EXPECT_EQ(cases[0].wire.size(), 50u);
    EXPECT_EQ(cases[1].wire.size(), 56u);
}

TEST_F(DatagramTest, ListenerReadsByTheLayout)
{
    const std::string longTag = "SCTR" + std::string(1200, 'x');
    const struct {
        const char *what;
        std::string wire;
        bool accepted; // it ends the poll: the due event waits
        size_t events;
        int32_t flags;
        std::string text;
    } cases[] = {
        {"ordinary", Datagram("SCTR", "", "Contacts|Nightly report||"), true, 1, 0,
         "Contacts|Nightly report||"},
        {"header elsewhere", Bytes("0123456789abcdefg|SCTR|k|F|S|id|QUIL DATAGRAM 1.0\0"), true, 1, 0,
         "F|S|id|QUIL DATAGRAM 1.0"},
        {"lower-case tag", Datagram("sctr", "", "F|S||"), true, 1, 0, "F|S||"},
        {"long tag", Datagram(longTag, "", "F|S||"), true, 1, 0, "F|S||"},
        {"both marks", Datagram("SCTR-DT-BG", "", "F|S||"), true, 1, 2, "F|S||"},
        {"silent", Datagram("SCTR-DT", "", "||id|text"), true, 1, 4, "||id|text"},
        {"NUL inside", Bytes("QUIL DATAGRAM 1.0|SCTR||F|S|id|a\0b\0"), true, 1, 0, Bytes("F|S|id|a\0b")},
        {"shortest", Bytes("QUIL DATAGRAM 1.0|SCTR||\0"), true, 0, 0, ""},
        {"no SCTR", Datagram("SCT-BG", "", "F|S||"), false, 0, 0, ""},
        {"lower-case header", Bytes("quil datagram 1.0|SCTR||F|S||\0"), false, 0, 0, ""},
        {"no separator after the key", Bytes("QUIL DATAGRAM 1.0|SCTR|key\0"), false, 0, 0, ""},
        {"no separator after the tag", Bytes("QUIL DATAGRAM 1.0|SCTR\0"), false, 0, 0, ""},
    };
    EXPECT_EQ(Bytes("QUIL DATAGRAM 1.0|SCTR||\0").size(), 25u);
    HsOpenFile("Orders.fp5", {"Print"});
    Listen();
    for (const auto &c : cases) {
        Inside([] { QuDeleteAllEvents(); });
        AddEvent(kDue1 - 86400, 0, "Orders.fp5|Print"); // due now, in slot 0
        Deliver(c.wire);
        IdleAfter(1000);
        EXPECT_EQ(TicksToNextPoll(), 1) << c.what;
        EXPECT_EQ(HsTakeStarts().size(), c.accepted ? 0u : 1u) << c.what;
        std::vector<EventView> events = Events();
        ASSERT_EQ(events.size(), 1 + c.events) << c.what;
        if (c.events == 1) {
            EXPECT_EQ(events[1].flags, c.flags) << c.what;
            EXPECT_EQ(events[1].state, c.flags == kFlagSilent ? kStateSilent : kStatePending) << c.what;
            EXPECT_EQ(events[1].text, c.text) << c.what;
        }
    }
}

// Each datagram sits in a heap block of exactly its length, so that the
// sanitizers catch any read past it.
TEST_F(DatagramTest, ReaderStaysWithinTheReceivedLength)
{
    const std::string head = "QUIL DATAGRAM 1.0|SCTR||";
    const struct {
        const char *what;
        std::string bytes;
        bool accepted;
        int32_t payloadLength;
    } cases[] = {
        {"full buffer, no NUL", head + "F|S|" + std::string(kDatagramSize - head.size() - 4, 'a'), true,
         kDatagramSize - static_cast<int32_t>(head.size()) - 1},
        {"no NUL, ends in the tag", "QUIL DATAGRAM 1.0|SC", false, 0},
        {"header alone", "QUIL DATAGRAM 1.0|", false, 0},
        {"ends after the key's separator", head, true, -1},
        {"one byte", "Q", false, 0},
        {"longer than a datagram", head + std::string(kDatagramSize, 'a'), false, 0},
    };
    for (const auto &c : cases) {
        std::unique_ptr<char[]> block(new char[c.bytes.size()]);
        memcpy(block.get(), c.bytes.data(), c.bytes.size());
        QuRemoteEvent event;
        EXPECT_EQ(QuReadDatagram(block.get(), static_cast<int32_t>(c.bytes.size()), &event), c.accepted)
            << c.what;
        if (c.accepted) {
            EXPECT_EQ(event.payloadLength, c.payloadLength) << c.what;
        }
        Inside([&] { QuHandleRemoteEvent(block.get(), static_cast<int32_t>(c.bytes.size())); });
    }
    std::vector<EventView> events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, "F|S|" + std::string(kDatagramSize - head.size() - 5, 'a'));
}

} // namespace
