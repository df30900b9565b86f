#include "Utilities/CAPRegistry.h"

#include <vector>

#include "Utilities/CAPRegistryText.h"

bool CAPReadRegistryText(HKEY key, const wchar_t* name, DWORD maxChars, std::wstring* text) {
    // One unit more than allowed, so that a longer value reads as too long rather than as missing.
    std::vector<BYTE> buffer((maxChars + 1) * sizeof(wchar_t));
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(buffer.size());
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, buffer.data(), &bytes);
    if (status != ERROR_SUCCESS || bytes > buffer.size()) return false;
    uint32_t kind = type == REG_SZ ? uint32_t{kCAPRegSz} : type == REG_EXPAND_SZ ? uint32_t{kCAPRegExpandSz} : 0u;
    return CAPDecodeRegistryText(kind, buffer.data(), bytes, maxChars, text);
}
