// The sealing's cryptography on Windows: BCrypt (bcrypt.dll). AES-GCM needs
// Windows Vista SP1 or later, BCryptDeriveKeyPBKDF2 Windows 7 or later. The
// library is loaded from the system folder at the first use rather than
// imported, so that the module still loads on older Windows, where only
// sealing fails (with the system's "procedure not found").
#include <windows.h>

#include <bcrypt.h>
#include <string.h>

#include "frame/errors.h"
#include "os_crypto.h"

typedef NTSTATUS(WINAPI *OpenProviderProc)(BCRYPT_ALG_HANDLE *, LPCWSTR, LPCWSTR, ULONG);
typedef NTSTATUS(WINAPI *SetPropertyProc)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG);
typedef NTSTATUS(WINAPI *GenerateKeyProc)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE *, PUCHAR, ULONG, PUCHAR,
                                          ULONG, ULONG);
typedef NTSTATUS(WINAPI *CryptProc)(BCRYPT_KEY_HANDLE, PUCHAR, ULONG, VOID *, PUCHAR, ULONG, PUCHAR, ULONG,
                                    ULONG *, ULONG);
typedef NTSTATUS(WINAPI *DestroyKeyProc)(BCRYPT_KEY_HANDLE);
typedef NTSTATUS(WINAPI *DeriveProc)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, PUCHAR, ULONG, ULONGLONG, PUCHAR,
                                     ULONG, ULONG);
typedef NTSTATUS(WINAPI *RandomProc)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
typedef NTSTATUS(WINAPI *CloseProviderProc)(BCRYPT_ALG_HANDLE, ULONG);

// The library, its entry points and the two providers, opened once and
// kept until the process ends: opening a provider costs far more than one
// datagram's work.
static struct {
    HMODULE library;
    int32_t loadStatus;
    OpenProviderProc openProvider;
    SetPropertyProc setProperty;
    GenerateKeyProc generateKey;
    CryptProc encrypt, decrypt;
    DestroyKeyProc destroyKey;
    DeriveProc derive;
    RandomProc random;
    CloseProviderProc closeProvider;
    BCRYPT_ALG_HANDLE aesGcm, hmacSha256;
    // The last key's object and its bytes: a listener opens every datagram
    // with one key, and making the object costs more than a small opening.
    BCRYPT_KEY_HANDLE key;
    uint8_t keyBytes[kAesKeySize];
} Bcrypt;

static int32_t QuLoadBcrypt(void)
{
    if (Bcrypt.library != NULL || Bcrypt.loadStatus != 0)
        return Bcrypt.loadStatus;
    char path[MAX_PATH + 16];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return Bcrypt.loadStatus = (int32_t)kWinFileNotFound;
    memcpy(path + n, "\\bcrypt.dll", sizeof "\\bcrypt.dll");
    HMODULE library = LoadLibraryA(path);
    if (library == NULL)
        return Bcrypt.loadStatus = (int32_t)GetLastError();
    Bcrypt.openProvider = (OpenProviderProc)(void *)GetProcAddress(library, "BCryptOpenAlgorithmProvider");
    Bcrypt.setProperty = (SetPropertyProc)(void *)GetProcAddress(library, "BCryptSetProperty");
    Bcrypt.generateKey = (GenerateKeyProc)(void *)GetProcAddress(library, "BCryptGenerateSymmetricKey");
    Bcrypt.encrypt = (CryptProc)(void *)GetProcAddress(library, "BCryptEncrypt");
    Bcrypt.decrypt = (CryptProc)(void *)GetProcAddress(library, "BCryptDecrypt");
    Bcrypt.destroyKey = (DestroyKeyProc)(void *)GetProcAddress(library, "BCryptDestroyKey");
    Bcrypt.derive = (DeriveProc)(void *)GetProcAddress(library, "BCryptDeriveKeyPBKDF2");
    Bcrypt.random = (RandomProc)(void *)GetProcAddress(library, "BCryptGenRandom");
    Bcrypt.closeProvider = (CloseProviderProc)(void *)GetProcAddress(library, "BCryptCloseAlgorithmProvider");
    if (!Bcrypt.closeProvider || !Bcrypt.openProvider || !Bcrypt.setProperty || !Bcrypt.generateKey ||
        !Bcrypt.encrypt || !Bcrypt.decrypt || !Bcrypt.destroyKey || !Bcrypt.derive || !Bcrypt.random) {
        FreeLibrary(library);
        return Bcrypt.loadStatus = (int32_t)kWinProcNotFound;
    }
    Bcrypt.library = library;
    return 0;
}

