// Sealed remote events: the system's primitives against published vectors,
// and what a listener does with sealed datagrams that are genuine, replayed,
// changed, stale, unsealed or from a sender it does not allow.
#include "remote_fixture.h"

#include <map>

#include "remote/os_crypto.h"

namespace {

std::string Hex(const uint8_t *bytes, size_t count)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; i++)
        text += std::string(1, kDigits[bytes[i] >> 4]) + kDigits[bytes[i] & 15];
    return text;
}

std::vector<uint8_t> Unhex(const std::string &text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// RFC 7914, section 11, and the usual PBKDF2-HMAC-SHA-256 vectors.
TEST(SealPrimitives, Pbkdf2HmacSha256Vectors)
{
    const struct {
        std::string password, salt;
        uint32_t iterations;
        std::string derived;
    } cases[] = {
        {"passwd", "salt", 1,
         "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b39d77ef317c7"
         "1b845b1"
         "e30bd509112041d3a19783"},
        {"Password", "NaCl", 80000,
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a1225833549adb841b51c9b3176a2"
         "72bdebb"
         "a1d078478f62b397f33c8d"},
        {"password", "salt", 4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> out(c.derived.size() / 2);
        ASSERT_EQ(QuOsDeriveKey(reinterpret_cast<const uint8_t *>(c.password.data()),
                                static_cast<int32_t>(c.password.size()),
                                reinterpret_cast<const uint8_t *>(c.salt.data()),
                                static_cast<int32_t>(c.salt.size()), c.iterations, out.data(),
                                static_cast<int32_t>(out.size())),
                  0)
            << c.password;
        EXPECT_EQ(Hex(out.data(), out.size()), c.derived) << c.password;
    }
}

// The AES-256 cases of the GCM paper (McGrew and Viega, test cases
// 13 to 16), which NIST's validation vectors include; each sealed, opened,
// and refused with one bit of its tag, its text or its extra data changed.
TEST(SealPrimitives, AesGcmVectors)
{
    const std::string key1 = "feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308";
    const std::string plain1 =
        "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e"
        "2449a6b525b16aedf5aa0de657ba637b39";
    const struct {
        std::string key, nonce, extra, plain, cipher, tag;
    } cases[] = {
        {std::string(64, '0'), std::string(24, '0'), "", "", "", "530f8afbc74536b9a963b4f1c4cb738b"},
        {std::string(64, '0'), std::string(24, '0'), "", std::string(32, '0'),
         "cea7403d4d606b6e074ec5d3baf39d18", "d0d1c8a799996bf0265b98b5d48ab919"},
        {key1, "cafebabefacedbaddecaf888", "", plain1 + "1aafd255",
         "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b1056828838c5f"
         "61e63"
         "93ba7a0abcc9f662898015ad",
         "b094dac5d93471bdec1a502270e3cc6c"},
        {key1, "cafebabefacedbaddecaf888", "feedfacedeadbeeffeedfacedeadbeefabaddad2", plain1,
         "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b1056828838c5f"
         "61e63"
         "93ba7a0abcc9f662",
         "76fc6ece0f4e1768cddf8853bb2d551b"},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> key = Unhex(c.key), nonce = Unhex(c.nonce), extra = Unhex(c.extra),
                             plain = Unhex(c.plain);
        std::vector<uint8_t> cipher(plain.size() + 1), tag(kGcmTagSize), opened(plain.size() + 1);
        ASSERT_EQ(QuOsGcm(true, key.data(), nonce.data(), extra.data(), static_cast<int32_t>(extra.size()),
                          plain.data(), static_cast<int32_t>(plain.size()), cipher.data(), tag.data()),
                  0);
        EXPECT_EQ(Hex(cipher.data(), plain.size()), c.cipher);
        EXPECT_EQ(Hex(tag.data(), tag.size()), c.tag);
        auto open = [&](std::vector<uint8_t> x, std::vector<uint8_t> ct, std::vector<uint8_t> t) {
            return QuOsGcm(false, key.data(), nonce.data(), x.data(), static_cast<int32_t>(x.size()),
                           ct.data(), static_cast<int32_t>(plain.size()), opened.data(), t.data());
        };
        if (plain.empty()) {
            // Nothing to open is refused, whatever the tag.
            EXPECT_EQ(open(extra, cipher, tag), kNtInvalidParameter);
            continue;
        }
        ASSERT_EQ(open(extra, cipher, tag), 0);
        EXPECT_EQ(Hex(opened.data(), plain.size()), c.plain);
        std::vector<uint8_t> changed = tag;
        changed[15] ^= 1;
        EXPECT_EQ(open(extra, cipher, changed), kNtAuthTagMismatch);
        changed = cipher;
        changed[0] ^= 0x80;
        EXPECT_EQ(open(extra, changed, tag), kNtAuthTagMismatch);
        if (!extra.empty()) {
            changed = extra;
            changed.back() ^= 1;
            EXPECT_EQ(open(changed, cipher, tag), kNtAuthTagMismatch);
        }
    }
    uint8_t a[16] = {0}, b[16] = {0};
    ASSERT_EQ(QuOsRandomBytes(a, 16), 0);
    ASSERT_EQ(QuOsRandomBytes(b, 16), 0);
    EXPECT_NE(Hex(a, 16), Hex(b, 16));
}

const char kKey[] = "t0p-s3cret-key-for-tests";
const int64_t kUtcStart = 1796000000000; // December 2026

class SealedTest : public RemoteTest {
protected:
    void SetUp() override
    {
        RemoteTest::SetUp();
        HsSetUtcMilliseconds(kUtcStart);
    }
    // Starts the listener with these options and the test's key.
    void ListenWith(const std::string &options, const std::string &key = kKey)
    {
        ASSERT_EQ(Call(kStartListener, "-portnumber 0 " + options + "||" + key), "0");
        port = ProbeLocalPort(ListenerSocket);
    }
    // A sealed event sent to the probe and caught there.
    // The host quits, starts again `ms` later on the UTC clock and listens.
    void RestartAndListen(int64_t ms)
    {
        HsShutdown();
        QuResetLoadState();
        HsAdvanceUtcMilliseconds(ms);
        ASSERT_EQ(HsStartup(50), 4);
        ListenWith("");
    }
    std::string Capture(const std::string &rest = "Contacts|Nightly report|run-7|hello there",
                        const std::string &options = "")
    {
        EXPECT_EQ(
            Call(kSendRemoteEvent, ToProbe() + " -sealed " + options + "|127.0.0.1|" + kKey + "|" + rest),
            "0");
        std::string datagram;
        EXPECT_TRUE(ProbeReceive(probe, &datagram));
        return datagram;
    }
    // Delivers each datagram and idles until the listener has taken them all.
    size_t Accepted(const std::vector<std::string> &datagrams)
    {
        size_t before = Events().size();
        for (const std::string &d : datagrams)
            Deliver(d);
        for (int i = 0; i < 8; i++)
            IdleAfter(1000);
        return Events().size() - before;
    }
    std::string Dropped() { return Call(kGetEventInfo, "-getDroppedCount"); }
    std::string Reason() { return Call(kGetEventInfo, "-getLastDropReason"); }
};

TEST_F(SealedTest, GenuineEventStartsItsScriptAndTheWireShowsNothing)
{
    HsOpenFile("Contacts", {"Nightly report"});
    ListenWith("-sealedOnly");
    EXPECT_EQ(Dropped(), "0");
    EXPECT_EQ(Reason(), "");
    std::string first = Capture(), second = Capture();
    for (const char *secret : {kKey, "Contacts", "Nightly report", "run-7", "hello there", "QUIL", "SCTR"})
        EXPECT_EQ(first.find(secret), std::string::npos) << secret;
    EXPECT_NE(first, second) << "two sealings of one event";
    // The reader of plain datagrams, unchanged from the version before, finds
    // no header: the text ends at the first byte.
    QuRemoteEvent plainView;
    EXPECT_FALSE(QuReadDatagram(first.data(), static_cast<int32_t>(first.size()), &plainView));
    EXPECT_FALSE(QuReadDatagram(second.data(), static_cast<int32_t>(second.size()), &plainView));
    EXPECT_EQ(first.size(),
              static_cast<size_t>(kSealOverhead) + strlen("Contacts|Nightly report|run-7|hello there"));
    EXPECT_EQ(Accepted({first}), 1u);
    EXPECT_EQ(HsTakeStarts().size(), 1u);
    EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getYourText"), "hello there");
    EXPECT_EQ(Call(kGetEventInfo, "-lastTriggered -getYourID"), "run-7");
    // Silent and background marks travel inside the seal.
    EXPECT_EQ(
        Accepted({second, Capture("||note|kept", "-silentEvent"), Capture("F|S||", "-dontGoToForeground")}),
        3u);
    std::vector<EventView> events = Events();
    EXPECT_EQ(events[events.size() - 2].flags, kFlagSilent);
    EXPECT_EQ(events.back().flags, kFlagBackground);
    EXPECT_EQ(Dropped(), "0");
}

// Once, twenty times, after the listener's restart and after the host's:
// a captured datagram starts nothing again.
TEST_F(SealedTest, ReplaysStartNothing)
{
    ListenWith("");
    std::string captured = Capture();
    ASSERT_EQ(Accepted({captured}), 1u);
    EXPECT_EQ(Accepted({captured}), 0u);
    EXPECT_EQ(Reason(), "replay");
    EXPECT_EQ(Accepted(std::vector<std::string>(20, captured)), 0u);
    EXPECT_EQ(Dropped(), "21");
    EXPECT_EQ(Call(kStopListener, ""), "0");
    ListenWith("");
    EXPECT_EQ(Dropped(), "0") << "counted since the start";
    EXPECT_EQ(Accepted({captured}), 0u);
    EXPECT_EQ(Reason(), "replay");
    // A host restart loses the memory; the datagram predates the new start.
    RestartAndListen(2000);
    EXPECT_EQ(Accepted({captured}), 0u);
    EXPECT_EQ(Reason(), "replay");
    // A fresh one from after the start is taken.
    HsAdvanceUtcMilliseconds(1);
    EXPECT_EQ(Accepted({Capture()}), 1u);
}

// A sender whose clock runs ahead stamps past the listener's restart: the
// kept mark still refuses the datagram it took before.
TEST_F(SealedTest, ReplayFromASenderAheadAfterRestartStartsNothing)
{
    ListenWith("");
    HsAdvanceUtcMilliseconds(60000);
    std::string ahead = Capture();
    HsAdvanceUtcMilliseconds(-60000);
    ASSERT_EQ(Accepted({ahead}), 1u);
    RestartAndListen(5000);
    EXPECT_EQ(Accepted({ahead}), 0u);
    EXPECT_EQ(Reason(), "replay");
    // Past the mark, a fresh one is taken.
    HsAdvanceUtcMilliseconds(56000);
    EXPECT_EQ(Accepted({Capture()}), 1u);
}

// A datagram forgotten once out of the window is still refused when the
// listener's clock is set back into it.
TEST_F(SealedTest, ReplayAfterTheClockIsSetBackStartsNothing)
{
    ListenWith("");
    std::string first = Capture();
    ASSERT_EQ(Accepted({first}), 1u);
    HsAdvanceUtcMilliseconds(200000);
    ASSERT_EQ(Accepted({Capture()}), 1u);
    HsAdvanceUtcMilliseconds(-200000);
    EXPECT_EQ(Accepted({first}), 0u);
    EXPECT_EQ(Reason(), "replay");
}

TEST_F(SealedTest, EverySingleBitChangeStartsNothing)
{
    ListenWith("");
    std::string captured = Capture("F|S|id|t");
    std::vector<std::string> changed;
    for (size_t bit = 0; bit < captured.size() * 8; bit++) {
        std::string d = captured;
        d[bit / 8] = static_cast<char>(d[bit / 8] ^ (1 << (bit % 8)));
        changed.push_back(d);
    }
    std::map<std::string, int> reasons;
    for (size_t i = 0; i < changed.size(); i += 32) {
        std::vector<std::string> batch(changed.begin() + i,
                                       changed.begin() + std::min(i + 32, changed.size()));
        EXPECT_EQ(Accepted(batch), 0u) << "bits from " << i;
    }
    EXPECT_EQ(Dropped(), std::to_string(changed.size()));
    // The original was never taken in, so it still is.
    EXPECT_EQ(Accepted({captured}), 1u);
}

// Which reason each drop gives, and what the drop count says.
TEST_F(SealedTest, EachDropNamesItsReason)
{
    QuSealKey other = {};
    ASSERT_EQ(QuDeriveSealKey("another key", &other), 0);
    QuSealKey mine = {};
    ASSERT_EQ(QuDeriveSealKey(kKey, &mine), 0);
    auto seal = [](const QuSealKey &k, int64_t stamp, int32_t flags = 0, const std::string &p = "F|S||") {
        char d[kDatagramSize];
        int32_t n = 0;
        EXPECT_EQ(QuSealDatagram(&k, stamp, flags, p.data(), static_cast<int32_t>(p.size()), d, &n), 0);
        return std::string(d, n);
    };
    std::string forged = seal(mine, kUtcStart + 5);
    forged[30] ^= 4;
    std::string forgedCheck = seal(mine, kUtcStart + 5);
    forgedCheck[9] ^= 4;
    ListenWith("");
    const struct {
        std::string what, datagram, reason;
        size_t accepted;
    } cases[] = {
        {"another key", seal(other, kUtcStart + 5), "wrong key", 0},
        {"changed text", forged, "bad seal", 0},
        {"changed key check", forgedCheck, "wrong key", 0},
        {"121 s early", seal(mine, kUtcStart - 121000), "outside time window", 0},
        {"121 s late", seal(mine, kUtcStart + 121000), "outside time window", 0},
        {"119 s late", seal(mine, kUtcStart + 119000), "", 1},
        {"unknown flags", seal(mine, kUtcStart + 6, 1), "malformed", 0},
        {"cut short", seal(mine, kUtcStart + 7).substr(0, kSealOverhead - 1), "malformed", 0},
        {"plain, wrong key", Datagram("SCTR", "nope", "F|S||"), "wrong key", 0},
        {"plain, broken", "QUIL DATAGRAM 1.0|SCT", "malformed", 0},
        {"plain, right key", Datagram("SCTR", kKey, "F|S||"), "", 1},
    };
    int dropped = 0;
    for (const auto &c : cases) {
        EXPECT_EQ(Accepted({c.datagram}), c.accepted) << c.what;
        dropped += c.accepted == 0;
        if (c.accepted == 0) {
            EXPECT_EQ(Reason(), c.reason) << c.what;
        }
        EXPECT_EQ(Dropped(), std::to_string(dropped)) << c.what;
    }
    // 121 s early from the other side: the clock has moved on.
    HsAdvanceUtcMilliseconds(240000);
    EXPECT_EQ(Accepted({seal(mine, kUtcStart + 119000)}), 0u);
    EXPECT_EQ(Reason(), "outside time window");
    // Under -sealedOnly the plain one with the right key is dropped.
    Call(kStopListener, "");
    ListenWith("-sealedOnly");
    EXPECT_EQ(Accepted({Datagram("SCTR", kKey, "F|S||")}), 0u);
    EXPECT_EQ(Reason(), "not sealed");
    // A listener without a key opens no seal.
    Call(kStopListener, "");
    ListenWith("", "");
    EXPECT_EQ(Accepted({seal(mine, kUtcStart + 240000)}), 0u);
    EXPECT_EQ(Reason(), "wrong key");
}

// The memory of accepted datagrams: full, it refuses; entries leave it
// once their time is out of the window.
TEST_F(SealedTest, FullMemoryRefusesUntilTimesRunOut)
{
    ListenWith("");
    QuSealKey mine = {};
    ASSERT_EQ(QuDeriveSealKey(kKey, &mine), 0);
    // Silent events straight to the handler: the memory holds more than the
    // table, and no socket buffer need hold them.
    auto handle = [&](int64_t stamp) {
        bool taken = false;
        Inside([&] {
            char d[kDatagramSize];
            int32_t n = 0;
            EXPECT_EQ(QuSealDatagram(&mine, stamp, kFlagSilent, "||", 2, d, &n), 0);
            taken = QuHandleRemoteEvent(d, n);
        });
        return taken;
    };
    int accepted = 0;
    for (int i = 0; i < 2049; i++)
        accepted += handle(kUtcStart + i);
    EXPECT_EQ(accepted, 2048);
    EXPECT_EQ(Reason(), "replay");
    HsAdvanceUtcMilliseconds(120000 + 2049);
    EXPECT_FALSE(handle(kUtcStart + 2048)) << "now outside the window";
    EXPECT_TRUE(handle(kUtcStart + 240000));
}

TEST_F(SealedTest, AllowFromListsAndTheirMistakes)
{
    const struct {
        std::string options, answer;
        bool taken;
    } cases[] = {
        {"-allowFrom 127.0.0.1", "0", true},
        {"-allowFrom=10.0.0.0/8,127.0.0.0/8", "0", true},
        {"-allowfrom 127.0.0.5/0", "0", true},
        {"-allowFrom 127.0.0.2", "0", false},
        {"-allowFrom 192.168.1.0/24,10.0.0.5", "0", false},
        {"-allowFrom 127.1.0.0/16", "0", false},
        {"-allowFrom", "$$-50", false},
        {"-allowFrom 127.0.0.1,", "$$-50", false},
        {"-allowFrom 127.0.0", "$$-50", false},
        {"-allowFrom 127.0.0.256", "$$-50", false},
        {"-allowFrom 127.0.0.1/33", "$$-50", false},
        {"-allowFrom 127.0.0.1/", "$$-50", false},
        {"-allowFrom 127.0.0.1;10.0.0.1", "$$-50", false},
        {"-allowFrom localhost", "$$-50", false},
        {"-allowFrom 0127.0.0.1", "$$-50", false},
        {"-sealedOnly", "$$-50", false}, // with no key
    };
    for (const auto &c : cases) {
        Call(kStopListener, "");
        std::string key = c.options == "-sealedOnly" ? "" : kKey;
        ASSERT_EQ(Call(kStartListener, "-portnumber 0 " + c.options + "||" + key), c.answer) << c.options;
        if (c.answer != "0") {
            EXPECT_EQ(ListenerSocket, kNoSocket) << c.options;
            continue;
        }
        port = ProbeLocalPort(ListenerSocket);
        EXPECT_EQ(Accepted({Datagram("SCTR", kKey, "F|S||")}), c.taken ? 1u : 0u) << c.options;
        EXPECT_EQ(Reason(), c.taken ? "" : "sender not allowed") << c.options;
    }
    // A list refused changes nothing, not even the key.
    ListenWith("", "kept");
    EXPECT_EQ(Call(kStartListener, "-allowFrom 1.2.3||other"), "$$-50");
    EXPECT_EQ(std::string(ListenerKey), "kept");
}

TEST_F(SealedTest, SenderRefusesWhatItCannotSeal)
{
    const std::string text5000(5000, 'x');
    const struct {
        std::string parameter, answer;
    } cases[] = {
        {ToProbe() + " -sealed|127.0.0.1||F|S||", "$$-50"},
        {ToProbe() + " -sealed -tcprequest|127.0.0.1|" + kKey + "|GET / HTTP/1.0\r\n\r\n", "$$-50"},
        {ToProbe() + " -sealed|127.0.0.1|" + kKey + "|F|S||" + text5000, "0"},
        {ToProbe() + " -sealed|127.0.0.1|" + kKey + "|" + std::string(999, 'f') + "|S||" + text5000, "0"},
        {ToProbe() + " -sealed|127.0.0.1|" + kKey + "|" + std::string(999, 'f') + "|" +
             std::string(999, 's') + "||" + text5000,
         "$$-50"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Call(kSendRemoteEvent, c.parameter), c.answer) << c.parameter.substr(0, 60);
        std::string datagram;
        EXPECT_EQ(ProbeReceive(probe, &datagram, c.answer == "0" ? 2000 : 100), c.answer == "0");
        EXPECT_LE(datagram.size(), static_cast<size_t>(kDatagramSize));
    }
}

} // namespace
