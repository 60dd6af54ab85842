// The sealing's cryptography on POSIX: OpenSSL's EVP interface, its PBKDF2
// and its random source. Failures come back as the NTSTATUS values BCrypt
// gives for the same thing.
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "frame/errors.h"
#include "os_crypto.h"

int32_t QuOsDeriveKey(const uint8_t *password, int32_t passwordLength, const uint8_t *salt,
                      int32_t saltLength, uint32_t iterations, uint8_t *out, int32_t outLength)
{
    if (passwordLength < 0 || saltLength < 0 || outLength <= 0 || iterations == 0 || iterations > 0x7FFFFFFFu)
        return kNtInvalidParameter;
    int ok = PKCS5_PBKDF2_HMAC((const char *)password, passwordLength, salt, saltLength, (int)iterations,
                               EVP_sha256(), outLength, out);
    return ok == 1 ? 0 : kNtUnsuccessful;
}

int32_t QuOsRandomBytes(uint8_t *out, int32_t count)
{
    if (count < 0)
        return kNtInvalidParameter;
    return RAND_bytes(out, count) == 1 ? 0 : kNtUnsuccessful;
}

int32_t QuOsGcm(bool seal, const uint8_t *key, const uint8_t *nonce, const uint8_t *extra,
                int32_t extraLength, const uint8_t *in, int32_t length, uint8_t *out, uint8_t *tag)
{
    if (length < (seal ? 0 : 1) || extraLength < 0)
        return kNtInvalidParameter;
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    if (context == NULL)
        return kNtNoMemory;
    int n = 0;
    bool ok = EVP_CipherInit_ex(context, EVP_aes_256_gcm(), NULL, NULL, NULL, seal ? 1 : 0) == 1 &&
              EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_IVLEN, kGcmNonceSize, NULL) == 1 &&
              EVP_CipherInit_ex(context, NULL, NULL, key, nonce, seal ? 1 : 0) == 1;
    if (ok && extraLength > 0)
        ok = EVP_CipherUpdate(context, NULL, &n, extra, extraLength) == 1;
    if (ok && length > 0)
        ok = EVP_CipherUpdate(context, out, &n, in, length) == 1;
    if (ok && !seal)
        ok = EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_TAG, kGcmTagSize, tag) == 1;
    int32_t status = 0;
    if (ok && EVP_CipherFinal_ex(context, out + (length > 0 ? length : 0), &n) != 1)
        status = seal ? kNtUnsuccessful : kNtAuthTagMismatch;
    else if (!ok)
        status = kNtUnsuccessful;
    if (status == 0 && seal && EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, kGcmTagSize, tag) != 1)
        status = kNtUnsuccessful;
    EVP_CIPHER_CTX_free(context);
    return status;
}

void QuOsCryptoClose(void)
{
}
