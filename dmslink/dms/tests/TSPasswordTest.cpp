#include <gtest/gtest.h>

#include <string>

#include "dms/TSPasswordCipher.h"

namespace {

// Made once with
//   openssl enc -aes-128-cbc -K 577138254c722332285a7426357d4b70 -iv 000102030405060708090a0b0c0d0e0f
// over each password as UTF-16LE without terminator; the key is the 16 bytes of the password key
// string. The stored text is the IV's hex followed by the ciphertext's.
const wchar_t kIVHex[] = L"000102030405060708090A0B0C0D0E0F";
struct Vector {
    std::wstring password;
    std::wstring cipherHex;
};
const Vector kVectors[] = {
    {L"", L"9CF3EF8E50BA5934D9CF270D951C198C"},
    {L"abcde", L"B210ACA0AAEC9BB757C6D961C24997FA"},
    {L"Secret#8", L"BE8486579AF15DC0534719372633F56F915AE2377B07425DDDC275EE4E571730"},
    {L"Gr\u00FC\u00DFe\u20ACx", L"F19A266973CB1147188C8F45A441228E"},
};

bool IsUpperHex(const std::wstring& text) {
    return text.find_first_not_of(L"0123456789ABCDEF") == std::wstring::npos;
}

TEST(TSPassword, OpenSslStoredTextsDecrypt) {
    for (const Vector& v : kVectors) {
        EXPECT_EQ(TSPasswordCipher::DecryptPassword(kIVHex + v.cipherHex), v.password) << v.cipherHex.c_str();
    }
    // Lower-case digits, as a hand-edited value might hold, decode the same.
    std::wstring lower = std::wstring(kIVHex) + kVectors[1].cipherHex;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    EXPECT_EQ(TSPasswordCipher::DecryptPassword(lower), L"abcde");
}

TEST(TSPassword, StoredLengthsAndFreshIVs) {
    const std::wstring empty = TSPasswordCipher::EncryptPassword(L"");
    EXPECT_EQ(empty.size(), 64u);
    EXPECT_EQ(TSPasswordCipher::DecryptPassword(empty), L"");

    const std::wstring eight = TSPasswordCipher::EncryptPassword(L"12345678");
    EXPECT_EQ(eight.size(), 96u);
    EXPECT_TRUE(IsUpperHex(eight));
    EXPECT_EQ(TSPasswordCipher::EncryptPassword(L"1234567").size(), 64u);

    const std::wstring again = TSPasswordCipher::EncryptPassword(L"12345678");
    EXPECT_NE(eight, again);
    EXPECT_NE(eight.substr(0, 32), again.substr(0, 32));
    EXPECT_EQ(TSPasswordCipher::DecryptPassword(eight), L"12345678");
    EXPECT_EQ(TSPasswordCipher::DecryptPassword(again), L"12345678");

    const std::wstring odd = L"Gr\u00FC\u00DFe \u20AC \U0001F600";
    EXPECT_EQ(TSPasswordCipher::DecryptPassword(TSPasswordCipher::EncryptPassword(odd)), odd);
}

TEST(TSPassword, MalformedStoredTextGivesTheEmptyPassword) {
    const std::wstring good = kIVHex + kVectors[2].cipherHex;  // 96 characters
    auto with = [&](size_t at, wchar_t c) { return good.substr(0, at) + c + good.substr(at + 1); };
    const std::wstring malformed[] = {
        L"", L"0123456789ABCDEF",  // 8 bytes: shorter than the IV
        kIVHex,                    // the IV and nothing else
        good.substr(0, 95), good.substr(0, 33), with(40, L'G'), with(95, L' '),
        with(0, L'\u0660'),  // a digit, but not a hex digit here
    };
    for (const std::wstring& text : malformed) EXPECT_EQ(TSPasswordCipher::DecryptPassword(text), L"") << text.size();
}

TEST(TSPassword, DamagedCiphertextIsNotAFailure) {
    // Padding errors come back as whatever the provider left; what matters is a bounded result.
    std::wstring damaged = kIVHex + kVectors[2].cipherHex;
    damaged[70] = damaged[70] == L'0' ? L'1' : L'0';
    std::wstring result = TSPasswordCipher::DecryptPassword(damaged);
    EXPECT_LE(result.size(), 16u);
    EXPECT_NE(result, L"Secret#8");
}

}  // namespace
