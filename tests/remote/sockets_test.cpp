// The socket layer itself: the library's start and stop, receiving without
// a listener or without a datagram, address lookup, and TCP connections
// made, refused or timed out within a deadline on the simulated clock.
#include "remote_fixture.h"

#include "frame/host_overrides.h"

#include <cstring>

namespace {

// 127.0.0.1 in network byte order, as the address functions give it.
uint32_t Loopback()
{
    const unsigned char bytes[4] = {127, 0, 0, 1};
    uint32_t address;
    memcpy(&address, bytes, sizeof address);
    return address;
}

class SocketsTest : public RemoteTest {};

TEST_F(SocketsTest, LibraryStartsOnceAndReceivingNeedsAListener)
{
    char buffer[16];
    int32_t length = 99;
    EXPECT_EQ(QuReceiveDatagram(buffer, sizeof buffer, &length), kErrMemory);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(SocketsStarted, 0) << "nothing network-related starts at start-up";
    EXPECT_EQ(QuStartSockets(), 0);
    EXPECT_EQ(QuStartSockets(), 0);
    EXPECT_EQ(SocketsStarted, 1);
    EXPECT_EQ(QuOpenListener(0), 0);
    length = 99;
    EXPECT_EQ(QuReceiveDatagram(buffer, sizeof buffer, &length), 0) << "nothing waits";
    EXPECT_EQ(length, 0);
    EXPECT_EQ(QuCloseListener(), 0);
    EXPECT_EQ(QuCloseListener(), 0);
    EXPECT_EQ(QuStopSockets(), 0);
    EXPECT_EQ(QuStopSockets(), 0);
    EXPECT_EQ(SocketsStarted, 0);
    EXPECT_EQ(QuSendDatagram("127.0.0.1", probe.port, "x", kDatagramSize + 1), kErrBadParameter);
    EXPECT_EQ(QuSendDatagram("127.0.0.1", probe.port, "x", 1), 0) << "starts the library on demand";
    EXPECT_EQ(SocketsStarted, 1);
}

TEST_F(SocketsTest, LookupTakesDottedAddressesAndLocalNames)
{
    ASSERT_EQ(QuStartSockets(), 0);
    const uint32_t loopback = Loopback();
    for (const char *text : {"127.0.0.1", "localhost"}) {
        uint32_t address = 0;
        EXPECT_EQ(QuLookupAddress(text, &address), 0) << text;
        EXPECT_EQ(address, loopback) << text;
    }
}

// Completed and refused connections depend on the system's own pace, so
// they run on the real clock, bounded by their deadline only; the
// deadlines themselves are tried on the simulated clock.
TEST_F(SocketsTest, ConnectionsWithinADeadline)
{
    ASSERT_EQ(QuStartSockets(), 0);
    const uint32_t loopback = Loopback();
    QuSocket socket = 12345;
    QuOverrideMilliseconds(nullptr);

    NetProbe refusing;
    ASSERT_TRUE(ProbeBindTcp(&refusing));
    EXPECT_EQ(QuEstablishConnection(loopback, refusing.port, QuGetTicks(), 600, &socket), kWsaRefused)
        << "the refusal's own code, whichever way the platform shows it";
    ProbeClose(&refusing);
    EXPECT_EQ(socket, kNoSocket);

    NetProbe server, accepted;
    ASSERT_TRUE(ProbeListenTcp(&server, 5));
    ASSERT_EQ(QuEstablishConnection(loopback, server.port, QuGetTicks(), 600, &socket), 0);
    ASSERT_NE(socket, kNoSocket);
    ASSERT_TRUE(ProbeAccept(server, &accepted));
    int32_t sent = 0;
    EXPECT_EQ(QuSendSome(socket, "request", 7, &sent), 0);
    EXPECT_EQ(sent, 7);
    char buffer[8];
    int32_t received = -1;
    EXPECT_EQ(QuReceiveSome(socket, buffer, sizeof buffer, &received), kWsaWouldBlock);
    QuCloseConnection(socket, QuGetTicks(), 600);
    EXPECT_EQ(ProbeReadToEnd(accepted), "request") << "sent, then closed by us";
    ProbeClose(&accepted);
    ProbeClose(&server);

    // A backlog of one, filled: a new connection stays in progress.
    QuSocket filler = kNoSocket;
    ASSERT_TRUE(ProbeListenTcp(&server, 0));
    ASSERT_EQ(QuEstablishConnection(loopback, server.port, QuGetTicks(), 600, &filler), 0);
    HsUseSimulatedClock(1000000);
    HsSetMillisecondsPerRead(16);
    socket = 12345;
    EXPECT_EQ(QuEstablishConnection(loopback, server.port, QuGetTicks(), 0, &socket), kErrTimedOut)
        << "a deadline already reached gives up before polling";
    EXPECT_EQ(socket, kNoSocket);
    uint32_t start = QuGetTicks();
    EXPECT_EQ(QuEstablishConnection(loopback, server.port, start, 30, &socket), kErrTimedOut);
    EXPECT_EQ(socket, kNoSocket);
    EXPECT_GE(QuGetTicks() - start, 30u);
    // Across the fall of the Ticks clock at the counter's wrap: still 30.
    HsSetMilliseconds(0xFFFFFFFFu - 200);
    start = QuGetTicks();
    EXPECT_EQ(QuEstablishConnection(loopback, server.port, start, 30, &socket), kErrTimedOut);
    EXPECT_LT(QuGetTicks(), 100u) << "the wait ended after the wrap, not before";
    QuCloseConnection(filler, QuGetTicks(), 600);
    ProbeClose(&server);
}

} // namespace
