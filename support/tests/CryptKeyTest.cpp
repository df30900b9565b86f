#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Utilities/CCryptKey.h"

namespace {

using Bytes = std::vector<BYTE>;

// The stored-password key and a fixed IV 00 01 .. 0F.
const char kKey[] = "Wq8%Lr#2(Zt&5}Kp";
const BYTE* Key() { return reinterpret_cast<const BYTE*>(kKey); }
const Bytes kFixedIV = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                        0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes Utf16(const std::wstring& text) {
    const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
    return Bytes(p, p + text.size() * sizeof(wchar_t));
}

// Made once with
//   openssl enc -aes-128-cbc -K 577138254c722332285a7426357d4b70 -iv 000102030405060708090a0b0c0d0e0f
// over each password as UTF-16LE without terminator.
struct Vector {
    std::wstring password;
    const char* cipherHex;
};
const Vector kVectors[] = {
    {L"", "9CF3EF8E50BA5934D9CF270D951C198C"},
    {L"abcde", "B210ACA0AAEC9BB757C6D961C24997FA"},
    {L"Secret#8", "BE8486579AF15DC0534719372633F56F915AE2377B07425DDDC275EE4E571730"},
    {L"Gr\u00FC\u00DFe\u20ACx", "F19A266973CB1147188C8F45A441228E"},
};

Bytes EncryptFixedIV(const Bytes& plain) {
    CCryptKeyOptions options;
    options.iv = kFixedIV.data();
    CCryptKey key;
    EXPECT_TRUE(key.Init(CALG_AES_128, Key(), 16, &options));
    DWORD needed = key.Encrypt(plain.data(), static_cast<DWORD>(plain.size()), nullptr, 0);
    EXPECT_NE(needed, CCryptKey::kFailed);
    Bytes out(needed);
    DWORD written = key.Encrypt(plain.data(), static_cast<DWORD>(plain.size()), out.data(), needed);
    EXPECT_EQ(written, needed);
    return out;
}

TEST(CryptKey, MatchesOpenSslVectorsBothWays) {
    for (const Vector& v : kVectors) {
        SCOPED_TRACE(std::string(v.cipherHex));
        Bytes plain = Utf16(v.password);
        EXPECT_EQ(EncryptFixedIV(plain), FromHex(v.cipherHex));

        Bytes stored = kFixedIV;
        Bytes cipher = FromHex(v.cipherHex);
        stored.insert(stored.end(), cipher.begin(), cipher.end());
        Bytes out(stored.size());
        DWORD n = DecryptWithIV(stored.data(), static_cast<DWORD>(stored.size()), out.data(),
                                static_cast<DWORD>(out.size()), Key(), 16);
        ASSERT_EQ(n, plain.size());
        out.resize(n);
        EXPECT_EQ(out, plain);
    }
}

TEST(CryptKey, EncryptWithIVLengths) {
    const BYTE five[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(EncryptWithIV(five, 5, nullptr, 0, Key(), 16), 32u);

    // Too small for the IV: a size query that leaves the output alone.
    BYTE small[15];
    memset(small, 0xAB, sizeof small);
    EXPECT_EQ(EncryptWithIV(five, 5, small, sizeof small, Key(), 16), 32u);
    for (BYTE b : small) EXPECT_EQ(b, 0xAB);

    Bytes sixteen(16, 'x');
    EXPECT_EQ(EncryptWithIV(sixteen.data(), 16, nullptr, 0, Key(), 16), 48u);
    EXPECT_EQ(EncryptWithIV(nullptr, 0, nullptr, 0, Key(), 16), 32u);
}

TEST(CryptKey, EncryptWithIVDrawsAFreshIVAndRoundTrips) {
    Bytes plain = Utf16(L"hello");
    Bytes a(32), b(32);
    ASSERT_EQ(EncryptWithIV(plain.data(), 10, a.data(), 32, Key(), 16), 32u);
    ASSERT_EQ(EncryptWithIV(plain.data(), 10, b.data(), 32, Key(), 16), 32u);
    EXPECT_NE(Bytes(a.begin(), a.begin() + 16), Bytes(b.begin(), b.begin() + 16));
    EXPECT_NE(a, b);
    for (const Bytes* stored : {&a, &b}) {
        Bytes out(32);
        DWORD n = DecryptWithIV(stored->data(), 32, out.data(), 32, Key(), 16);
        ASSERT_EQ(n, 10u);
        out.resize(n);
        EXPECT_EQ(out, plain);
    }
}

TEST(CryptKey, EncryptWithIVFailsRatherThanReportingAPartialCount) {
    Bytes plain(20, 'p');
    Bytes out(16 + 16);  // room for the IV but not for two ciphertext blocks
    EXPECT_EQ(EncryptWithIV(plain.data(), 20, out.data(), 32, Key(), 16), CCryptKey::kFailed);
    const BYTE longKey[33] = {};
    EXPECT_EQ(EncryptWithIV(plain.data(), 20, nullptr, 0, longKey, 33), CCryptKey::kFailed);
}

TEST(CryptKey, DecryptWithIVNeverReadsPastShortInput) {
    // Only the first 8 bytes are valid; the guard bytes after them must not be read as IV.
    Bytes input(8, 0x11);
    BYTE out[32];
    memset(out, 0xCD, sizeof out);
    EXPECT_EQ(DecryptWithIV(input.data(), 8, out, sizeof out, Key(), 16), 0u);
    EXPECT_EQ(DecryptWithIV(input.data(), 0, out, sizeof out, Key(), 16), 0u);
    EXPECT_EQ(DecryptWithIV(nullptr, 0, out, sizeof out, Key(), 16), 0u);
    Bytes ivOnly = kFixedIV;
    EXPECT_EQ(DecryptWithIV(ivOnly.data(), 16, out, sizeof out, Key(), 16), 0u);
    for (BYTE b : out) EXPECT_EQ(b, 0xCD);
}

TEST(CryptKey, PaddingErrorStillAnswersTheProvidersCount) {
    // The "Secret#8" vector under a different key: the padding check fails.
    Bytes stored = kFixedIV;
    Bytes cipher = FromHex(kVectors[2].cipherHex);
    stored.insert(stored.end(), cipher.begin(), cipher.end());
    const char otherKey[] = "0123456789ABCDEF";
    Bytes out(stored.size());
    DWORD n = DecryptWithIV(stored.data(), static_cast<DWORD>(stored.size()), out.data(),
                            static_cast<DWORD>(out.size()), reinterpret_cast<const BYTE*>(otherKey), 16);
    EXPECT_NE(n, CCryptKey::kFailed);
    EXPECT_LE(n, cipher.size());
}

TEST(CryptKey, UnusableKeyAnswersFailure) {
    CCryptKey key;
    BYTE buffer[32] = {};
    EXPECT_EQ(key.Encrypt(buffer, 5, buffer, sizeof buffer), CCryptKey::kFailed);
    EXPECT_EQ(key.Encrypt(buffer, 5, nullptr, 0), CCryptKey::kFailed);
    EXPECT_EQ(key.GetIV(nullptr, 0), CCryptKey::kFailed);
    EXPECT_EQ(key.Decrypt(buffer, 16, buffer, sizeof buffer), CCryptKey::kFailed);
    EXPECT_EQ(key.Decrypt(buffer, 16, nullptr, 0), 16u);  // a size query needs no key

    const BYTE longKey[33] = {};
    EXPECT_FALSE(key.Init(CALG_AES_256, longKey, 33));
    EXPECT_EQ(key.GetIV(nullptr, 0), CCryptKey::kFailed);
    EXPECT_FALSE(key.Init(CALG_AES_128, nullptr, 16));

    ASSERT_TRUE(key.Init(CALG_AES_128, Key(), 16));
    key.Release();
    EXPECT_EQ(key.Encrypt(buffer, 5, nullptr, 0), CCryptKey::kFailed);
}

TEST(CryptKey, OutputSmallerThanInputIsRefused) {
    CCryptKey key;
    ASSERT_TRUE(key.Init(CALG_AES_128, Key(), 16));
    Bytes plain(20, 'q');
    BYTE out[16];
    EXPECT_EQ(key.Encrypt(plain.data(), 20, out, sizeof out), CCryptKey::kFailed);
    EXPECT_EQ(key.Decrypt(plain.data(), 20, out, sizeof out), CCryptKey::kFailed);
}

TEST(CryptKey, AesKeysAreFinalAndTakeTheirModeOthersAreNot) {
    CCryptKey aes;
    ASSERT_TRUE(aes.Init(CALG_AES_128, Key(), 16));
    EXPECT_TRUE(aes.IsFinal());
    EXPECT_EQ(aes.GetIV(nullptr, 0), 16u);

    // ECB: two equal plaintext blocks give two equal ciphertext blocks (CBC would not).
    CCryptKeyOptions ecb;
    ecb.mode = CRYPT_MODE_ECB;
    ecb.final = 0;
    CCryptKey block;
    ASSERT_TRUE(block.Init(CALG_AES_128, Key(), 16, &ecb));
    EXPECT_FALSE(block.IsFinal());
    Bytes data(32, 'z');
    ASSERT_EQ(block.Encrypt(data.data(), 32, data.data(), 32), 32u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 16), Bytes(data.begin() + 16, data.end()));

    // RC4 comes from the RSA full provider and is never padded.
    CCryptKey rc4;
    ASSERT_TRUE(rc4.Init(CALG_RC4, Key(), 16));
    EXPECT_FALSE(rc4.IsFinal());
    Bytes text(7, 'r');
    EXPECT_EQ(rc4.Encrypt(text.data(), 7, text.data(), 7), 7u);
}

TEST(CryptKey, MovedKeyKeepsWorkingAndTheSourceIsEmpty) {
    CCryptKeyOptions options;
    options.iv = kFixedIV.data();
    CCryptKey first;
    ASSERT_TRUE(first.Init(CALG_AES_128, Key(), 16, &options));
    CCryptKey second(std::move(first));
    EXPECT_EQ(first.GetIV(nullptr, 0), CCryptKey::kFailed);
    CCryptKey third;
    ASSERT_TRUE(third.Init(CALG_AES_128, Key(), 16));
    third = std::move(second);
    EXPECT_EQ(second.GetIV(nullptr, 0), CCryptKey::kFailed);
    Bytes plain = Utf16(L"abcde");
    Bytes out(16);
    ASSERT_EQ(third.Encrypt(plain.data(), 10, out.data(), 16), 16u);
    EXPECT_EQ(out, FromHex(kVectors[1].cipherHex));
}

}  // namespace

