// The response decoder, the chunk-size reader and the close-after search,
// fed every way a stream can be cut into reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/plugin_frame.h"
#include "remote/tcp_request.h"

namespace {

struct Decoded {
    int32_t status = 0;
    QuHttpState state = kHttpAwaitHeader;
    std::string data;
};

// What the receive loop does with the decoder: append each read, decode,
// stop at an error or a complete chunked body; the chunked flag makes one
// more run at the end.
Decoded Feed(const std::string &input, const std::vector<size_t> &cuts, int32_t capacity = kResponseCapacity)
{
    std::vector<char> buffer(capacity);
    int32_t length = 0;
    QuHttpDecoder decoder;
    QuStartHttpDecoder(&decoder);
    Decoded out;
    size_t from = 0;
    for (size_t i = 0; i <= cuts.size() && out.status == 0 && out.state != kHttpComplete; i++) {
        size_t to = i < cuts.size() ? cuts[i] : input.size();
        size_t room = static_cast<size_t>(capacity - length);
        size_t n = std::min(to - from, room);
        std::copy(input.begin() + from, input.begin() + from + n, buffer.begin() + length);
        length += static_cast<int32_t>(n);
        from = to;
        out.status = QuDecodeHTTPResponse(&decoder, buffer.data(), &length);
        out.state = decoder.state;
        EXPECT_GE(length, 0);
        EXPECT_LE(length, capacity);
        if (out.state != kHttpAwaitHeader) {
            EXPECT_LE(decoder.headerEnd, decoder.chunkPos);
            EXPECT_LE(decoder.chunkPos, length);
        }
    }
    if (out.status == 0 && decoder.chunked) {
        out.status = QuDecodeHTTPResponse(&decoder, buffer.data(), &length);
        out.state = decoder.state;
    }
    out.data.assign(buffer.data(), static_cast<size_t>(length));
    return out;
}

std::string Printable(const std::string &text)
{
    std::string out;
    for (char c : text)
        out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

// On an error the request discards what arrived, so only the status and
// the state are compared then.
struct DecodeCase {
    const char *name;
    std::string input;
    int32_t status;
    QuHttpState state;
    std::string result;
};

const std::string kChunkedHeader = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nServer: t\r\n\r\n";
const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";
// A result that is the input itself: nothing to decode, or waiting.
const std::string kAsItCame = "=";

std::vector<DecodeCase> DecodeCases()
{
    std::string lastField = "HTTP/1.1 200 OK\r\nServer: t\r\ntRANSFER-eNCODING: CHUNKED\r\n\r\n";
    return {
        {"plain body", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", 0, kHttpPlainBody, kAsItCame},
        {"header not complete", "HTTP/1.0 200 OK\r\nServer: t\r\n", 0, kHttpAwaitHeader, kAsItCame},
        {"two chunks of 5 and 3", kChunkedHeader + "5\r\nhello\r\n3\r\nabc\r\n0\r\n\r\n", 0, kHttpComplete,
         kChunkedHeader + "helloabc"},
        {"size line 1A with an extension", kChunkedHeader + "1A;name=value\r\n" + kAlphabet + "\r\n0\r\n\r\n",
         0, kHttpComplete, kChunkedHeader + kAlphabet},
        {"lower-case hex", kChunkedHeader + "1a\r\n" + kAlphabet + "\r\na\r\n0123456789\r\n0\r\n\r\n", 0,
         kHttpComplete, kChunkedHeader + kAlphabet + "0123456789"},
        {"trailer fields dropped", kChunkedHeader + "3\r\nabc\r\n0\r\nX-Check: 1\r\nX-More: 2\r\n\r\n", 0,
         kHttpComplete, kChunkedHeader + "abc"},
        {"field in other case and last", lastField + "4\r\nwxyz\r\n0\r\n\r\n", 0, kHttpComplete,
         lastField + "wxyz"},
        {"Transfer in another field", "HTTP/1.1 200 OK\r\nX-Transfer: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         0, kHttpPlainBody, kAsItCame},
        {"chunked field only in the body", "HTTP/1.1 200 OK\r\n\r\nTransfer-Encoding: chunked\r\n\r\n", 0,
         kHttpPlainBody, kAsItCame},
        {"other coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n1\r\na\r\n", 0,
         kHttpPlainBody, kAsItCame},
        {"empty chunked body", kChunkedHeader + "0\r\n\r\n", 0, kHttpComplete, kChunkedHeader},
        {"body ends before the last chunk", kChunkedHeader + "5\r\nhello\r\n3\r\nab", 0, kHttpChunkSize,
         kChunkedHeader + "hello3\r\nab"},
        {"size line without a number", kChunkedHeader + "5\r\nhello\r\nzz\r\nabc\r\n", kErrBadParameter,
         kHttpChunkSize, ""},
        {"size line of 2000 bytes", kChunkedHeader + "1;" + std::string(1998, 'x') + "\r\na\r\n",
         kErrChunkLineTooLong, kHttpChunkSize, ""},
        {"size line of 1999 bytes", kChunkedHeader + "1;" + std::string(1997, 'x') + "\r\na\r\n0\r\n\r\n", 0,
         kHttpComplete, kChunkedHeader + "a"},
        // Sizes whose whole chunk would wrap a 32-bit total into a few bytes.
        {"size near 2^32 waits", kChunkedHeader + "FFFFFFFC\r\nabcd\r\n0\r\n\r\n", 0, kHttpChunkSize,
         kAsItCame},
        {"size of all ones waits", kChunkedHeader + "ffffffff\r\nabcdefgh\r\n", 0, kHttpChunkSize, kAsItCame},
        {"size beyond 32 bits waits", kChunkedHeader + "100000004\r\nabcd\r\n0\r\n\r\n", 0, kHttpChunkSize,
         kAsItCame},
        {"negative size waits", kChunkedHeader + "-4\r\nabcd\r\n0\r\n\r\n", 0, kHttpChunkSize, kAsItCame},
    };
}

// The decoder only ever sees what has arrived: every cut of the input into
// two reads, and into three for the short ones, ends the same way.
TEST(HttpDecoder, EverySplitGivesTheSameResult)
{
    for (DecodeCase c : DecodeCases()) {
        SCOPED_TRACE(c.name);
        if (c.result == kAsItCame)
            c.result = c.input;
        Decoded whole = Feed(c.input, {});
        EXPECT_EQ(whole.status, c.status);
        EXPECT_EQ(whole.state, c.state);
        if (c.status == 0) {
            EXPECT_EQ(Printable(whole.data), Printable(c.result));
        }
        size_t n = c.input.size();
        for (size_t a = 0; a <= n; a++) {
            Decoded split = Feed(c.input, {a});
            ASSERT_EQ(split.status, c.status) << "cut at " << a;
            ASSERT_EQ(split.state, c.state) << "cut at " << a;
            ASSERT_TRUE(c.status != 0 || split.data == c.result) << "cut at " << a;
            if (n > 120)
                continue;
            for (size_t b = a; b <= n; b++) {
                Decoded three = Feed(c.input, {a, b});
                ASSERT_TRUE(c.status != 0 || three.data == c.result) << "cuts at " << a << ", " << b;
                ASSERT_EQ(three.status, c.status) << "cuts at " << a << ", " << b;
            }
        }
    }
}

// A chunk that needs more room than the buffer has left never completes;
// the buffer fills with the chunk as it came, and nothing is lost or moved.
TEST(HttpDecoder, ChunkLargerThanTheSpaceLeft)
{
    std::string input = kChunkedHeader + "5\r\nhello\r\n40\r\n" + std::string(0x40, 'z') + "\r\n0\r\n\r\n";
    int32_t capacity = static_cast<int32_t>(kChunkedHeader.size()) + 5 + 4 + 40;
    Decoded small = Feed(input, {70, 90}, capacity);
    EXPECT_EQ(small.status, 0);
    EXPECT_EQ(small.state, kHttpChunkSize);
    EXPECT_EQ(small.data.size(), static_cast<size_t>(capacity));
    EXPECT_EQ(small.data, (kChunkedHeader + "hello40\r\n" + std::string(0x40, 'z')).substr(0, capacity));
}

TEST(HttpDecoder, ManyChunksAcrossManyReads)
{
    // 6400 chunks of 10 bytes, read 1024 bytes at a time as the request does.
    std::string body, input = kChunkedHeader;
    for (int i = 0; i < 6400; i++) {
        std::string piece = std::to_string(1000000000 + i);
        body += piece;
        input += "A\r\n" + piece + "\r\n";
    }
    input += "0\r\n\r\n";
    std::vector<size_t> cuts;
    for (size_t at = 1024; at < input.size(); at += 1024)
        cuts.push_back(at);
    Decoded out = Feed(input, cuts, 1 << 20);
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.state, kHttpComplete);
    EXPECT_EQ(out.data, kChunkedHeader + body);
}

TEST(HttpDecoder, ChunkSizeReadsAsHexadecimal)
{
    const struct {
        const char *line;
        int32_t status;
        uint32_t size;
    } cases[] = {
        {"5", 0, 5},
        {"1A;name=value", 0, 26},
        {"1a", 0, 26},
        {"  ff ", 0, 255},
        {"0x1A", 0, 26},
        {"0", 0, 0},
        {"0xg", 0, 0},
        {"FFFFFFFF", 0, 0xFFFFFFFFu},
        {"123456789abc", 0, 0xFFFFFFFFu},
        {"-1", 0, 0xFFFFFFFFu},
        {"zz", kErrBadParameter, 0},
        {"", kErrBadParameter, 0},
        {";ext", kErrBadParameter, 0},
    };
    for (const auto &c : cases) {
        uint32_t size = 77;
        EXPECT_EQ(QuParseChunkSize(c.line, QuTextLength(c.line), &size), c.status) << c.line;
        EXPECT_EQ(size, c.size) << c.line;
    }
    // Only the line's own bytes count, not what follows it in the buffer.
    uint32_t size = 0;
    EXPECT_EQ(QuParseChunkSize("12345", 2, &size), 0);
    EXPECT_EQ(size, 0x12u);
    std::string longLine(kChunkLineSize, '1');
    EXPECT_EQ(QuParseChunkSize(longLine.data(), kChunkLineSize, &size), kErrChunkLineTooLong);
}

// The receive loop's use: search after every read, resume where the last
// search left off. The text is found once, at its place, however it is cut.
TEST(CloseText, FoundAcrossEveryCut)
{
    const std::string data = "HTTP/1.0 200 OK\r\n\r\n<html>x</html> and more";
    const std::string text = "</html>";
    const size_t end = data.find(text) + text.size();
    for (size_t a = 0; a <= data.size(); a++) {
        for (size_t b = a; b <= data.size(); b++) {
            int32_t resume = 0;
            size_t foundAt = 0;
            for (size_t upTo : {a, b, data.size()}) {
                if (QuFindCloseText(data.data(), static_cast<int32_t>(upTo), text.data(),
                                    static_cast<int32_t>(text.size()), &resume)) {
                    foundAt = upTo;
                    break;
                }
            }
            ASSERT_NE(foundAt, 0u) << "cuts at " << a << ", " << b;
            ASSERT_EQ(resume, static_cast<int32_t>(end)) << "cuts at " << a << ", " << b;
        }
    }
}

TEST(CloseText, ResumePositionAfterEachSearch)
{
    const struct {
        const char *data, *text;
        int32_t resumeIn;
        bool found;
        int32_t resumeOut;
    } cases[] = {
        {"abcEND", "END", 0, true, 6},
        {"ENDabcEND", "END", 1, true, 9}, // the first one lies before the resume position
        {"abcEN", "END", 0, false, 3},    // the text may still complete at offset 3
        {"ab", "END", 0, false, 0},       // shorter than the text
        {"", "END", 0, false, 0},
        {"abc", "END", 50, false, 1}, // a resume position beyond the data
    };
    for (const auto &c : cases) {
        int32_t resume = c.resumeIn;
        EXPECT_EQ(QuFindCloseText(c.data, QuTextLength(c.data), c.text, QuTextLength(c.text), &resume),
                  c.found)
            << c.data;
        EXPECT_EQ(resume, c.resumeOut) << c.data;
    }
}

TEST(TcpOptions, TimeoutTicks)
{
    const struct {
        const char *options;
        int32_t status, ticks;
    } cases[] = {
        {"-tcprequest", 0, 600},
        {"-tcprequest -timeoutsecs=5", 0, 300},
        {"-TimeOutSecs 300", 0, 18000},
        {"-timeoutsecs=0", 0, 0},
        {"-timeoutsecs=301", kErrOutOfRange, 600},
        {"-timeoutsecs=99999999999", kErrOutOfRange, 600},
        {"-timeoutticks=18000", 0, 18000},
        {"-timeoutticks=18001", kErrOutOfRange, 600},
        {"-timeoutticks=6", 0, 6},
        {"-timeoutticks=30 -timeoutsecs=2", 0, 120}, // seconds win
        {"-timeoutsecs=301 -timeoutticks=30", kErrOutOfRange, 600},
        {"-timeoutsecs -timeoutticks=30", 0, 30}, // seconds without a number read as absent
    };
    for (const auto &c : cases) {
        int32_t ticks = -1;
        EXPECT_EQ(QuReadTimeoutOption(c.options, &ticks), c.status) << c.options;
        EXPECT_EQ(ticks, c.ticks) << c.options;
    }
}

TEST(TcpOptions, CloseAfterText)
{
    const struct {
        std::string options, text;
    } cases[] = {
        {"-tcprequest", ""},
        {"-tcprequest -closeportafter=\"</html>\" -timeoutsecs=2", "</html>"},
        {"-CloseProtAfter=\"x\"", ""},
        {"-CLOSEPORTAFTER=\"End Of It\"", "End Of It"}, // the name in any case, the text exact
        {"-closeportafter=\"unterminated -x", "unterminated -x"},
        {"-closeportafter=\"" + std::string(1500, 'q') + "\"", std::string(kCloseTextSize - 1, 'q')},
    };
    for (const auto &c : cases) {
        char text[kCloseTextSize];
        QuReadCloseAfterOption(c.options.c_str(), text);
        EXPECT_EQ(std::string(text), c.text) << c.options;
    }
}

// Whether an answer that the server ended is whole by its own framing: a
// Content-Length that is not a plain number frames nothing, and answers
// that have no body (1xx, 204, 304, HEAD) are whole at their header.
TEST(HttpResponse, AnswerCutByItsFraming)
{
    const struct {
        std::string answer;
        bool head, cut;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcd", false, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcde", false, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcdef", false, false},
        {"HTTP/1.1 200 OK\r\nX: 1\r\ncontent-length:5 \t\r\n\r\nab", false, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nab", false, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5x\r\n\r\nab", false, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: \r\n\r\nab", false, false},
        {"HTTP/1.1 200 OK\r\nX-Content-Length: 5\r\n\r\nab", false, false},
        {"HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\n", false, false},
        {"HTTP/1.1 101 Switching\r\nContent-Length: 5\r\n\r\n", false, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", true, false},
        {"HTTP/1.0 200 OK\r\n\r\nanything", false, false},
        {"HTTP/1.1 200 OK\r\nContent-Le", false, true},
        {"SSH-2.0-OpenSSH\r\n", false, false},
        {"Content-Length: 5\r\n\r\nab", false, false}, // no status line: not HTTP
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 1\r\n\r\n5\r\nhello\r\n", false,
         true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", false, false},
    };
    for (const auto &c : cases) {
        std::vector<char> buffer(c.answer.begin(), c.answer.end());
        int32_t length = static_cast<int32_t>(buffer.size());
        QuHttpDecoder decoder;
        QuStartHttpDecoder(&decoder);
        decoder.headRequest = c.head;
        ASSERT_EQ(QuDecodeHTTPResponse(&decoder, buffer.data(), &length), 0) << Printable(c.answer);
        EXPECT_EQ(QuHttpAnswerCut(&decoder, buffer.data(), length), c.cut) << Printable(c.answer);
    }
}

} // namespace
