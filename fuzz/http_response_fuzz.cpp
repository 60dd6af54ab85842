// libFuzzer target for the response decoder. The first input byte picks how
// the rest is cut into reads; the rest is the answer. The decoder must stay
// inside the data, and the cuts must not change the outcome. A second run
// into a buffer smaller than the answer checks the bounds when it fills.
// With the first byte's top bit set, the next byte gives the length of a
// close-after text that follows it, searched for after every read as the
// request does: a text found must be there, and the answer ends behind it.
// Whether the framing calls the answer cut must not depend on the reads.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "remote/tcp_request.h"

namespace {

struct Outcome {
    int32_t status, state, length;
    bool cut; // whether the answer's framing calls it incomplete at this end
};

// The receive loop's use of the decoder: append what fits, decode, stop at
// an error or a complete body; one more run at the end for a chunked body.
Outcome Receive(const uint8_t *data, size_t size, uint8_t cutSeed, char *buffer, int32_t capacity,
                const char *closeText = nullptr, int32_t closeLength = 0)
{
    int32_t length = 0, resume = 0;
    QuHttpDecoder decoder;
    QuStartHttpDecoder(&decoder);
    Outcome out = {0, kHttpAwaitHeader, 0, false};
    size_t at = 0;
    uint32_t seed = cutSeed;
    while (at < size && out.status == 0 && out.state != kHttpComplete && length < capacity) {
        size_t piece = cutSeed == 0 ? size - at : 1 + (seed % 37);
        seed = seed * 1103515245u + 12345u;
        if (piece > size - at)
            piece = size - at;
        if (piece > (size_t)(capacity - length))
            piece = (size_t)(capacity - length);
        memcpy(buffer + length, data + at, piece);
        length += (int32_t)piece;
        at += piece;
        out.status = QuDecodeHTTPResponse(&decoder, buffer, &length);
        out.state = decoder.state;
        if (length < 0 || length > capacity)
            abort();
        if (out.state != kHttpAwaitHeader &&
            (decoder.headerEnd > decoder.chunkPos || decoder.chunkPos > length || decoder.headerEnd < 4))
            abort();
        if (out.status == 0 && out.state != kHttpComplete && closeLength > 0 &&
            QuFindCloseText(buffer, length, closeText, closeLength, &resume)) {
            if (resume < closeLength || resume > length ||
                memcmp(buffer + resume - closeLength, closeText, (size_t)closeLength) != 0)
                abort();
            length = resume;
            QuCutHttpResponse(&decoder, length);
            break;
        }
        if (resume < 0 || resume > length)
            abort();
    }
    if (out.status == 0 && decoder.chunked) {
        out.status = QuDecodeHTTPResponse(&decoder, buffer, &length);
        out.state = decoder.state;
    }
    out.length = length;
    out.cut = QuHttpAnswerCut(&decoder, buffer, length);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static char whole[kResponseCapacity], cut[kResponseCapacity], small[kResponseCapacity];
    if (size < 1 || size - 1 > (size_t)kResponseCapacity)
        return 0;
    uint8_t seed = data[0];
    data++;
    size--;
    if (seed & 0x80) {
        if (size < 1 || data[0] > size - 1)
            return 0;
        int32_t closeLength = data[0];
        std::string closeText((const char *)data + 1, (size_t)closeLength);
        Receive(data + 1 + closeLength, size - 1 - closeLength, seed & 0x7F, cut, kResponseCapacity,
                closeText.c_str(), closeLength);
        return 0;
    }
    Outcome a = Receive(data, size, 0, whole, kResponseCapacity);
    Outcome b = Receive(data, size, seed | 1, cut, kResponseCapacity);
    if (a.status != b.status || a.state != b.state || (a.status == 0 && a.cut != b.cut))
        abort();
    if (a.status == 0 && (a.length != b.length || memcmp(whole, cut, (size_t)a.length) != 0))
        abort();
    Receive(data, size, seed, small, 1 + seed % 97);
    return 0;
}
