// Remote events through the entry point: a listener on a port the system
// chose, datagrams fed to it and caught from it by the tests'
// own sockets, and polls on the simulated clock.
#ifndef ROUSER_TEST_REMOTE_FIXTURE_H
#define ROUSER_TEST_REMOTE_FIXTURE_H

#include "scheduler/events.h"
#include "support/net_probe.h"

#include "remote/remote.h"
#include "trigger/trigger.h"

enum { kGetIPAddress = 4, kSendRemoteEvent = 6, kStartListener = 8, kStopListener = 9 };

// Bytes from a literal, its NULs included (the literal's own last one not).
template <size_t N> std::string Bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

// A datagram as the writer lays it out: header, tag, key, then the payload
// and the NUL.
std::string Datagram(const std::string &tag, const std::string &key, const std::string &payload);

class RemoteTest : public EventTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the plug-in's listener on a port the system chooses, with this key.
    void Listen(const std::string &key = "");
    // One datagram from the probe to the listener's port.
    void Deliver(const std::string &bytes);
    // One idle call after the clock has moved on by `ms`.
    void IdleAfter(uint32_t ms);
    // Ticks from now to the next poll.
    int64_t TicksToNextPoll() const;
    // "-portnumber N", for the probe's port.
    std::string ToProbe() const;
    NetProbe probe;    // bound to a port of its own on 127.0.0.1
    uint16_t port = 0; // the listener's
};

#endif
