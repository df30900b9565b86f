// The temporary workspace: folders, record files, owed marks and the deletion of copies.
#include "documents/TempWorkspace.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdint>

#include "Files/CAPLongPaths.h"
#include "Files/CAPPathText.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "dms/TesseraClient.h"

namespace {

const char kSite[] = "CDocumentManager";
const wchar_t kRecordFile[] = L"\\TSFile.dat";
enum { kTempBufferSize = MAX_PATH, kTempPathLimit = 251, kLastFolderNumber = 99999 };
// A record of three texts of kMaxFileDataText units each is far below this; more is not read.
enum : DWORD { kMaxRecordBytes = 4096 };

}  // namespace

namespace {

// Low 32 bits of seconds since 1970 UTC, as the trace lines carry them.
long UnixSeconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    const unsigned long long kEpochDifference = 116444736000000000ULL;  // 1601 to 1970 in 100 ns
    unsigned long long seconds =
        value.QuadPart >= kEpochDifference ? (value.QuadPart - kEpochDifference) / 10000000ULL : 0;
    return static_cast<long>(static_cast<unsigned long>(seconds & 0xFFFFFFFFULL));
}

}  // namespace

std::wstring GetTempRootFolder() {
    wchar_t buffer[kTempBufferSize] = {};
    std::wstring root;
    // A folder of its own for a process that names one (test processes run side by side this way);
    // everyone else shares the system's temporary folder.
    DWORD overridden = GetEnvironmentVariableW(L"DMSLINK_TEMP_ROOT", buffer, kTempPathLimit);
    if (overridden > 0 && overridden < kTempPathLimit) {
        root = buffer;
        while (root.size() > 1 && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
    } else {
        DWORD length = GetTempPathW(kTempPathLimit, buffer);
        if (length == 0 || length > kTempPathLimit) return std::wstring();
        PathAppendW(buffer, L"dmslink");
        root = buffer;
    }
    if (!CAPPathExists(root)) CreateDirectoryW(root.c_str(), nullptr);
    return root;
}

bool GetUniqueTempFolder(std::wstring* folder) {
    std::wstring root = GetTempRootFolder();
    for (int n = 0;;) {
        std::wstring candidate = VxFormat(L"%s\\VRL%d\\", root.c_str(), n);
        n++;
        if (n > kLastFolderNumber) {
            if (folder) folder->clear();
            return false;
        }
        if (!CAPPathExists(candidate)) {
            if (folder) *folder = candidate;
            return true;
        }
    }
}

bool ClaimTempFolder(std::wstring* folder, CFolderClaim* claim) {
    std::wstring root = GetTempRootFolder();
    // The search starts at as many as the root holds, so that a long run of check-outs does not try
    // every taken number again each time, and nothing needs remembering between claims.
    int first = 0;
    {
        WIN32_FIND_DATAW found;
        CAPFindHandle search(FindFirstFileW((root + L"\\*").c_str(), &found));
        if (search) {
            do {
                ++first;
            } while (FindNextFileW(search.get(), &found));
        }
        first = first > 2 ? first - 2 : 0;  // "." and ".."
    }
    for (int tried = 0; tried < kLastFolderNumber; ++tried) {
        int n = (first + tried) % kLastFolderNumber;
        std::wstring candidate = VxFormat(L"%s\\VRL%d\\", root.c_str(), n);
        if (claim->Create(candidate)) {
            if (folder) *folder = candidate;
            return true;
        }
        // Taken (perhaps by another host this very moment, folder or claim): the next number.
        // Anything else would fail for every number alike.
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS && error != ERROR_SHARING_VIOLATION) break;
    }
    if (folder) folder->clear();
    return false;
}

std::wstring FormatTempFileName(long number, long version, const std::wstring& extension) {
    return VxFormat(L"%d_%d.%s", static_cast<int>(number), static_cast<int>(version), extension.c_str());
}

// ---- the record file

std::wstring RecordFileOf(const std::wstring& copy) { return CAPFolderOf(copy) + kRecordFile; }

bool ReadFileData(const std::wstring& recordFile, FileDataRecord* record) {
    if (!CAPPathExists(recordFile)) return false;
    CAPHandle file(CreateFileW(recordFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        VxLogSystemException(kSite, "CDocumentManager::GetFileDataDetails", __LINE__);
        return false;
    }
    std::vector<uint8_t> bytes(kMaxRecordBytes);
    DWORD total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + total, kMaxRecordBytes - total, &read, nullptr)) {
            VxLogSystemException(kSite, "CDocumentManager::GetFileDataDetails", __LINE__);
            break;
        }
        if (read == 0) break;
        total += read;
        if (total == kMaxRecordBytes) break;
    }
    FileDataParse parse = ParseFileDataRecord(bytes.data(), total, record);
    return IsUsableFileData(parse, *record);
}

