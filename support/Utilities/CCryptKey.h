// CCryptKey.h - a raw symmetric key imported into the CryptoAPI, for one operation at a time.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

#include "Utilities/CAPHandles.h"

struct CCryptKeyOptions {
    const BYTE* iv = nullptr;  // 16 bytes, or none for a random IV
    DWORD mode = 0;            // CRYPT_MODE_*; 0 and 1 keep the provider's default (CBC)
    DWORD final = 1;           // copied into the key's final flag
};

class CCryptKey {
public:
    // What the count-returning operations answer on failure.
    static constexpr DWORD kFailed = static_cast<DWORD>(-1);
    static constexpr DWORD kMaxKeyLength = 32;

    CCryptKey() = default;
    ~CCryptKey() { Release(); }
    CCryptKey(const CCryptKey&) = delete;
    CCryptKey& operator=(const CCryptKey&) = delete;
    CCryptKey(CCryptKey&& other) noexcept = default;
    CCryptKey& operator=(CCryptKey&& other) noexcept {
        if (this != &other) {
            Release();  // the old key goes before its provider
            provider_ = std::move(other.provider_);
            key_ = std::move(other.key_);
            final_ = other.final_;
            algorithm_ = other.algorithm_;
        }
        return *this;
    }

    // Imports keyLength raw bytes (at most 32) as a key of the algorithm. AES keys get the options'
    // IV, or a random one.
    bool Init(ALG_ID algorithm, const BYTE* key, DWORD keyLength, const CCryptKeyOptions* options = nullptr);
    void Release();

    // Without an output, the size the ciphertext needs. Otherwise the plaintext is copied into the
    // output (unless it is already there) and encrypted in place; an output smaller than the input
    // is a failure.
    DWORD Encrypt(const BYTE* input, DWORD length, BYTE* output, DWORD outputSize);
    // Without an output, the input length. A padding error (NTE_BAD_DATA) still answers the count
    // the provider left.
    DWORD Decrypt(const BYTE* input, DWORD length, BYTE* output, DWORD outputSize);
    // The IV length; with an output of at least that size, the IV too.
    DWORD GetIV(BYTE* output, DWORD size);

    bool IsFinal() const { return final_ == 1; }
    ALG_ID Algorithm() const { return algorithm_; }

private:
    CAPCryptProvider provider_;
    CAPCryptKeyHandle key_;  // destroyed before the provider it came from
    DWORD final_ = 1;
    ALG_ID algorithm_ = 0;
};

// A fresh key with a random IV encrypts the plaintext; the output receives the IV, then the
// ciphertext. Answers IV length + ciphertext length (also when the output is too small for the IV,
// which then writes nothing), or CCryptKey::kFailed. AES-128 for a 16-byte key, AES-256 otherwise.
DWORD EncryptWithIV(const BYTE* plaintext, DWORD length, BYTE* output, DWORD outputSize, const BYTE* key,
                    DWORD keyLength);
// The reverse: input is IV followed by ciphertext. Input shorter than the IV answers 0.
DWORD DecryptWithIV(const BYTE* input, DWORD length, BYTE* output, DWORD outputSize, const BYTE* key,
                    DWORD keyLength);

// The keys share one provider of each type, acquired on first use; this lets go of the shared
// references (keys alive keep their own). Called when the module unloads; a later key acquires anew.
void ReleaseSharedCryptProviders();
