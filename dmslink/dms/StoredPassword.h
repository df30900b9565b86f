// StoredPassword.h - the text form of a stored password ("TesseraPassword": the IV and the AES
// ciphertext as upper-case hexadecimal) and the plaintext's UTF-16LE bytes. Pure logic (no system
// call), so that the decoder also builds natively for fuzzing; the cipher itself is CCryptKey's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum : size_t { kStoredPasswordIV = 16 };

// "%02X" for each byte, first byte first.
std::wstring EncodeStoredBytes(const std::vector<uint8_t>& bytes);
// The bytes of a stored text: whole pairs of hexadecimal digits (either case) that hold more than
// the IV. Anything else is false and gives the empty password.
bool DecodeStoredBytes(const std::wstring& text, std::vector<uint8_t>* bytes);

std::vector<uint8_t> PasswordBytes(const std::wstring& password);  // UTF-16LE, no terminator
std::wstring PasswordFromBytes(const uint8_t* bytes, size_t size);  // size / 2 code units