static int32_t QuOpenAesGcm(void)
{
    int32_t status = QuLoadBcrypt();
    if (status != 0 || Bcrypt.aesGcm != NULL)
        return status;
    BCRYPT_ALG_HANDLE aes;
    status = Bcrypt.openProvider(&aes, BCRYPT_AES_ALGORITHM, NULL, 0);
    if (status != 0)
        return status;
    status = Bcrypt.setProperty(aes, BCRYPT_CHAINING_MODE, (PUCHAR)BCRYPT_CHAIN_MODE_GCM,
                                sizeof BCRYPT_CHAIN_MODE_GCM, 0);
    if (status == 0)
        Bcrypt.aesGcm = aes;
    return status;
}

int32_t QuOsDeriveKey(const uint8_t *password, int32_t passwordLength, const uint8_t *salt,
                      int32_t saltLength, uint32_t iterations, uint8_t *out, int32_t outLength)
{
    if (passwordLength < 0 || saltLength < 0 || outLength <= 0 || iterations == 0)
        return kNtInvalidParameter;
    int32_t status = QuLoadBcrypt();
    if (status == 0 && Bcrypt.hmacSha256 == NULL)
        status = Bcrypt.openProvider(&Bcrypt.hmacSha256, BCRYPT_SHA256_ALGORITHM, NULL,
                                     BCRYPT_ALG_HANDLE_HMAC_FLAG);
    if (status != 0)
        return status;
    return Bcrypt.derive(Bcrypt.hmacSha256, (PUCHAR)password, (ULONG)passwordLength, (PUCHAR)salt,
                         (ULONG)saltLength, iterations, out, (ULONG)outLength, 0);
}

int32_t QuOsRandomBytes(uint8_t *out, int32_t count)
{
    if (count < 0)
        return kNtInvalidParameter;
    int32_t status = QuLoadBcrypt();
    if (status != 0)
        return status;
    return Bcrypt.random(NULL, out, (ULONG)count, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
}

int32_t QuOsGcm(bool seal, const uint8_t *key, const uint8_t *nonce, const uint8_t *extra,
                int32_t extraLength, const uint8_t *in, int32_t length, uint8_t *out, uint8_t *tag)
{
    if (length < (seal ? 0 : 1) || extraLength < 0)
        return kNtInvalidParameter;
    int32_t status = QuOpenAesGcm();
    if (status != 0)
        return status;
    if (Bcrypt.key == NULL || memcmp(Bcrypt.keyBytes, key, kAesKeySize) != 0) {
        if (Bcrypt.key != NULL)
            Bcrypt.destroyKey(Bcrypt.key);
        Bcrypt.key = NULL;
        status = Bcrypt.generateKey(Bcrypt.aesGcm, &Bcrypt.key, NULL, 0, (PUCHAR)key, kAesKeySize, 0);
        if (status != 0) {
            Bcrypt.key = NULL;
            return status;
        }
        memcpy(Bcrypt.keyBytes, key, kAesKeySize);
    }
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
    BCRYPT_INIT_AUTH_MODE_INFO(info);
    info.pbNonce = (PUCHAR)nonce;
    info.cbNonce = kGcmNonceSize;
    info.pbAuthData = extraLength > 0 ? (PUCHAR)extra : NULL;
    info.cbAuthData = (ULONG)extraLength;
    info.pbTag = tag;
    info.cbTag = kGcmTagSize;
    ULONG done = 0;
    return (seal ? Bcrypt.encrypt : Bcrypt.decrypt)(Bcrypt.key, length > 0 ? (PUCHAR)in : NULL, (ULONG)length,
                                                    &info, NULL, 0, length > 0 ? out : NULL, (ULONG)length,
                                                    &done, 0);
}

void QuOsCryptoClose(void)
{
    if (Bcrypt.key != NULL)
        Bcrypt.destroyKey(Bcrypt.key);
    SecureZeroMemory(Bcrypt.keyBytes, sizeof Bcrypt.keyBytes);
    if (Bcrypt.aesGcm != NULL)
        Bcrypt.closeProvider(Bcrypt.aesGcm, 0);
    if (Bcrypt.hmacSha256 != NULL)
        Bcrypt.closeProvider(Bcrypt.hmacSha256, 0);
    if (Bcrypt.library != NULL)
        FreeLibrary(Bcrypt.library);
    memset(&Bcrypt, 0, sizeof Bcrypt);
}
