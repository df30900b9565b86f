// The TSFile.dat record as any file beside a copy may hold it.
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "documents/FileDataRecord.h"

namespace {

const FileDataRecord kUnread{-7, -7, L"unread", L"unread", L"unread"};

bool Same(const FileDataRecord& a, const FileDataRecord& b) {
    return a.number == b.number && a.version == b.version && a.name == b.name && a.database == b.database &&
           a.server == b.server;
}

FileDataParse Parse(const std::string& bytes, FileDataRecord* record) {
    return ParseFileDataRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), record);
}

// A prefix that ends before a field leaves that field and every later one as they were, and reads
// as Truncated: the counts of a complete record are all within the limit.
void CheckPrefix(const std::string& bytes, size_t cut, const FileDataRecord& full) {
    FileDataRecord record = kUnread;
    FUZZ_CHECK(Parse(bytes.substr(0, cut), &record) == FileDataParse::Truncated);
    const size_t nameEnd = 12 + 2 * full.name.size();
    const size_t databaseEnd = nameEnd + 4 + 2 * full.database.size();
    FUZZ_CHECK(record.number == (cut >= 4 ? full.number : kUnread.number));
    FUZZ_CHECK(record.version == (cut >= 8 ? full.version : kUnread.version));
    FUZZ_CHECK(record.name == (cut >= nameEnd ? full.name : kUnread.name));
    FUZZ_CHECK(record.database == (cut >= databaseEnd ? full.database : kUnread.database));
    FUZZ_CHECK(record.server == kUnread.server);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FileDataRecord record = kUnread;
    const FileDataParse parse = ParseFileDataRecord(data, size, &record);
    // The name is joined to the copy's folder: a plain one can never leave it.
    if (IsPlainFileName(record.name)) {
        FUZZ_CHECK(record.name.find_first_of(L"\\/:") == std::wstring::npos);
        FUZZ_CHECK(record.name != L"." && record.name != L"..");
    }
    for (const std::wstring* text : {&record.name, &record.database, &record.server})
        FUZZ_CHECK(*text == kUnread.name || text->size() <= kMaxFileDataText);
    if (parse != FileDataParse::Complete) return 0;

    // What was read writes back as the bytes it came from, and reads again as the same record.
    const std::string bytes = SerializeFileDataRecord(record);
    FUZZ_CHECK(bytes.size() <= size && std::memcmp(bytes.data(), data, bytes.size()) == 0);
    FileDataRecord again = kUnread;
    FUZZ_CHECK(Parse(bytes, &again) == FileDataParse::Complete && Same(again, record));

    // Cuts on either side of each field's and each count's end.
    const size_t nameEnd = 12 + 2 * record.name.size();
    const size_t databaseEnd = nameEnd + 4 + 2 * record.database.size();
    for (size_t end : {size_t{4}, size_t{8}, size_t{12}, nameEnd, nameEnd + 4, databaseEnd, databaseEnd + 4,
                       bytes.size()}) {
        if (end < bytes.size()) CheckPrefix(bytes, end, record);
        CheckPrefix(bytes, end - 1, record);
    }
    return 0;
}
