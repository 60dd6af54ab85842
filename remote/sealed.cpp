// The sealed remote-event datagram: the plain payload and its flags,
// encrypted and authenticated with AES-256-GCM under a secret derived from
// the key, with the sender's UTC time inside. Layout (docs/functions.md):
//   magic 8 | key check 4 | nonce 12 | ciphertext of (time 8, flags 1,
//   payload) | tag 16
// The magic, the key check and the nonce are authenticated too. The magic
// begins with a NUL, so that a reader of plain datagrams sees no text at all.
#include "frame/plugin_frame.h"
#include "os_crypto.h"
#include "remote.h"
#include "scheduler/event_table.h"

static const uint8_t kMagic[kSealMagicSize] = {0, 'Q', 'S', 'E', 'A', 'L', 1, 0};
// A new salt, or a new count, makes a new format version.
static const char kSalt[] = "Rouser sealed remote event v1";
enum {
    kIterations = 100000,
    kCheckAt = kSealMagicSize,
    kNonceAt = kCheckAt + kSealCheckSize,
    kCipherAt = kNonceAt + kGcmNonceSize,
    kInnerHead = 9 // the time and the flags
};

int32_t QuDeriveSealKey(const char *key, QuSealKey *seal)
{
    int32_t length = QuTextLength(key);
    // Derived once per key: the count that makes guessing slow makes it
    // slow for us too.
    if (seal->ready && length == QuTextLength(seal->key) && QuCompareText(key, seal->key, length, true) == 0)
        return 0;
    seal->ready = false;
    if (length == 0 || length >= kKeySize)
        return kErrBadParameter;
    static const uint8_t kZeroNonce[kGcmNonceSize] = {0};
    uint8_t tag[kGcmTagSize];
    int32_t status = QuOsDeriveKey((const uint8_t *)key, length, (const uint8_t *)kSalt, sizeof kSalt - 1,
                                   kIterations, seal->secret, kAesKeySize);
    // The tag of nothing under an all-zero nonce, which no datagram uses:
    // a listener tells a datagram of another key from a forged one by it.
    if (status == 0)
        status = QuOsGcm(true, seal->secret, kZeroNonce, NULL, 0, NULL, 0, NULL, tag);
    if (status != 0)
        return kErrNoCryptography;
    QuCopyBytes(seal->check, tag, kSealCheckSize);
    QuCopyText(seal->key, key);
    seal->ready = true;
    return 0;
}

bool QuIsSealed(const char *datagram, int32_t length)
{
    for (int32_t i = 0; i < kSealMagicSize; i++) {
        if (i >= length || (uint8_t)datagram[i] != kMagic[i])
            return false;
    }
    return true;
}

static void QuPutLE64(uint8_t *bytes, int64_t value)
{
    for (int i = 0; i < 8; i++)
        bytes[i] = (uint8_t)((uint64_t)value >> (8 * i));
}

static int64_t QuGetLE64(const uint8_t *bytes)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; i--)
        value = (value << 8) | bytes[i];
    return (int64_t)value;
}

int32_t QuSealDatagram(const QuSealKey *seal, int64_t stamp, int32_t flags, const char *payload,
                       int32_t payloadLength, char *datagram, int32_t *length)
{
    uint8_t inner[kDatagramSize];
    uint8_t *out = (uint8_t *)datagram;
    *length = 0;
    if (!seal->ready || payloadLength < 0 || kSealOverhead + payloadLength > kDatagramSize)
        return kErrBadParameter;
    QuPutLE64(inner, stamp);
    inner[8] = (uint8_t)flags;
    QuCopyBytes(inner + kInnerHead, payload, payloadLength);
    QuCopyBytes(out, kMagic, kSealMagicSize);
    QuCopyBytes(out + kCheckAt, seal->check, kSealCheckSize);
    int32_t innerLength = kInnerHead + payloadLength;
    if (QuOsRandomBytes(out + kNonceAt, kGcmNonceSize) != 0 ||
        QuOsGcm(true, seal->secret, out + kNonceAt, out, kCipherAt, inner, innerLength, out + kCipherAt,
                out + kCipherAt + innerLength) != 0)
        return kErrNoCryptography;
    *length = kCipherAt + innerLength + kGcmTagSize;
    return 0;
}

QuDropReason QuOpenSealedDatagram(const QuSealKey *seal, const char *datagram, int32_t length, char *plain,
                                  QuSealedEvent *event)
{
    const uint8_t *in = (const uint8_t *)datagram;
    if (!QuIsSealed(datagram, length) || length < kSealOverhead || length > kDatagramSize)
        return kDropMalformed;
    // A datagram of another key (or of none) costs no decryption.
    bool sameKey = seal->ready;
    for (int32_t i = 0; i < kSealCheckSize && sameKey; i++)
        sameKey = in[kCheckAt + i] == seal->check[i];
    if (!sameKey)
        return kDropWrongKey;
    int32_t innerLength = length - kCipherAt - kGcmTagSize;
    uint8_t *inner = (uint8_t *)plain;
    if (QuOsGcm(false, seal->secret, in + kNonceAt, in, kCipherAt, in + kCipherAt, innerLength, inner,
                (uint8_t *)in + kCipherAt + innerLength) != 0)
        return kDropBadSeal;
    int32_t flags = inner[8];
    if (flags != 0 && flags != kFlagBackground && flags != kFlagSilent)
        return kDropMalformed;
    event->stamp = QuGetLE64(inner);
    event->flags = flags;
    QuCopyBytes(event->nonce, in + kNonceAt, kGcmNonceSize);
    event->payloadStart = kInnerHead;
    event->payloadLength = innerLength - kInnerHead;
    return kDropNone;
}
