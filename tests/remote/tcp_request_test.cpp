// "Rous-SendRemoteEvent -tcprequest" from end to end, through the host's
// call, against the loopback servers of tests/servers: answers as curl
// receives them, time-outs, the close-after text, the buffer limit, the
// refusals, the diagnostic boxes, and all of it over TLS.
#include <stdio.h>

#include "support/fixture.h"
#include "support/message_boxes.h"
#include "support/net_probe.h"

#include "frame/host_overrides.h"
#include "frame/plugin_frame.h"
#include "remote/remote.h"
#include "remote/servers.h"
#include "remote/tcp_request.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const uint32_t kSendRemoteEvent = 6;

// Wine's SChannel (GnuTLS underneath) offers no TLS 1.3 to a program and
// resumes no session; where a case needs either, it is left out there.
bool UnderWine(void)
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

std::string Get(const std::string &path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: rouser-test\r\n\r\n";
}

std::string Error(int32_t code)
{
    return "$$" + std::to_string(code);
}

class TcpRequestTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        QuShowDebugMessages(false);
        // The servers answer in real time, so the deadlines run on the real clock.
        QuOverrideMilliseconds(nullptr);
    }

    void TearDown() override
    {
        QuOverrideTrustedRoot(nullptr, 0);
        PluginTest::TearDown();
    }

    // The tests trust the test authority alone, not the machine's roots.
    void TrustTestAuthority()
    {
        std::string der = TestAuthority();
        ASSERT_FALSE(der.empty());
        QuOverrideTrustedRoot(reinterpret_cast<const uint8_t *>(der.data()),
                              static_cast<int32_t>(der.size()));
    }

    std::string Call(const std::string &options, int port, const std::string &request,
                     const std::string &host = "127.0.0.1")
    {
        std::string parameter =
            "-tcprequest -portnumber=" + std::to_string(port) + " " + options + "|" + host + "|" + request;
        std::string result = HsCallFunction(kSendRemoteEvent, parameter).text;
        ExpectHostRulesKept();
        return result;
    }

    std::string Scripted(const std::string &path, const std::string &options = "")
    {
        return Call(options, Servers().scripted, Get(path));
    }

    // A count the scripted server keeps ("/count": connections, not counting
    // these queries; "/requests": requests read; "/resets"); -1 when it does
    // not answer with one. A port and options to ask one of its TLS fronts.
    int Counter(const std::string &path, int port = 0, const std::string &options = "")
    {
        std::string answer = Call(options, port != 0 ? port : Servers().scripted, Get(path));
        size_t body = answer.find("\r\n\r\n");
        return body == std::string::npos ? -1 : std::stoi(answer.substr(body + 4));
    }
};

// Answers as curl received them, chunked ones with the body curl decoded:
// those servers keep the connection open, so only the decoder ends them,
// and how the server writes its answer ("pieces") must not change it.
TEST_F(TcpRequestTest, AnswersAsCurlReceivesThem)
{
    REQUIRE_SERVERS();
    struct Case {
        std::string name, path;
        bool plainServer;
    };
    std::vector<Case> cases = {
        {"hello", "/hello.txt", true},
        {"1k", "/1k.txt", true},
        {"chunked-basic", "/chunked/basic", false},         // 5 and 3 bytes
        {"chunked-extension", "/chunked/extension", false}, // 1A;name=value
        {"chunked-hexcase", "/chunked/hexcase", false},     // 1a, A, f, F
        {"chunked-trailers", "/chunked/trailers", false},
        {"chunked-lastfield", "/chunked/lastfield", false},   // other letter case, last field
        {"chunked-notchunked", "/chunked/notchunked", false}, // "Transfer" in another field
        {"chunked-slow", "/chunked/slow", false},             // many small writes with pauses
    };
    for (const char *name : {"chunked", "plain"})
        for (const char *mode : {"once", "small", "bytes"})
            cases.push_back(
                {std::string("pieces-") + name, std::string("/pieces/") + mode + "/" + name, false});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        std::string expected = CurlReference(c.name, "raw");
        ASSERT_FALSE(expected.empty());
        if (c.plainServer) {
            EXPECT_EQ(Call("", Servers().plain, Get(c.path)), expected);
            continue;
        }
        size_t headerEnd = expected.find("\r\n\r\n");
        ASSERT_NE(headerEnd, std::string::npos);
        expected = expected.substr(0, headerEnd + 4) + CurlReference(c.name, "body");
        EXPECT_EQ(Scripted(c.path, "-timeoutsecs=20"), expected);
    }
}

