// A registry string value as any program may have written it. The input is the value's type (one
// byte), the reader's maxChars (two bytes, little-endian), then the value's bytes.
#include <cstring>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "Utilities/CAPRegistryText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint32_t type = data[0];
    const size_t maxChars = data[1] | data[2] << 8;
    // A buffer of exactly the value's size, so that a read on either side of it is caught.
    const std::vector<uint8_t> value(data + 3, data + size);
    const uint8_t* bytes = value.empty() ? nullptr : value.data();

    const std::wstring untouched = L"untouched";
    std::wstring text = untouched;
    if (!CAPDecodeRegistryText(type, bytes, value.size(), maxChars, &text)) {
        FUZZ_CHECK(text == untouched);
        return 0;
    }
    FUZZ_CHECK(type == kCAPRegSz || type == kCAPRegExpandSz);
    FUZZ_CHECK(text.find(L'\0') == std::wstring::npos);
    if (value.empty()) {
        FUZZ_CHECK(text.empty());
        return 0;
    }
    // The text and its terminator are the value's first code units, within the reader's limit.
    FUZZ_CHECK(value.size() % 2 == 0 && value.size() / 2 <= maxChars && text.size() < value.size() / 2);
    for (size_t i = 0; i <= text.size(); ++i) {
        const wchar_t unit = static_cast<wchar_t>(value[2 * i] | value[2 * i + 1] << 8);
        FUZZ_CHECK(unit == (i < text.size() ? text[i] : L'\0'));
    }
    FUZZ_CHECK(value[value.size() - 2] == 0 && value[value.size() - 1] == 0);
    return 0;
}
