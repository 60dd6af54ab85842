// Fails every fallible host callback in turn while a received datagram goes
// into the table and while each remote function runs: nothing stays locked
// or leaks, and the table's counters still agree with its records.
#include "remote_fixture.h"

namespace {

class RemoteFaultSweepTest : public RemoteTest {};

TEST_F(RemoteFaultSweepTest, ReceivingIntoTheTable)
{
    Listen("key");
    for (const std::string &payload : {std::string("F|S|id|text"), std::string("||id|silent")}) {
        const std::string tag = payload[0] == '|' ? "SCTR-DT" : "SCTR";
        SweepTableFaults(
            "datagram " + payload,
            [&] {
                AddStandardEvents();
                Deliver(Datagram(tag, "key", payload));
            },
            [&] { IdleAfter(1000); });
    }
}

TEST_F(RemoteFaultSweepTest, Functions)
{
    const std::string to = ToProbe() + "|127.0.0.1|";
    const std::string listen = "-portnumber 0||key";
    const struct {
        uint32_t index;
        std::string parameter;
    } calls[] = {
        {kStartListener, listen},
        {kStopListener, ""},
        {kSendRemoteEvent, to + "k|F|S|id|your|text"},
        {kSendRemoteEvent, "-silentEvent " + to + "|||"},
        {kSendRemoteEvent, to + "k|F"},
        {kGetIPAddress, "-defaultinterface"},
    };
    for (const auto &c : calls)
        SweepTableFaults(
            std::to_string(c.index) + " " + c.parameter, [] { Call(kStopListener, ""); },
            [&] { HsCallFunction(c.index, c.parameter); });
    std::string wire;
    while (ProbeReceive(probe, &wire, 0)) {
    }
}

} // namespace
