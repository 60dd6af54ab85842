// "Rous-SendRemoteEvent" on the UDP path: what it refuses before anything
// is sent, the size limits of your text and of the whole datagram, and the
// switches that outlive the call.
#include "remote_fixture.h"

#include "support/message_boxes.h"

namespace {

class SenderTest : public RemoteTest {};

// Each accepted request sends one datagram, received at once; a refusal
// sends none, or the next datagram received would not be the expected one.
TEST_F(SenderTest, RefusalsSendNothingAndTheLargestAreSentWhole)
{
    const std::string to = ToProbe() + "|127.0.0.1|";
    const std::string part(999, 'p');
    const std::string fourParts = part + "|" + part + "|" + part + "|" + part + "|";
    const struct {
        std::string parameter, answer;
        size_t size = 0; // of the datagram, when sent
    } cases[] = {
        {"", "$$-50"},
        {ToProbe(), "$$-50"},                // no address
        {ToProbe() + "||k|F|S|", "$$-50"},   // empty address
        {ToProbe() + "|127.0.0.1", "$$-50"}, // nothing after the address
        {to, "$$-50"},                       // its separator, then nothing
        {to + "key", "$$-50"},               // no separator after the key
        {to + "k|F", "$$-50"},
        {to + "k|F|S", "$$-50"}, // the script is the last part
        {to + "k||S|", "$$-50"},
        {to + "k|F||", "$$-50"},
        {to + "k|F|S||" + std::string(5001, 't'), "$$-50"},
        {to + "k|F|S||" + std::string(5000, 't'), "0", 5000 + 31},
        {to + fourParts + std::string(3007, 't'), "$$-50"}, // 7031 bytes with its NUL
        {to + fourParts + std::string(3006, 't'), "0", kDatagramSize},
        {to + "k|F|S|" + std::string(1500, 'i') + "|", "0", 1030}, // a part is cut to 999 characters
        {"-portnumber 65536|127.0.0.1|k|F|S|", "$$-4228"},
        {"-portnumber 65536 -tcprequest|127.0.0.1|GET / HTTP/1.0\r\n\r\n", "$$-4228"},
        {ToProbe() + "|localhost|k|F|S|", "$$10013"}, // no lookup: the all-ones address, refused
    };
    std::string wire;
    for (const auto &c : cases) {
        EXPECT_EQ(Call(kSendRemoteEvent, c.parameter), c.answer) << c.parameter.substr(0, 60);
        if (c.answer == "0") {
            ASSERT_TRUE(ProbeReceive(probe, &wire)) << c.parameter.substr(0, 60);
            EXPECT_EQ(wire.size(), c.size) << c.parameter.substr(0, 60);
        }
    }
    EXPECT_EQ(Call(kSendRemoteEvent, to + "k|F|S|"), "0");
    ASSERT_TRUE(ProbeReceive(probe, &wire));
    EXPECT_EQ(wire, Bytes("QUIL DATAGRAM 1.0|SCTR|k|F|S||\0"));
}

TEST_F(SenderTest, DebugSwitchesPersistAndShowNothingOverUdp)
{
    const struct {
        const char *options;
        int32_t after;
    } calls[] = {
        {"-showdebugmessages", 1},
        {"", 1},
        {"-STOPDEBUGMESSAGES", 0},
        {"", 0},
        {"-stopdebugmessages -showdebugmessages", 1},
        {"-stopdebugmessages", 0},
    };
    BoxesStartWatching();
    for (const auto &c : calls) {
        EXPECT_EQ(Call(kSendRemoteEvent, std::string(c.options) + " " + ToProbe() + "|127.0.0.1|k|F|S|"),
                  "0");
        EXPECT_EQ(ShowDebugMessages, c.after) << c.options;
        Call(kSendRemoteEvent, std::string(c.options) + "|127.0.0.1|k|F"); // a refusal switches too
        EXPECT_EQ(ShowDebugMessages, c.after) << c.options;
    }
    EXPECT_TRUE(BoxesStopWatching().empty());
}

TEST_F(SenderTest, GetIPAddressAnswersADottedAddress)
{
    const std::string plain = Call(kGetIPAddress, "");
    int parts[4];
    char end;
    EXPECT_EQ(sscanf(plain.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2], &parts[3], &end), 4)
        << plain;
    for (int p : parts)
        EXPECT_TRUE(p >= 0 && p <= 255) << plain;
    for (const char *options :
         {"-defaultinterface", "-interfaceIndex 3", "-interfaceIndex 0 -defaultinterface"})
        EXPECT_EQ(Call(kGetIPAddress, options), plain) << options;
}

} // namespace
