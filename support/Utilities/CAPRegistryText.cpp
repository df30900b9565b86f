#include "Utilities/CAPRegistryText.h"

bool CAPDecodeRegistryText(uint32_t type, const uint8_t* bytes, size_t size, size_t maxChars, std::wstring* text) {
    if (type != kCAPRegSz && type != kCAPRegExpandSz) return false;
    if (size == 0) {
        text->clear();
        return true;
    }
    if (!bytes || size % 2 != 0 || size / 2 > maxChars) return false;
    const size_t units = size / 2;
    if (bytes[size - 2] != 0 || bytes[size - 1] != 0) return false;
    std::wstring decoded;
    for (size_t i = 0; i + 1 < units; ++i) {
        wchar_t unit = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (unit == 0) break;
        decoded += unit;
    }
    *text = decoded;
    return true;
}
