#include "remote_fixture.h"

std::string Datagram(const std::string &tag, const std::string &key, const std::string &payload)
{
    return "QUIL DATAGRAM 1.0|" + tag + "|" + key + "|" + payload + std::string(1, '\0');
}

void RemoteTest::SetUp()
{
    EventTest::SetUp();
    ASSERT_TRUE(ProbeOpenUdp(&probe));
}

void RemoteTest::TearDown()
{
    ProbeClose(&probe);
    EventTest::TearDown();
}

void RemoteTest::Listen(const std::string &key)
{
    // Port 0: the system chooses one that is free, and the listener holds it.
    ASSERT_EQ(Call(kStartListener, "-portnumber 0||" + key), "0");
    port = ProbeLocalPort(ListenerSocket);
    ASSERT_NE(port, 0);
}

void RemoteTest::Deliver(const std::string &bytes)
{
    ASSERT_TRUE(ProbeSend(probe, port, bytes));
}

void RemoteTest::IdleAfter(uint32_t ms)
{
    HsAdvanceMilliseconds(ms);
    HsIdle(0);
}

int64_t RemoteTest::TicksToNextPoll() const
{
    return static_cast<int64_t>(NextPollTicks) - static_cast<int64_t>(QuGetTicks());
}

std::string RemoteTest::ToProbe() const
{
    return "-portnumber " + std::to_string(probe.port);
}
