// TSPasswordCipher.h - how a server's password is kept in the registry: the IV and the AES-128-CBC
// ciphertext of its UTF-16LE text under the plug-in's fixed key, as upper-case hexadecimal.
#pragma once

#include <string>

class TSPasswordCipher {
public:
    // Empty when no cryptographic provider can be used.
    static std::wstring EncryptPassword(const std::wstring& password);
    // Empty for text that is not such a stored form.
    static std::wstring DecryptPassword(const std::wstring& stored);
};