CAPHandle WriteFileData(const std::wstring& recordFile, const FileDataRecord& record) {
    const std::string bytes = SerializeFileDataRecord(record);
    {
        CAPHandle file(CreateFileW(recordFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return CAPHandle();
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            return CAPHandle();
    }
    return ClaimRecordFile(recordFile);
}

FileDataRecord DescribeForRecord(ITesseraDocument* document) {
    if (!document) TesseraCheck(E_POINTER);
    long number = 0;
    long version = 0;
    TesseraCheck(document->get_Number(&number));
    TesseraCheck(document->get_Version(&version));
    std::wstring extension = TesseraGetText(document, &ITesseraDocument::get_Extension);
    ITesseraDatabasePtr database;
    TesseraCheck(document->get_Database(&database));
    if (!database) TesseraCheck(E_POINTER);
    ITesseraSessionPtr session;
    FileDataRecord record;
    record.number = static_cast<int32_t>(number);
    record.version = static_cast<int32_t>(version);
    record.name = FormatTempFileName(number, version, extension);
    record.database = TesseraGetText(database.GetInterfacePtr(), &ITesseraDatabase::get_Name);
    TesseraCheck(database->get_Session(&session));
    if (!session) TesseraCheck(E_POINTER);
    record.server = TesseraGetText(session.GetInterfacePtr(), &ITesseraSession::get_ServerName);
    return record;
}

CAPHandle ClaimRecordFile(const std::wstring& recordFile) {
    return CAPHandle(CreateFileW(recordFile.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// ---- the owed mark

std::wstring OwedMarkOf(const std::wstring& copy) { return copy + L".owed"; }

namespace {

// Longer marks are not a note of ours; what they hold beyond this is not read.
enum : DWORD { kMaxNoteBytes = 8192 };

std::string Utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], units);
    return out;
}

// One line per value: a line break inside one would start a line of its own.
std::string NoteLine(const char* key, const std::wstring& value) {
    std::wstring flat = value;
    for (wchar_t& c : flat)
        if (c == L'\r' || c == L'\n') c = L' ';
    return std::string(key) + "=" + Utf8(flat) + "\r\n";
}

std::string FormatOwedNote(const OwedNote& note) {
    std::string text;
    if (!note.name.empty()) text += NoteLine("name", note.name);
    if (!note.reason.empty()) text += NoteLine("reason", note.reason);
    return text;
}

OwedNote ParseOwedNote(const std::string& text) {
    OwedNote note;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        if (key == "name") note.name = Wide(line.substr(equals + 1));
        else if (key == "reason") note.reason = Wide(line.substr(equals + 1));
    }
    return note;
}

// The note in place of what the mark held; the mark itself is never removed to be written anew, so
// a write that fails leaves the copy owed.
void WriteOwedNote(const std::wstring& mark, DWORD disposition, const OwedNote& note) {
    CAPHandle file(CreateFileW(mark.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    const std::string bytes = FormatOwedNote(note);
    DWORD written = 0;
    if (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        SetEndOfFile(file.get());
}

}  // namespace

void MarkOwed(const std::wstring& copy, const std::wstring& name) {
    const std::wstring mark = OwedMarkOf(copy);
    if (CAPPathExists(mark)) return;
    OwedNote note;
    note.name = name;
    WriteOwedNote(mark, CREATE_NEW, note);
    // Made by someone else in between, or not writable: the mark is what counts.
    if (!CAPPathExists(mark)) {
        CAPHandle made(CreateFileW(mark.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
}

OwedNote ReadOwedNote(const std::wstring& copy) {
    const std::wstring mark = OwedMarkOf(copy);
    if (copy.empty() || !IsOwnEntry(mark)) return OwedNote();
    CAPHandle file(CreateFileW(mark.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return OwedNote();
    std::string bytes(kMaxNoteBytes, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), &bytes[0], kMaxNoteBytes, &read, nullptr)) return OwedNote();
    bytes.resize(read);
    return ParseOwedNote(bytes);
}

void NoteRefusal(const std::wstring& copy, const std::wstring& name, const std::wstring& reason) {
    if (!IsOwed(copy) || !IsOwnEntry(OwedMarkOf(copy))) return;
    OwedNote note = ReadOwedNote(copy);
    if (!name.empty()) note.name = name;
    note.reason = reason;
    WriteOwedNote(OwedMarkOf(copy), OPEN_EXISTING, note);
}

bool IsOwed(const std::wstring& copy) { return !copy.empty() && CAPPathExists(OwedMarkOf(copy)); }

void ClearOwed(const std::wstring& copy) {
    if (IsOwed(copy) && IsOwnEntry(OwedMarkOf(copy))) DeleteFileW(OwedMarkOf(copy).c_str());
}

// ---- the sent mark

namespace {
std::wstring SentMarkOf(const std::wstring& copy) { return copy + L".sent"; }
}  // namespace

FileStamp StampOf(const std::wstring& path) {
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return stamp;
    stamp.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.written = (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                    data.ftLastWriteTime.dwLowDateTime;
    stamp.known = true;
    return stamp;
}

void WriteSentMark(const std::wstring& copy, const FileStamp& sent) {
    if (!sent.known) return;
    CAPHandle mark(CreateFileW(SentMarkOf(copy).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!mark) return;
    const unsigned long long fields[2] = {sent.size, sent.written};
    DWORD written = 0;
    WriteFile(mark.get(), fields, sizeof fields, &written, nullptr);
}

bool SettleSentMark(const std::wstring& copy) {
    const std::wstring mark = SentMarkOf(copy);
    if (copy.empty() || !CAPPathExists(mark) || !IsOwnEntry(mark)) return false;
    unsigned long long fields[2] = {};
    DWORD read = 0;
    {
        CAPHandle file(CreateFileW(mark.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !ReadFile(file.get(), fields, sizeof fields, &read, nullptr)) return false;
    }
    FileStamp now = StampOf(copy);
    bool received = read == sizeof fields && now.known && now.size == fields[0] && now.written == fields[1];
    if (received) ClearOwed(copy);
    DeleteFileW(mark.c_str());
    return received;
}

// ---- copies

std::wstring AcquireTempPath(const std::wstring& fileName, CFolderClaim* claim) {
    std::wstring folder;
    ClaimTempFolder(&folder, claim);
    return folder + fileName;
}

void DeleteLocalCopy(const std::wstring& copy, const std::wstring& companion, CFolderClaim folder,
                     CDeferredDeletions* later) {
    if (copy.empty()) return;
    VX_TRY {
        // A copy or companion replaced by a link is left as it is: deleting it could reach outside.
        if (!IsOwnEntry(copy)) {
            folder.DeleteIfEmpty();
            return;
        }
        // Everything beside the copy goes now, under the folder's claim.
        if (CAPPathExists(companion) && IsOwnEntry(companion)) DeleteFileW(companion.c_str());
        ClearOwed(copy);
        if (CAPPathExists(SentMarkOf(copy)) && IsOwnEntry(SentMarkOf(copy))) DeleteFileW(SentMarkOf(copy).c_str());
        CAPHostPath path = CAPMakeHostPath(copy);
        if (!path) {
            DeleteFileW(copy.c_str());
        } else if (later) {
            // The claim goes with the deletion and is held until it has run.
            later->Add(std::move(path), folder);
            return;
        } else {
            VX_TRY { VxRemoveFile(nullptr, path.get()); }
            VX_CATCH(kSite, "DeferredFileDelete")
        }
        folder.DeleteIfEmpty();
    }
    VX_CATCH(kSite, "CDocumentManager::DeleteDocFromTmp")
}

bool IsWorkspaceFolder(const std::wstring& folder) {
    std::wstring path = folder;
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return IsWorkspaceFolderName(CAPNameOf(path)) && CAPSamePath(CAPFolderOf(path), GetTempRootFolder());
}

bool IsWorkspaceFolderName(const std::wstring& name) {
    if (name.size() < 4 || name.size() > 8 || name.compare(0, 3, L"VRL") != 0) return false;
    return std::all_of(name.begin() + 3, name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

bool DeleteUnclaimedFolder(const std::wstring& folder) {
    if (CAPPathExists(folder + kRecordFile) || !IsOwnEntry(folder)) return false;
    // Only plain files, at least one: a sub-folder, a link or an owed mark is not a leftover of ours.
    bool any = false;
    const bool plain = VisitPlainFiles(folder, [&](const std::wstring& name) {
        any = true;
        return !(name.size() > 5 && CAPSameTextIgnoringCase(name.substr(name.size() - 5), L".owed"));
    });
    if (!plain || !any) return false;
    // Another living host's folder (a copy kept without a record, a check-in's private copy) stays.
    CFolderClaim claim;
    if (!claim.Take(folder)) return false;
    // A record written since the look above makes it a leftover for the recovery, not for this.
    if (CAPPathExists(folder + kRecordFile)) return false;
    return claim.DeleteFolder();
}

CClaimedTempFolder::~CClaimedTempFolder() {
    VX_TRY { claim_.DeleteTree(); }
    VX_CATCH(kSite, "CDocumentManager::DeleteDocFromTmp")
}

bool CClaimedTempFolder::Claim() {
    std::wstring folder;
    return ClaimTempFolder(&folder, &claim_);
}

// ---- file status lines

CAPHandle OpenForStatus(const std::wstring& path) {
    return CAPHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadFileStatus(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    return file && file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, info);
}

void TraceFileStatus(const BY_HANDLE_FILE_INFORMATION& info) {
    VxTrace("File acces time:", UnixSeconds(info.ftLastAccessTime));
    VxTrace("File creation time:", UnixSeconds(info.ftCreationTime));
    VxTrace("File modification time:", UnixSeconds(info.ftLastWriteTime));
    VxTrace("File size:", static_cast<long>(info.nFileSizeLow));
}
