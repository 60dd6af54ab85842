// The tests' own sockets on the loopback address, apart from the plug-in's
// socket layer, to see what it puts on the wire and to feed it datagrams.
#ifndef ROUSER_TEST_NET_PROBE_H
#define ROUSER_TEST_NET_PROBE_H

#include <stdint.h>

#include <string>

struct NetProbe {
    intptr_t socket = -1;
    uint16_t port = 0; // the local port it is bound to
};

// A UDP socket bound to `port` (0: any free one) on 127.0.0.1, or on every
// interface when `anyAddress`; false when it cannot be made.
bool ProbeOpenUdp(NetProbe *probe, uint16_t port = 0, bool anyAddress = false);
// One datagram, waiting up to `ms` of real time for it; false when none came.
bool ProbeReceive(NetProbe &probe, std::string *datagram, int ms = 2000);
// Sends `bytes` as one datagram to 127.0.0.1:port.
bool ProbeSend(NetProbe &probe, uint16_t port, const std::string &bytes);
// A TCP socket listening on 127.0.0.1 with this accept backlog.
bool ProbeListenTcp(NetProbe *probe, int backlog);
// Waits up to `ms` for a connection and accepts it.
bool ProbeAccept(NetProbe &listener, NetProbe *connection, int ms = 2000);
// Bytes on a connection until the peer closes it, waiting up to `ms` in all.
std::string ProbeReadToEnd(NetProbe &connection, int ms = 2000);
void ProbeClose(NetProbe *probe);
// A TCP socket bound on 127.0.0.1 that never listens: while it is held,
// a connection to its port is refused, and nobody else can take the port.
bool ProbeBindTcp(NetProbe *probe);
// The local port of any IPv4 socket of this process (the plug-in's listener,
// started on port 0, for one); 0 when it has none.
uint16_t ProbeLocalPort(intptr_t socket);

#endif
