#include "documents/DocumentFiles.h"

#include <stdexcept>

#include "VxHFT.h"
#include "VxTrace.h"

namespace documents {

const char kSite[] = "CDocumentManager";

void Fail(const char* what) { throw std::runtime_error(what); }

namespace {

class CHostText {
public:
    CHostText() : text_(VxTextNew()) {}
    ~CHostText() {
        if (text_) VxTextDestroy(text_);
    }
    CHostText(const CHostText&) = delete;
    CHostText& operator=(const CHostText&) = delete;
    ASText get() const { return text_; }

private:
    ASText text_;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

size_t LastSeparator(const std::wstring& path) {
    for (size_t i = path.size(); i > 0; i--)
        if (IsSeparator(path[i - 1])) return i - 1;
    return std::wstring::npos;
}

// Seconds since 1970 UTC, low 32 bits, as the trace lines carry them.
long UnixSeconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    const unsigned long long kEpochDifference = 116444736000000000ULL;
    unsigned long long seconds = value.QuadPart >= kEpochDifference ? (value.QuadPart - kEpochDifference) / 10000000ULL : 0;
    return static_cast<long>(static_cast<unsigned long>(seconds & 0xFFFFFFFFULL));
}

}  // namespace

std::wstring PathText(ASPathName path) {
    if (!path) return std::wstring();
    CHostText text;
    if (!text.get()) Fail("no host text");
    ASInt32 result = VxDisplayText(nullptr, path, text.get());
    if (result != 0) VxRaise(result, kSite, __LINE__, "PathText");
    const wchar_t* value = VxTextGetWide(text.get());
    return value ? std::wstring(value) : std::wstring();
}

std::wstring FolderOf(const std::wstring& path) {
    size_t separator = LastSeparator(path);
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring NameOf(const std::wstring& path) {
    size_t separator = LastSeparator(path);
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

bool Exists(const std::wstring& path) { return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

CFileHandle OpenForStatus(const std::wstring& path) {
    return CFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadFileStatus(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    return file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, info);
}

void TraceFileStatus(const BY_HANDLE_FILE_INFORMATION& info) {
    VxTrace("File acces time:", UnixSeconds(info.ftLastAccessTime));
    VxTrace("File creation time:", UnixSeconds(info.ftCreationTime));
    VxTrace("File modification time:", UnixSeconds(info.ftLastWriteTime));
    VxTrace("File size:", static_cast<long>(info.nFileSizeLow));
}

DmsDocumentPtr NewReference(const DmsDocumentPtr& document) {
    if (!document || !document->document) return nullptr;
    auto copy = std::make_unique<DmsDocumentHolder>();
    copy->document = document->document;
    return copy;
}

}  // namespace documents