// Answers that end before the server closes, or without one: time-outs
// (the host waits on the socket rather than spinning), the close-after text
// (which arrives in two reads; what follows it is dropped) and refusals.
TEST_F(TcpRequestTest, AnswersCutShortOrRefused)
{
    REQUIRE_SERVERS();
    const std::string closeAfter = "-timeoutsecs=20 -closeportafter=\"</html>\"";
    const struct {
        std::string path, options, answer;
    } cases[] = {
        {"/mute", "-timeoutticks=30", Error(-4230)}, // takes the request, says nothing
        {"/never-closes", "-timeoutticks=12", Error(-4230)},
        {"/close-after", closeAfter, "HTTP/1.0 200 OK\r\n\r\n<html><body>split</body></html>"},
        {"/close-after/chunked", closeAfter,
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n<html>hi</html>"},
        {"/silent", "-timeoutsecs=20", Error(-71)}, // closed without answering
    };
    for (const auto &c : cases)
        EXPECT_EQ(Scripted(c.path, c.options), c.answer) << c.path;
    EXPECT_EQ(Call("", Servers().refused, Get("/")), Error(10061)) << "nothing listening";
    EXPECT_EQ(HsCallFunction(kSendRemoteEvent, "-tcprequest|127.0.0.1|").text, Error(-50)) << "no request";
}

// After the answer the connection ends in order, also where the server has
// more to say or the request left data unread: the server sees no reset.
TEST_F(TcpRequestTest, ConnectionEndsWithoutAReset)
{
    REQUIRE_SERVERS();
    int before = Counter("/resets");
    ASSERT_GE(before, 0);
    EXPECT_EQ(Scripted("/close-after/trailing", "-timeoutsecs=20 -closeportafter=\"</html>\""),
              "HTTP/1.0 200 OK\r\n\r\n<html>done</html>");
    // The server keeps the connection open: the full buffer ends the request,
    // with unread data behind it.
    std::string big = CurlReference("big", "raw");
    ASSERT_GT(big.size(), 64000u);
    std::string result = Scripted("/big", "-timeoutsecs=60");
    EXPECT_EQ(result.size(), 64000u);
    EXPECT_TRUE(result == big.substr(0, 64000)) << result.substr(0, 200);
    EXPECT_EQ(Scripted("/chunked/basic", "-timeoutsecs=20").substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(Counter("/resets"), before);
}

TEST_F(TcpRequestTest, TimeoutOutOfRangeMakesNoConnection)
{
    REQUIRE_SERVERS();
    int before = Counter("/count");
    ASSERT_GE(before, 0);
    EXPECT_EQ(Scripted("/never-closes", "-timeoutsecs=301"), Error(-4228));
    EXPECT_EQ(Scripted("/never-closes", "-timeoutticks=18001"), Error(-4228));
    EXPECT_EQ(Counter("/count"), before);
    // The count does see a request that is made.
    EXPECT_EQ(Scripted("/silent", "-timeoutsecs=20"), Error(-71));
    EXPECT_EQ(Counter("/count"), before + 1);
}

TEST_F(TcpRequestTest, DiagnosticBoxesWhileSwitchedOn)
{
    REQUIRE_SERVERS();
    BoxesStartWatching();
    Call("-showdebugmessages", Servers().refused, Get("/"));
    Scripted("/silent", "-timeoutsecs=20"); // the switch stays on
    std::vector<ShownBox> boxes = BoxesStopWatching();
    const ShownBox expected[] = {
        {"QuEstablishConnection errorcode =", "10061"},
        {"RECV ERROR errorcode =", "-71"},
        {"*ioReturnedLen =", "0"},
        {"maxLen =", "64000"},
        {"the data =", ""},
    };
    ASSERT_EQ(boxes.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < boxes.size(); i++) {
        EXPECT_EQ(boxes[i].caption, expected[i].caption) << i;
        EXPECT_EQ(boxes[i].text, expected[i].text) << i;
    }

    BoxesStartWatching();
    Call("-stopdebugmessages", Servers().refused, Get("/"));
    Scripted("/silent", "-timeoutsecs=20");
    EXPECT_TRUE(BoxesStopWatching().empty());
}

TEST_F(TcpRequestTest, TimeOutAcrossTheTicksWrap)
{
    REQUIRE_SERVERS();
    // Ticks fall back to 0 a few reads into the request; the time-out still
    // runs its course instead of waiting for a deadline the clock never reaches.
    HsUseSimulatedClock(0xFFFFFFFFu - 200);
    HsSetMillisecondsPerRead(1);
    EXPECT_EQ(Scripted("/never-closes", "-timeoutticks=30"), Error(-4230));
    EXPECT_LT(QuGetTicks(), 1000u) << "the clock wrapped during the request";
}

TEST_F(TcpRequestTest, FailingHostCallbacks)
{
    REQUIRE_SERVERS();
    TrustTestAuthority();
    // Each fallible callback of a whole request, plain and over TLS, fails
    // in turn: an error result or the answer, and nothing left locked.
    const struct {
        std::string options;
        int port;
        std::string path, expected;
    } requests[] = {
        {"", Servers().plain, "/hello.txt", CurlReference("hello", "raw")},
        {"-tls -timeoutsecs=20", Servers().tls, "/chunked/basic",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\nhelloabc"},
    };
    for (const auto &r : requests) {
        for (int64_t n = 1; n < 100; n++) {
            HsFailNthFallible(n);
            std::string result = Call(r.options, r.port, Get(r.path));
            bool injected = HsFaultInjected();
            HsFailNthFallible(0);
            EXPECT_TRUE(result == r.expected || result.compare(0, 2, "$$") == 0 || result.empty())
                << r.path << " " << n << ": " << result;
            EXPECT_EQ(HsLockedHandles(), 0) << n;
            if (!injected) {
                EXPECT_EQ(result, r.expected) << r.path;
                break;
            }
        }
    }
}

// Over TLS the answers are those of the same server over plain TCP, byte
// for byte, however the server writes them (pieces of 7 bytes, records of
// 1 byte) and however they end (chunked, full buffer, close-after text).
TEST_F(TcpRequestTest, TlsAnswersAsOverPlainTcp)
{
    REQUIRE_SERVERS();
    TrustTestAuthority();
    const std::string closeAfter = "-closeportafter=\"</html>\"";
    const struct {
        std::string path, options;
    } cases[] = {
        {"/chunked/basic", ""},
        {"/chunked/extension", ""},
        {"/chunked/trailers", ""},
        {"/pieces/small/chunked", ""},
        {"/pieces/bytes/chunked", ""},
        {"/pieces/bytes/plain", ""},
        {"/big", ""},
        {"/close-after", closeAfter},
        {"/close-after/chunked", closeAfter},
    };
    for (const auto &c : cases) {
        std::string plain = Scripted(c.path, "-timeoutsecs=30 " + c.options);
        ASSERT_NE(plain.substr(0, 2), "$$") << c.path;
        EXPECT_TRUE(Call("-tls -timeoutsecs=30 " + c.options, Servers().tls, Get(c.path)) == plain) << c.path;
    }
}

// The certificate is checked unless -tlsNoVerify says otherwise, each fault
// with its own code; a host name goes out for SNI, an address does not.
TEST_F(TcpRequestTest, TlsCertificatesAndNames)
{
    REQUIRE_SERVERS();
    const std::string answered = "HTTP/1.0 200 OK\r\n\r\n";
    const LoopbackServers &s = Servers();
    const struct {
        int port;
        std::string host, options, answer;
        bool trustTest;
    } cases[] = {
        {s.tls, "127.0.0.1", "-tls", answered + "(none)", true},
        {s.tls, "localhost", "-TLS", answered + "localhost", true},
        {s.tls, "127.0.0.1", "-tls", Error(-4240),
         false}, // the machine's roots do not know the test authority
        {s.tlsOther, "127.0.0.1", "-tls", Error(-4241), true},
        {s.tlsOther, "localhost", "-tls", Error(-4241), true},
        {s.tlsExpired, "localhost", "-tls", Error(-4242), true},
        {s.tlsSelf, "localhost", "-tls", Error(-4240), true},
        {s.tlsOther, "localhost", "-tlsNoVerify", answered + "localhost", true},
        {s.tlsExpired, "127.0.0.1", "-tlsnoverify", answered + "(none)", true},
        {s.tlsSelf, "127.0.0.1", "-tlsNoVerify", answered + "(none)", false},
        // Options inside a quoted value are its text, not options.
        {s.tlsSelf, "localhost", "-tls -closeportafter=\"-tlsNoVerify\"", Error(-4240), true},
        {s.tlsSelf, "localhost", "-closeportafter=\"\" -tlsNoVerify", answered + "localhost", true},
    };
    for (const auto &c : cases) {
        int before = Counter("/requests", c.port, "-tlsNoVerify");
        if (c.trustTest)
            TrustTestAuthority();
        else
            QuOverrideTrustedRoot(nullptr, 0);
        EXPECT_EQ(Call(c.options + " -timeoutsecs=20", c.port, Get("/sni"), c.host), c.answer)
            << c.port << " " << c.host << " " << c.options;
        // A certificate that fails its check never gets to see the request.
        EXPECT_EQ(Counter("/requests", c.port, "-tlsNoVerify"), before + (c.answer[0] == '$' ? 0 : 1))
            << c.port;
    }
}

// A TLS request that cannot be made ends with an error and never as a
// success: a plain server, one that never answers the hello (within the
// deadline), nobody listening; and -tls without -tcprequest sends nothing.
TEST_F(TcpRequestTest, TlsRefusedOrFailed)
{
    REQUIRE_SERVERS();
    TrustTestAuthority();
    EXPECT_EQ(Call("-tls -timeoutsecs=20", Servers().plain, Get("/hello.txt")), Error(-4243));
    EXPECT_EQ(Call("-tls -timeoutticks=30", Servers().scripted, Get("/hello.txt")), Error(-4230));
    EXPECT_EQ(Call("-tls", Servers().refused, Get("/")), Error(10061));
    EXPECT_EQ(Call("-timeoutsecs=20 -closeportafter=\"-tls\"", Servers().scripted, Get("/whole/unframed")),
              "HTTP/1.0 200 OK\r\n\r\nuntil the close")
        << "a quoted -tls asks for no TLS";
    NetProbe probe;
    ASSERT_TRUE(ProbeOpenUdp(&probe));
    std::string to = std::to_string(probe.port) + "|127.0.0.1|key|File|Script|id|";
    EXPECT_EQ(HsCallFunction(kSendRemoteEvent, "-tls -portnumber=" + to).text, Error(-50));
    EXPECT_EQ(HsCallFunction(kSendRemoteEvent, "-tlsNoVerify -portnumber=" + to).text, Error(-50));
    std::string wire;
    EXPECT_FALSE(ProbeReceive(probe, &wire, 300)) << wire;
    EXPECT_EQ(HsCallFunction(kSendRemoteEvent, "-portnumber=" + to).text, "0");
    EXPECT_TRUE(ProbeReceive(probe, &wire)) << "the probe hears a datagram that is sent";
    ProbeClose(&probe);

    // What the boxes say of a certificate fault: the code and the system's number.
    BoxesStartWatching();
    Call("-showdebugmessages -tls", Servers().tlsSelf, Get("/"));
    std::vector<ShownBox> boxes = BoxesStopWatching();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption + boxes[0].text, "TLS errorcode =-4240");
    EXPECT_EQ(boxes[1].caption + boxes[1].text, "system error =0x800B0109");
}

// An answer is whole or an error. A close, which anyone on the path can
// fake, ends an answer only where its framing says it is complete, over TCP
// and over TLS 1.2 and 1.3 (no close_notify, the cut at a record's end);
// a TLS record cut in the middle is an error even in an unframed answer.
TEST_F(TcpRequestTest, AnswerWholeOrCutShort)
{
    REQUIRE_SERVERS();
    TrustTestAuthority();
    const LoopbackServers &s = Servers();
    const std::string cut = Error(-4237),
                      chunkedHead =
                          "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n\r\n";
    const struct {
        std::string path, answer, tlsAnswer; // tlsAnswer: when it differs
    } cases[] = {
        {"/cut/length", cut, ""},
        {"/cut/chunked", cut, ""},
        {"/cut/header", cut, ""},
        {"/cut/record", "HTTP/1.0 200 OK\r\n\r\nfirst record second record", cut},
        {"/whole/length", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789", ""},
        {"/whole/unframed", "HTTP/1.0 200 OK\r\n\r\nuntil the close", ""},
        {"/whole/chunked", chunkedHead + "helloabc", ""},
        {"/whole/nocontent", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", ""},
    };
    const struct {
        int port;
        std::string options;
    } links[] = {{s.scripted, ""}, {s.wire12, "-tls "}, {s.wire13, "-tls "}};
    for (const auto &l : links) {
        if (l.port == s.wire13 && UnderWine()) {
            printf("[  SKIPPED ] TLS 1.3: Wine's SChannel does not offer it\n");
            continue;
        }
        for (const auto &c : cases) {
            const std::string &expected = l.options.empty() || c.tlsAnswer.empty() ? c.answer : c.tlsAnswer;
            EXPECT_EQ(Call(l.options + "-timeoutsecs=20", l.port, Get(c.path)), expected) << l.port << c.path;
        }
        // An answer to HEAD has no body, whatever its Content-Length says.
        EXPECT_EQ(Call(l.options + "-timeoutsecs=20", l.port, "HEAD /cut/length HTTP/1.1\r\n\r\n"),
                  "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789")
            << l.port;
    }
    for (int port : {s.wire12, s.wire13}) {
        if (port != s.wire13 || !UnderWine()) {
            EXPECT_EQ(Call("-tls -timeoutsecs=20", port, Get("/whole/notify")),
                      "HTTP/1.0 200 OK\r\n\r\nended with close_notify")
                << port;
        }
    }
}

// Names as browsers check them, the same on both sides: a TLS link to
// 127.0.0.1 that asks for the name given, so that names no resolver knows
// can be tried.
TEST_F(TcpRequestTest, TlsNamesAsBrowsersCheckThem)
{
    REQUIRE_SERVERS();
    TrustTestAuthority();
    const LoopbackServers &s = Servers();
    const struct {
        int port;
        const char *name;
        int32_t status;
    } cases[] = {
        {s.tls, "localhost", 0},
        {s.tls, "localhost.", 0}, // the root's dot is no part of the name
        {s.tls, "LOCALHOST", 0},
        {s.tlsOther, "other.example.", 0},
        {s.tlsOther, "other.example..", -4241},
        {s.tlsCn, "foo.example.com", -4241},   // a Common Name without subjectAltName
        {s.tlsWild, "foo.example.com", -4241}, // f*.example.com: a partial wildcard
        {s.tlsWild, "a.wild.example.com", 0},  // *.wild.example.com
        {s.tlsWild, "a.b.wild.example.com", -4241},
        {s.tlsWild, "wild.example.com", -4241},
    };
    ASSERT_EQ(QuStartSockets(), 0);
    uint32_t ip;
    ASSERT_EQ(QuLookupAddress("127.0.0.1", &ip), 0);
    for (const auto &c : cases) {
        QuSocket socket;
        uint32_t start = QuGetTicks();
        ASSERT_EQ(QuEstablishConnection(ip, static_cast<uint16_t>(c.port), start, 1200, &socket), 0);
        QuLink link;
        QuLinkPlain(&link, socket);
        EXPECT_EQ(QuLinkStartTls(&link, c.name, static_cast<uint16_t>(c.port), true, start, 1200), c.status)
            << c.port << " " << c.name;
        QuLinkClose(&link, false, start, 1200);
    }
}

// What the session agrees to: TLS 1.2 at least, no renegotiation (here in
// the middle of an answer), and no client certificate where the server
// asks for one without requiring it.
TEST_F(TcpRequestTest, TlsProtocolsAndRequests)
{
    REQUIRE_SERVERS();
    TrustTestAuthority();
    const LoopbackServers &s = Servers();
    EXPECT_EQ(Call("-tls -timeoutsecs=20", s.tls11, Get("/sni"), "localhost"), Error(-4243)) << "TLS 1.1";
    EXPECT_EQ(Call("-tlsNoVerify -timeoutsecs=20", s.tls11, Get("/sni"), "localhost"), Error(-4243))
        << "TLS 1.1, unchecked";
    EXPECT_EQ(Call("-tls -timeoutsecs=20", s.tlsAsks, Get("/sni"), "localhost"),
              "HTTP/1.0 200 OK\r\n\r\nlocalhost");
    EXPECT_EQ(Call("-tls -timeoutsecs=5", s.wire12, Get("/renegotiate"), "localhost"), Error(-4243));
}

// A repeated request resumes the TLS session of the last one that
// succeeded, for the same name, port and checks only: never a session made
// without the certificate checks for a request that asks for them.
TEST_F(TcpRequestTest, TlsSessionResumesForTheSamePeerOnly)
{
    REQUIRE_SERVERS();
    TrustTestAuthority();
    const int port = Servers().tls;
    const struct {
        std::string options, host, path, answer;
    } steps[] = {
        {"-tls", "localhost", "/resumed", "0"},
        {"-tls", "localhost", "/resumed", "1"},
        {"-tlsNoVerify", "localhost", "/resumed", "0"},
        {"-tlsNoVerify", "localhost", "/resumed", "1"},
        {"-tls", "localhost", "/resumed", "0"},
        {"-tls", "127.0.0.1", "/resumed", "0"}, // another name
        {"-tls", "127.0.0.1", "/resumed", "1"},
        {"-tls", "127.0.0.1", "/cut/length", Error(-4237)}, // a failed request keeps nothing
        {"-tls", "127.0.0.1", "/resumed", "0"},
    };
    for (const auto &step : steps) {
        if (step.answer == "1" && UnderWine()) {
            printf("[  SKIPPED ] a resumed session: Wine's SChannel resumes none\n");
            continue;
        }
        std::string answer = Call(step.options + " -timeoutsecs=20", port, Get(step.path), step.host);
        if (answer.compare(0, 2, "$$") != 0)
            answer = answer.substr(answer.find("\r\n\r\n") + 4);
        EXPECT_EQ(answer, step.answer) << step.options << " " << step.host << " " << step.path;
    }
}

} // namespace
