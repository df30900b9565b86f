// A stored password's text as a registry value may hold it (UTF-16 code units), and the plaintext bytes
// that a decryption may hand back.
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "dms/StoredPassword.h"

namespace {

wchar_t Upper(wchar_t c) { return c >= L'a' && c <= L'f' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = PasswordFromBytes(data, size);
    FUZZ_CHECK(text.size() == size / 2);
    FUZZ_CHECK(PasswordBytes(text) == std::vector<uint8_t>(data, data + size / 2 * 2));

    const std::vector<uint8_t> untouched{0xA5};
    std::vector<uint8_t> bytes = untouched;
    if (DecodeStoredBytes(text, &bytes)) {
        FUZZ_CHECK(bytes.size() > kStoredPasswordIV && bytes.size() * 2 == text.size());
        // Decoding loses nothing but the case of the digits.
        const std::wstring encoded = EncodeStoredBytes(bytes);
        FUZZ_CHECK(encoded.size() == text.size());
        for (size_t i = 0; i < text.size(); ++i) FUZZ_CHECK(encoded[i] == Upper(text[i]));
    } else {
        FUZZ_CHECK(bytes == untouched);
    }

    // Any bytes beyond the IV survive their text form.
    const std::vector<uint8_t> raw(data, data + size);
    std::vector<uint8_t> decoded = untouched;
    const bool decodes = DecodeStoredBytes(EncodeStoredBytes(raw), &decoded);
    FUZZ_CHECK(decodes == (raw.size() > kStoredPasswordIV));
    FUZZ_CHECK(decoded == (decodes ? raw : untouched));
    return 0;
}
