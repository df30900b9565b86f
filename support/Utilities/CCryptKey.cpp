#include "CCryptKey.h"

#include <cstring>

namespace {

const wchar_t kContainer[] = L"Varnel5Container";
constexpr DWORD kBlobHeader = 12;
constexpr DWORD kAesBlock = 16;

bool AcquireNewProvider(DWORD type, CAPCryptProvider& provider) {
    if (CryptAcquireContextW(provider.put(), nullptr, nullptr, type, CRYPT_VERIFYCONTEXT)) return true;
    if (CryptAcquireContextW(provider.put(), kContainer, nullptr, type, CRYPT_NEWKEYSET)) return true;
    if (static_cast<HRESULT>(GetLastError()) == NTE_EXISTS &&
        CryptAcquireContextW(provider.put(), kContainer, nullptr, type, 0))
        return true;
    provider.Reset();
    return false;
}

// Acquiring a provider costs milliseconds (Wine: about 8 ms), once for every password of a server
// list read at start-up; the keys hold no state in it, so one provider of each type serves them all.
// Every key takes a reference of its own.
SRWLOCK gProvidersLock = SRWLOCK_INIT;
CAPCryptProvider gFullProvider, gAesProvider;

bool AcquireProvider(DWORD type, CAPCryptProvider& provider) {
    provider.Reset();
    CAPCryptProvider& shared = type == PROV_RSA_FULL ? gFullProvider : gAesProvider;
    AcquireSRWLockExclusive(&gProvidersLock);
    bool ready = shared || AcquireNewProvider(type, shared);
    if (ready && CryptContextAddRef(shared.get(), nullptr, 0)) *provider.put() = shared.get();
    ReleaseSRWLockExclusive(&gProvidersLock);
    return static_cast<bool>(provider);
}

ALG_ID AesFor(DWORD keyLength) { return keyLength == 16 ? CALG_AES_128 : CALG_AES_256; }

}  // namespace

bool CCryptKey::Init(ALG_ID algorithm, const BYTE* key, DWORD keyLength, const CCryptKeyOptions* options) {
    Release();
    final_ = 1;
    algorithm_ = algorithm;
    if (!key || keyLength > kMaxKeyLength) return false;

    if (!AcquireProvider(algorithm == CALG_RC4 ? PROV_RSA_FULL : PROV_RSA_AES, provider_)) return false;

    BYTE blob[kBlobHeader + kMaxKeyLength] = {};
    blob[0] = PLAINTEXTKEYBLOB;
    blob[1] = CUR_BLOB_VERSION;
    std::memcpy(blob + 4, &algorithm, sizeof algorithm);
    std::memcpy(blob + 8, &keyLength, sizeof keyLength);
    std::memcpy(blob + kBlobHeader, key, keyLength);
    BOOL imported = CryptImportKey(provider_.get(), blob, kBlobHeader + keyLength, 0, CRYPT_NO_SALT, key_.put());
    SecureZeroMemory(blob, sizeof blob);
    if (!imported) {
        Release();
        return false;
    }

    if (algorithm != CALG_AES_128 && algorithm != CALG_AES_256) {
        final_ = 0;
        return true;
    }
    if (options) {
        if (options->iv && !CryptSetKeyParam(key_.get(), KP_IV, options->iv, 0)) return false;
        if (options->mode != 0 && options->mode != 1) {
            DWORD mode = options->mode;
            if (!CryptSetKeyParam(key_.get(), KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0)) return false;
        }
        final_ = options->final;
        if (options->iv) return true;
    }
    BYTE iv[kAesBlock];
    if (!CryptGenRandom(provider_.get(), sizeof iv, iv)) return false;
    return CryptSetKeyParam(key_.get(), KP_IV, iv, 0) != FALSE;
}

void CCryptKey::Release() {
    key_.Reset();
    provider_.Reset();
}

void ReleaseSharedCryptProviders() {
    AcquireSRWLockExclusive(&gProvidersLock);
    gFullProvider.Reset();
    gAesProvider.Reset();
    ReleaseSRWLockExclusive(&gProvidersLock);
}

DWORD CCryptKey::Encrypt(const BYTE* input, DWORD length, BYTE* output, DWORD outputSize) {
    if (!key_ || (!input && length)) return kFailed;
    const BOOL last = final_ == 1;
    DWORD count = length;
    if (!output) return CryptEncrypt(key_.get(), 0, last, 0, nullptr, &count, 0) ? count : kFailed;
    // A shorter output would silently encrypt only part of the plaintext.
    if (outputSize < length) return kFailed;
    if (output != input && length) std::memmove(output, input, length);
    return CryptEncrypt(key_.get(), 0, last, 0, output, &count, outputSize) ? count : kFailed;
}

DWORD CCryptKey::Decrypt(const BYTE* input, DWORD length, BYTE* output, DWORD outputSize) {
    if (!output) return length;
    if (!key_ || (!input && length)) return kFailed;
    if (outputSize < length) return kFailed;
    if (length == 0) return 0;
    if (output != input) std::memmove(output, input, length);
    DWORD count = length;
    if (CryptDecrypt(key_.get(), 0, final_ == 1, 0, output, &count)) return count;
    return static_cast<HRESULT>(GetLastError()) == NTE_BAD_DATA ? count : kFailed;
}

DWORD CCryptKey::GetIV(BYTE* output, DWORD size) {
    if (!key_) return kFailed;
    DWORD length = output ? size : 0;
    return CryptGetKeyParam(key_.get(), KP_IV, output, &length, 0) ? length : kFailed;
}

DWORD EncryptWithIV(const BYTE* plaintext, DWORD length, BYTE* output, DWORD outputSize, const BYTE* key,
                    DWORD keyLength) {
    CCryptKey crypt;
    if (!crypt.Init(AesFor(keyLength), key, keyLength)) return CCryptKey::kFailed;
    DWORD ivLength = crypt.GetIV(nullptr, 0);
    if (ivLength == CCryptKey::kFailed) return CCryptKey::kFailed;
    BYTE* rest = nullptr;
    DWORD restSize = 0;
    if (output && outputSize >= ivLength) {
        if (crypt.GetIV(output, ivLength) != ivLength) return CCryptKey::kFailed;
        rest = output + ivLength;
        restSize = outputSize - ivLength;
    }
    DWORD cipherLength = crypt.Encrypt(plaintext, length, rest, restSize);
    if (cipherLength == CCryptKey::kFailed) return CCryptKey::kFailed;
    return ivLength + cipherLength;
}

DWORD DecryptWithIV(const BYTE* input, DWORD length, BYTE* output, DWORD outputSize, const BYTE* key,
                    DWORD keyLength) {
    if (!input || length < kAesBlock) return 0;
    CCryptKeyOptions options;
    options.iv = input;
    options.mode = CRYPT_MODE_CBC;
    options.final = 1;
    CCryptKey crypt;
    if (!crypt.Init(AesFor(keyLength), key, keyLength, &options)) return CCryptKey::kFailed;
    return crypt.Decrypt(input + kAesBlock, length - kAesBlock, output, outputSize);
}
