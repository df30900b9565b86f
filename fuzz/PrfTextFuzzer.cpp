// A DeskClient PRF file's head as the desktop client, or anyone, may have written it.
#include <algorithm>
#include <string>

#include "FuzzCheck.h"
#include "documents/PrfText.h"

namespace {

struct AnsiCall {
    const char* bytes = nullptr;
    size_t size = 0;
    int count = 0;
};
AnsiCall gAnsi;

// Stands in for the thread's code page: each byte one character.
std::wstring Latin1(const char* bytes, size_t size) {
    gAnsi = {bytes, size, gAnsi.count + 1};
    std::wstring text(size, L'\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<unsigned char>(bytes[i]);
    return text;
}

bool AnyDocument(const std::wstring&, const void* context) { return context == &gAnsi; }
bool NoDocument(const std::wstring&, const void*) { return false; }

struct Values {
    long number = 11, version = 11;
    std::wstring name = L"n", database = L"d", server = L"s";
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gAnsi = AnsiCall();
    const std::wstring text = DecodePrfText(data, size, Latin1);
    const size_t head = std::min<size_t>(size, kMaxPrfBytes);
    if (head >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        FUZZ_CHECK(gAnsi.count == 0);
        FUZZ_CHECK(text.size() == head / 2);
        for (size_t i = 0; i < text.size(); ++i)
            FUZZ_CHECK(text[i] == static_cast<wchar_t>(data[2 * i] | data[2 * i + 1] << 8));
    } else if (head > 0) {
        FUZZ_CHECK(gAnsi.count == 1 && gAnsi.bytes == reinterpret_cast<const char*>(data) && gAnsi.size == head);
    }

    // The keys are found independently of one another: all of them are read exactly when each one alone
    // is, with the same values.
    Values all;
    const bool complete = ParsePrfText(text, AnyDocument, &gAnsi,
                                       {&all.number, &all.version, &all.name, &all.database, &all.server});
    bool each = true;
    Values one;
    PrfRequest number, version, name, database, server;
    number.number = &one.number;
    version.version = &one.version;
    name.name = &one.name;
    database.database = &one.database;
    server.server = &one.server;
    for (const PrfRequest* request : {&number, &version, &name, &database, &server})
        each = ParsePrfText(text, AnyDocument, &gAnsi, *request) && each;
    FUZZ_CHECK(complete == each);
    if (complete)
        FUZZ_CHECK(one.number == all.number && one.version == all.version && one.name == all.name &&
                   one.database == all.database && one.server == all.server);

    // A file that describes another document gives nothing, whatever it holds.
    Values refused;
    FUZZ_CHECK(!ParsePrfText(text, NoDocument, nullptr,
                             {&refused.number, &refused.version, &refused.name, &refused.database, nullptr}));
    FUZZ_CHECK(refused.number == -1 && refused.version == -1 && refused.name.empty() && refused.database.empty());
    return 0;
}