// Keys share their provider: one alive when the shared reference goes keeps working, and a key made
// afterwards acquires a new one; RC4 and AES keys use providers of different types side by side.
TEST(CryptKey, KeysOutliveTheSharedProviderAndLaterKeysAcquireAnew) {
    CCryptKeyOptions options;
    options.iv = kFixedIV.data();
    CCryptKey before, rc4;
    ASSERT_TRUE(before.Init(CALG_AES_128, Key(), 16, &options));
    ASSERT_TRUE(rc4.Init(CALG_RC4, Key(), 16));
    ReleaseSharedCryptProviders();
    const Vector& v = kVectors[2];
    Bytes plain = Utf16(v.password);
    Bytes out(64);
    DWORD written = before.Encrypt(plain.data(), static_cast<DWORD>(plain.size()), out.data(), 64);
    out.resize(written == CCryptKey::kFailed ? 0 : written);
    EXPECT_EQ(out, FromHex(v.cipherHex));
    EXPECT_EQ(EncryptFixedIV(plain), FromHex(v.cipherHex));
    Bytes stream = plain;
    EXPECT_EQ(rc4.Encrypt(stream.data(), static_cast<DWORD>(stream.size()), stream.data(),
                          static_cast<DWORD>(stream.size())),
              stream.size());
    EXPECT_NE(stream, plain);
    ReleaseSharedCryptProviders();
}
