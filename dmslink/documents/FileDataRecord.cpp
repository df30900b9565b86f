#include "documents/FileDataRecord.h"

#include <cwctype>

namespace {

class Reader {
public:
    Reader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(bytes ? size : 0) {}
    bool Uint32(uint32_t* value) {
        if (size_ - at_ < 4) return false;
        *value = static_cast<uint32_t>(bytes_[at_]) | static_cast<uint32_t>(bytes_[at_ + 1]) << 8 |
                 static_cast<uint32_t>(bytes_[at_ + 2]) << 16 | static_cast<uint32_t>(bytes_[at_ + 3]) << 24;
        at_ += 4;
        return true;
    }
    bool Text(uint32_t units, std::wstring* text) {
        if ((size_ - at_) / 2 < units) return false;
        std::wstring read(units, L'\0');
        for (uint32_t i = 0; i < units; ++i)
            read[i] = static_cast<wchar_t>(bytes_[at_ + 2 * i] | bytes_[at_ + 2 * i + 1] << 8);
        at_ += 2 * static_cast<size_t>(units);
        *text = read;
        return true;
    }

private:
    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
};

void PutUint32(std::string* out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutText(std::string* out, const std::wstring& text) {
    PutUint32(out, static_cast<uint32_t>(text.size()));
    for (wchar_t unit : text) {
        out->push_back(static_cast<char>(unit & 0xFF));
        out->push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
}

bool IsDeviceName(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (wchar_t& c : base) c = static_cast<wchar_t>(std::towupper(c));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices)
        if (base == device) return true;
    // Windows counts the superscript digits one to three as port numbers too.
    const wchar_t last = base.size() == 4 ? base[3] : L'\0';
    const bool portNumber = (last >= L'0' && last <= L'9') || last == 0x00B9 || last == 0x00B2 || last == 0x00B3;
    return portNumber && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0);
}

}  // namespace

FileDataParse ParseFileDataRecord(const uint8_t* bytes, size_t size, FileDataRecord* record) {
    Reader reader(bytes, size);
    uint32_t value = 0;
    if (!reader.Uint32(&value)) return FileDataParse::Truncated;
    record->number = static_cast<int32_t>(value);
    if (!reader.Uint32(&value)) return FileDataParse::Truncated;
    record->version = static_cast<int32_t>(value);
    for (std::wstring* text : {&record->name, &record->database, &record->server}) {
        uint32_t units = 0;
        if (!reader.Uint32(&units)) return FileDataParse::Truncated;
        if (units > kMaxFileDataText) return FileDataParse::TooLong;
        if (!reader.Text(units, text)) return FileDataParse::Truncated;
    }
    return FileDataParse::Complete;
}

std::string SerializeFileDataRecord(const FileDataRecord& record) {
    std::string bytes;
    PutUint32(&bytes, static_cast<uint32_t>(record.number));
    PutUint32(&bytes, static_cast<uint32_t>(record.version));
    PutText(&bytes, record.name);
    PutText(&bytes, record.database);
    PutText(&bytes, record.server);
    return bytes;
}

bool IsUsableFileData(FileDataParse parse, const FileDataRecord& record) {
    return parse == FileDataParse::Complete && record.number >= 0 && record.version >= 0 && !record.name.empty() &&
           !record.database.empty();
}

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name)
        if (c < 0x20 || c == L'\\' || c == L'/' || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' ||
            c == L'>' || c == L'|')
            return false;
    // The system drops trailing dots and blanks, so "a.pdf." would open "a.pdf" next door.
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !IsDeviceName(name);
}
