// TSPasswordCipher: the stored form of a password; failures are logged and give what was built so
// far. The log blocks name the operations as the log of every release has named them.
#include "dms/TSPasswordCipher.h"

#include <vector>

#include "Utilities/CCryptKey.h"
#include "VxGuard.h"
#include "dms/StoredPassword.h"

namespace {

const char kPasswordKey[] = "Wq8%Lr#2(Zt&5}Kp";
constexpr DWORD kPasswordKeyLength = 16;
const BYTE* PasswordKey() { return reinterpret_cast<const BYTE*>(kPasswordKey); }

}  // namespace

std::wstring TSPasswordCipher::EncryptPassword(const std::wstring& password) {
    std::wstring result;
    VX_TRY {
        if (password.size() > 0x10000000) return result;
        const std::vector<uint8_t> plain = PasswordBytes(password);
        const DWORD length = static_cast<DWORD>(plain.size());

        CCryptKey key;
        if (!key.Init(CALG_AES_128, PasswordKey(), kPasswordKeyLength)) return result;
        const DWORD ivLength = key.GetIV(nullptr, 0);
        const DWORD cipherLength = key.Encrypt(plain.data(), length, nullptr, 0);
        key.Release();
        if (ivLength == CCryptKey::kFailed || cipherLength == CCryptKey::kFailed) return result;

        std::vector<uint8_t> stored(ivLength + cipherLength);
        const DWORD size = static_cast<DWORD>(stored.size());
        if (EncryptWithIV(plain.data(), length, stored.data(), size, PasswordKey(), kPasswordKeyLength) != size)
            return result;
        result = EncodeStoredBytes(stored);
    }
    VX_CATCH("TSManager", "TSManager::EncryptPassword")
    return result;
}

std::wstring TSPasswordCipher::DecryptPassword(const std::wstring& stored) {
    std::wstring result;
    VX_TRY {
        std::vector<uint8_t> bytes;
        if (!DecodeStoredBytes(stored, &bytes)) return result;
        std::vector<uint8_t> plain(bytes.size() - kStoredPasswordIV);
        const DWORD count = DecryptWithIV(bytes.data(), static_cast<DWORD>(bytes.size()), plain.data(),
                                          static_cast<DWORD>(plain.size()), PasswordKey(), kPasswordKeyLength);
        if (count == CCryptKey::kFailed || count > plain.size()) return result;
        result = PasswordFromBytes(plain.data(), count);
    }
    VX_CATCH("TSManager", "TSManager::DecryptPassword")
    return result;
}
