// Operating-system seam of the cryptography that seals remote events:
// AES-256-GCM, PBKDF2-HMAC-SHA-256 and random bytes, from BCrypt on Windows
// and OpenSSL on POSIX. Nothing here is written by hand. Errors are Windows
// numbers on every platform: NTSTATUS values as BCrypt gives them
// (QuCryptoError), or a system error when BCrypt cannot be loaded.
#ifndef ROUSER_OS_CRYPTO_H
#define ROUSER_OS_CRYPTO_H

#include <stdint.h>

enum { kAesKeySize = 32, kGcmNonceSize = 12, kGcmTagSize = 16 };

// PBKDF2 with HMAC-SHA-256 over the password and the salt: `outLength`
// bytes into `out`.
int32_t QuOsDeriveKey(const uint8_t *password, int32_t passwordLength, const uint8_t *salt,
                      int32_t saltLength, uint32_t iterations, uint8_t *out, int32_t outLength);
// Bytes from the system's cryptographic random source.
int32_t QuOsRandomBytes(uint8_t *out, int32_t count);
// AES-256-GCM with a 32-byte key and a 12-byte nonce, `extra`
// authenticated but not encrypted. Sealing: `length` bytes of `in` into
// `out` (as long) and the 16-byte tag into `tag`. Opening: 0 and `out`
// only when `tag` matches; otherwise kNtAuthTagMismatch (or another
// failure) and `out` must not be used. Nothing to open (length 0) is
// refused: Wine's BCrypt checks no tag then.
int32_t QuOsGcm(bool seal, const uint8_t *key, const uint8_t *nonce, const uint8_t *extra,
                int32_t extraLength, const uint8_t *in, int32_t length, uint8_t *out, uint8_t *tag);

// Lets go of what the first use opened (Windows: the providers and the
// library); the next use opens them again.
void QuOsCryptoClose(void);

#endif
