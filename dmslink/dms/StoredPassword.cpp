#include "dms/StoredPassword.h"

namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

}  // namespace

std::wstring EncodeStoredBytes(const std::vector<uint8_t>& bytes) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

bool DecodeStoredBytes(const std::wstring& text, std::vector<uint8_t>* bytes) {
    if (text.size() % 2 != 0 || text.size() / 2 <= kStoredPasswordIV) return false;
    std::vector<uint8_t> decoded(text.size() / 2);
    for (size_t i = 0; i < decoded.size(); ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        decoded[i] = static_cast<uint8_t>(high << 4 | low);
    }
    bytes->swap(decoded);
    return true;
}

std::vector<uint8_t> PasswordBytes(const std::wstring& password) {
    std::vector<uint8_t> bytes;
    bytes.reserve(password.size() * 2);
    for (wchar_t unit : password) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
    }
    return bytes;
}

std::wstring PasswordFromBytes(const uint8_t* bytes, size_t size) {
    std::wstring text(size / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<wchar_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return text;
}
