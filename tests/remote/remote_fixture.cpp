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
    port = FreeUdpPort();
    ASSERT_NE(port, 0);
    ASSERT_EQ(Call(kStartListener, "-portnumber " + std::to_string(port) + "||" + key), "0");
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
