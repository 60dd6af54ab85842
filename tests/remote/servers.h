// The loopback servers of tests/servers/serve.py: Python's http.server for
// plain answers, a scripted server for everything else (also over TLS),
// and what curl received from them. scripts/test starts them once for every row and
// names their folder in ROUSER_TEST_SERVERS; without it the POSIX tests
// start their own, which end with the test program.
#ifndef ROUSER_TEST_SERVERS_H
#define ROUSER_TEST_SERVERS_H

#include <string>

struct LoopbackServers {
    bool ready = false;
    std::string why; // when not ready
    int plain = 0, scripted = 0, refused = 0;
    // The scripted server over TLS with the test authority's certificate
    // for 127.0.0.1 and localhost, one for another name, an expired one and
    // a self-signed one.
    int tls = 0, tlsOther = 0, tlsExpired = 0, tlsSelf = 0;
    // A certificate with a Common Name alone, one with wildcards; with the
    // "tls" certificate: TLS 1.2 and 1.3 whose bytes on the wire the server
    // picks, TLS 1.1 alone, a server that asks for a client certificate.
    int tlsCn = 0, tlsWild = 0, wire12 = 0, wire13 = 0, tls11 = 0, tlsAsks = 0;
    std::string folder;
};

// Starts them at the first use.
const LoopbackServers &Servers(void);
// What curl received for a case of serve.py: "raw" (curl --raw -i) or
// "body" (the body curl decoded).
std::string CurlReference(const std::string &name, const std::string &kind);

// Ends the case when the servers cannot be had: a failure where the test
// program can start them, a skip under Wine without scripts/test.
#define REQUIRE_SERVERS()                                                                                    \
    do {                                                                                                     \
        const LoopbackServers &servers_ = Servers();                                                         \
        if (!servers_.ready) {                                                                               \
            if (ServersOptional())                                                                           \
                GTEST_SKIP() << servers_.why;                                                                \
            FAIL() << servers_.why;                                                                          \
        }                                                                                                    \
    } while (0)

bool ServersOptional(void);

// The test authority's certificate, DER.
std::string TestAuthority(void);

#endif
