// The answer of a TCP request, decoded in place while it arrives: the
// status line and header stay as received; a chunked body loses its size
// lines, chunk delimiters, last chunk and trailer fields. Run again after
// every read, it picks up where it stopped; it waits rather than fails on
// anything incomplete.
#include "frame/plugin_frame.h"
#include "tcp_request.h"

static const char kHeaderEnd[] = "\r\n\r\n";
static const char kChunkedField[] = "Transfer-Encoding: chunked\r\n";
static const char kLineEnd[] = "\r\n";
static const char kStatusStart[] = "HTTP/";
static const char kLengthField[] = "\r\nContent-Length:";

bool QuFindCloseText(const char *data, int32_t length, const char *text, int32_t textLength, int32_t *resume)
{
    if (textLength <= 0 || length < 0)
        return false;
    int32_t from = *resume < 0 ? 0 : *resume;
    int32_t at = QuFindText(data, length, text, textLength, from, 1, true);
    if (at >= 0) {
        *resume = at + textLength;
        return true;
    }
    // The next search starts where a text cut off at the end could begin.
    int32_t next = length - textLength + 1;
    *resume = next < 0 ? 0 : next;
    return false;
}

static int32_t QuHexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

int32_t QuParseChunkSize(const char *line, int32_t lineLength, uint32_t *size)
{
    char text[kChunkLineSize];
    *size = 0;
    if (lineLength < 0)
        return kErrBadParameter;
    if (QuCopyBounded(line, lineLength, text, sizeof text) != 0)
        return kErrChunkLineTooLong;
    // As "%lx" reads into a 32-bit long on every platform: blanks, a sign,
    // an optional 0x, then digits. Too many digits give all ones, a minus
    // sign negates; either way the size is one no buffer holds.
    const char *p = text;
    bool negative = QuSkipBlanksAndSign(&p);
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && QuHexDigit(p[2]) >= 0)
        p += 2;
    if (QuHexDigit(*p) < 0)
        return kErrBadParameter;
    uint64_t value = 0;
    for (; QuHexDigit(*p) >= 0; p++) {
        if (value <= 0xFFFFFFFFull)
            value = value * 16 + (uint64_t)QuHexDigit(*p);
    }
    if (value > 0xFFFFFFFFull)
        *size = 0xFFFFFFFFu;
    else
        *size = negative ? 0u - (uint32_t)value : (uint32_t)value;
    return 0;
}

void QuStartHttpDecoder(QuHttpDecoder *decoder)
{
    decoder->state = kHttpAwaitHeader;
    decoder->headerEnd = 0;
    decoder->chunkPos = 0;
    decoder->chunked = false;
    decoder->bodyLength = -1;
    decoder->headRequest = false;
}

void QuCutHttpResponse(QuHttpDecoder *decoder, int32_t length)
{
    // A chunk position beyond the end would look like a bad line.
    if (decoder->chunkPos > length)
        decoder->chunkPos = length;
}

// The status code of an HTTP status line, or -1 when the answer has none.
static int32_t QuStatusCode(const char *buffer, int32_t headerAt)
{
    if (headerAt < 5 || QuCompareText(buffer, kStatusStart, 5, true) != 0)
        return -1;
    int32_t at = QuFindText(buffer, headerAt, " ", 1, 5, 1, true);
    if (at < 0 || at + 4 > headerAt)
        return -1;
    int32_t code = 0;
    for (int32_t i = at + 1; i < at + 4; i++) {
        if (buffer[i] < '0' || buffer[i] > '9')
            return -1;
        code = code * 10 + (buffer[i] - '0');
    }
    return code;
}

// The body length that an HTTP answer's header announces, -1 for none.
// A field that is not a plain number frames nothing: the answer is then
// taken as it ends, as before.
static int64_t QuAnnouncedLength(const QuHttpDecoder *decoder, const char *buffer, int32_t headerAt)
{
    int32_t code = QuStatusCode(buffer, headerAt);
    if (code < 0)
        return -1;
    if ((code >= 100 && code < 200) || code == 204 || code == 304 || decoder->headRequest)
        return 0;
    int32_t at = QuFindText(buffer, headerAt + 2, kLengthField, sizeof kLengthField - 1, 0, 1, false);
    if (at < 0)
        return -1;
    int32_t p = at + (int32_t)sizeof kLengthField - 1;
    while (p < headerAt && (buffer[p] == ' ' || buffer[p] == '\t'))
        p++;
    int64_t value = 0;
    int32_t digits = 0;
    for (; p < headerAt && buffer[p] >= '0' && buffer[p] <= '9'; p++, digits++) {
        if (value < ((int64_t)1 << 40))
            value = value * 10 + (buffer[p] - '0');
    }
    while (p < headerAt && (buffer[p] == ' ' || buffer[p] == '\t'))
        p++;
    return digits > 0 && buffer[p] == '\r' ? value : -1;
}

