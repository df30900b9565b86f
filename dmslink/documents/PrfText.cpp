#include "documents/PrfText.h"

#include <cwchar>

namespace {

// The value after `key` (searched from `from`) up to the next CR LF; false when either is missing.
bool FindValue(const std::wstring& text, const wchar_t* key, size_t from, std::wstring* value) {
    size_t at = text.find(key, from);
    if (at == std::wstring::npos) return false;
    size_t start = at + std::wcslen(key);
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) return false;
    *value = text.substr(start, end - start);
    return true;
}

// As wcstol with base 10, clamped to the long range, without the C library's locale.
long DecimalOf(const std::wstring& value) {
    size_t i = 0;
    while (i < value.size() && (value[i] == L' ' || (value[i] >= L'\t' && value[i] <= L'\r'))) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == L'+' || value[i] == L'-')) negative = value[i++] == L'-';
    long long number = 0;
    for (; i < value.size() && value[i] >= L'0' && value[i] <= L'9'; ++i) {
        number = number * 10 + (value[i] - L'0');
        if (number > 2147483648LL) number = 2147483648LL;
    }
    if (negative) number = -number;
    if (number > 2147483647LL) number = 2147483647LL;
    return static_cast<long>(number);
}

bool ParseServer(const std::wstring& text, size_t docId, std::wstring* server) {
    size_t open = text.find(L"!session:", docId);
    if (open == std::wstring::npos) return false;
    size_t close = text.find(L":!", open + 1);
    if (close == std::wstring::npos) return false;
    size_t start = open + std::wcslen(L"!session:");
    *server = close > start ? text.substr(start, close - start) : std::wstring();
    return true;
}

bool ParseNumber(const std::wstring& text, const wchar_t* key, size_t docId, long* number) {
    std::wstring value;
    if (!FindValue(text, key, docId, &value)) return false;
    *number = DecimalOf(value);
    return true;
}

}  // namespace

std::wstring DecodePrfText(const uint8_t* bytes, size_t size, std::wstring (*ansi)(const char*, size_t)) {
    if (!bytes || size == 0) return std::wstring();
    if (size > kMaxPrfBytes) size = kMaxPrfBytes;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::wstring text(size / 2, L'\0');
        for (size_t i = 0; i < text.size(); i++) text[i] = static_cast<wchar_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        return text;
    }
    return ansi ? ansi(reinterpret_cast<const char*>(bytes), size) : std::wstring();
}

bool ParsePrfText(const std::wstring& text, bool (*isDocument)(const std::wstring& file, const void* context),
                  const void* context, const PrfRequest& request) {
    if (request.number) *request.number = -1;
    if (request.version) *request.version = -1;
    if (request.name) request.name->clear();
    if (request.database) request.database->clear();
    std::wstring value;
    if (!FindValue(text, L"\r\nFILE=", 0, &value) || !isDocument || !isDocument(value, context)) return false;
    size_t docId = text.find(L"\r\nDOCID=");
    if (docId == std::wstring::npos) return false;
    if (request.server && !ParseServer(text, docId, request.server)) return false;
    if (request.database && !FindValue(text, L"\r\nDB=", docId, request.database)) return false;
    if (request.number && !ParseNumber(text, L"\r\nNUM=", docId, request.number)) return false;
    if (request.version && !ParseNumber(text, L"\r\nVER=", docId, request.version)) return false;
    if (request.name) {
        if (!FindValue(text, L"\r\nDESCRIPTION=", docId, &value)) return false;
        *request.name = value + L".pdf";
    }
    return true;
}

bool IsUsablePrf(const PrfRequest& request) {
    return !(request.number && *request.number < 0) && !(request.version && *request.version < 0) &&
           !(request.name && request.name->empty()) && !(request.database && request.database->empty());
}