// Once the header is complete, decides between a plain and a chunked body.
static void QuTakeHeader(QuHttpDecoder *decoder, const char *buffer, int32_t headerAt)
{
    // Up to headerAt + 2, so that the last field keeps its own line end.
    decoder->chunked =
        QuFindText(buffer, headerAt + 2, kChunkedField, sizeof kChunkedField - 1, 0, 1, false) >= 0;
    decoder->headerEnd = headerAt + 4;
    decoder->chunkPos = headerAt + 4;
    decoder->state = decoder->chunked ? kHttpChunkSize : kHttpPlainBody;
    // A chunked body's own framing wins over any Content-Length.
    decoder->bodyLength = decoder->chunked ? -1 : QuAnnouncedLength(decoder, buffer, headerAt);
}

bool QuHttpAnswerCut(const QuHttpDecoder *decoder, const char *buffer, int32_t length)
{
    // Only an answer that says it is HTTP promises an end to its header.
    if (decoder->state == kHttpAwaitHeader)
        return length >= 5 && QuCompareText(buffer, kStatusStart, 5, true) == 0;
    if (decoder->chunked)
        return decoder->state != kHttpComplete;
    return decoder->bodyLength >= 0 && (int64_t)length - decoder->headerEnd < decoder->bodyLength;
}

// Takes one complete chunk, if it has arrived. *progress tells whether the
// state or the data changed.
static int32_t QuTakeChunk(QuHttpDecoder *decoder, char *buffer, int32_t *length, bool *progress)
{
    *progress = false;
    int32_t at = decoder->chunkPos;
    if (at < 0 || at > *length)
        return kErrBadParameter;
    int32_t available = *length - at;
    int32_t lineLength = QuFindText(buffer + at, available, kLineEnd, 2, 0, 1, true);
    if (lineLength < 0)
        return 0;
    if (lineLength >= kChunkLineSize)
        return kErrChunkLineTooLong;
    uint32_t size;
    int32_t status = QuParseChunkSize(buffer + at, lineLength, &size);
    if (status != 0)
        return status;
    *progress = true;
    if (size == 0) {
        decoder->state = kHttpLastChunk;
        return 0;
    }
    // Counted in 64 bits: a size near 2^32 must read as a chunk that has
    // not arrived, never wrap into a small total that looks complete.
    int64_t whole = (int64_t)lineLength + 2 + size + 2;
    if (whole > available) {
        *progress = false;
        return 0;
    }
    int32_t dataLength = (int32_t)size; // below `available` now
    int32_t rest = available - (int32_t)whole;
    QuCopyBytes(buffer + at, buffer + at + lineLength + 2, dataLength);
    QuCopyBytes(buffer + at + dataLength, buffer + at + (int32_t)whole, rest);
    decoder->chunkPos = at + dataLength;
    *length -= lineLength + 4;
    return 0;
}

int32_t QuDecodeHTTPResponse(QuHttpDecoder *decoder, char *buffer, int32_t *length)
{
    if (*length < 0)
        return kErrBadParameter;
    for (;;) {
        switch (decoder->state) {
        case kHttpAwaitHeader: {
            int32_t headerAt = QuFindText(buffer, *length, kHeaderEnd, 4, 0, 1, true);
            if (headerAt < 0)
                return 0;
            QuTakeHeader(decoder, buffer, headerAt);
            break;
        }
        case kHttpChunkSize: {
            // Every chunk taken shortens the data, so this ends.
            bool progress;
            int32_t status = QuTakeChunk(decoder, buffer, length, &progress);
            if (status != 0 || !progress)
                return status;
            break;
        }
        case kHttpLastChunk:
            // Drops the last-chunk line, trailer fields and the final empty line.
            *length = decoder->chunkPos;
            decoder->state = kHttpComplete;
            break;
        case kHttpPlainBody:
        case kHttpComplete:
            return 0;
        default:
            return kErrBadParameter;
        }
    }
}
