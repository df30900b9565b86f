// The temporary workspace: folders, record files, owed marks and the deletion of copies.
#include "documents/TempWorkspace.h"

#include <shlwapi.h>

#include <cstdint>
#include <mutex>

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

// The "\\?\" form reaches paths of any length; it needs an absolute path without "." components.
std::wstring LongForm(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

// What the system resolves the path to, when it can tell; empty otherwise.
std::wstring ResolvedPath(HANDLE entry) {
    DWORD needed = GetFinalPathNameByHandleW(entry, nullptr, 0, FILE_NAME_NORMALIZED);
    if (needed == 0) return std::wstring();
    std::wstring resolved(needed, L'\0');
    DWORD length = GetFinalPathNameByHandleW(entry, &resolved[0], needed, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= needed) return std::wstring();
    resolved.resize(length);
    return WithoutLongPrefix(resolved);
}

std::wstring LongNameOf(const std::wstring& path) {
    DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    DWORD length = GetLongPathNameW(path.c_str(), &full[0], needed);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

}  // namespace

bool IsOwnEntry(const std::wstring& path) {
    CAPHandle entry(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(entry.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // Some systems report a symbolic link to a file as that file; the path it resolves to tells. Where
    // the system cannot say (Wine, beyond MAX_PATH), the attributes decide.
    std::wstring resolved = ResolvedPath(entry.get());
    return resolved.empty() || CAPSameTextIgnoringCase(resolved, LongNameOf(WithoutLongPrefix(LongForm(path))));
}

namespace {

// Depth first without recursion, so no tree is deep enough to exhaust the stack. A link, junction or
// other reparse point is removed (where the system can remove one) and never entered; a file that is
// not what its path says is left alone, so nothing outside the tree is ever deleted.
void RemoveTreeLong(const std::wstring& top) {
    struct Pending {
        std::wstring folder;
        bool listed;
    };
    std::vector<Pending> pending{{top, false}};
    while (!pending.empty()) {
        Pending& current = pending.back();
        if (current.listed) {
            RemoveDirectoryW(current.folder.c_str());
            pending.pop_back();
            continue;
        }
        current.listed = true;
        const std::wstring folder = current.folder;
        WIN32_FIND_DATAW found;
        CAPFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
        if (!search) continue;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveDirectoryW(child.c_str())) DeleteFileW(child.c_str());
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (IsOwnEntry(child)) pending.push_back({child, false});
            } else if (IsOwnEntry(child)) {
                if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                    SetFileAttributesW(child.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search.get(), &found));
    }
}

void RemoveNow(ASPathName path) {
    VX_TRY { VxRemoveFile(nullptr, path); }
    VX_CATCH(kSite, "DeferredFileDelete")
    VX_TRY { VxReleasePath(VxDefaultFileSys(), path); }
    VX_CATCH(kSite, "DeferredFileDelete")
}

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

bool ClaimTempFolder(std::wstring* folder) {
    // Numbers are tried from the one after this process's last claim, so that a long run of
    // check-outs does not try every taken number again each time.
    static std::mutex hintLock;
    static std::wstring hintRoot;
    static int hint = 0;
    std::wstring root = GetTempRootFolder();
    std::lock_guard<std::mutex> hold(hintLock);
    if (root != hintRoot) {
        hintRoot = root;
        hint = 0;
    }
    for (int tried = 0; tried < kLastFolderNumber; ++tried) {
        int n = (hint + tried) % kLastFolderNumber;
        std::wstring candidate = VxFormat(L"%s\\VRL%d\\", root.c_str(), n);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            hint = (n + 1) % kLastFolderNumber;
            if (folder) *folder = candidate;
            return true;
        }
        // Taken (perhaps by another host this very moment): the next number. Anything else would
        // fail for every number alike.
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (folder) folder->clear();
    return false;
}

std::wstring FormatTempFileName(long number, long version, const std::wstring& extension) {
    return VxFormat(L"%d_%d.%s", static_cast<int>(number), static_cast<int>(version), extension.c_str());
}

std::vector<std::wstring> SubFolders(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    CAPFindHandle search(FindFirstFileW((folder + L"\\*.*").c_str(), &found));
    if (!search) return names;
    do {
        std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search.get(), &found));
    return names;
}

void DeleteFolderTree(const std::wstring& folder) {
    if (folder.empty()) return;
    // Deleted by our own walk through the long-path form rather than by the shell: a tree holding a
    // path beyond MAX_PATH makes Wine's shell delete the files of the current folder instead.
    std::wstring longForm = LongForm(folder);
    DWORD attributes = GetFileAttributesW(longForm.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    // A folder that is itself a link goes as a link: what it points to stays.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(longForm.c_str());
        return;
    }
    if (IsOwnEntry(longForm)) RemoveTreeLong(longForm);
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

void MarkOwed(const std::wstring& copy) {
    CAPHandle mark(CreateFileW(OwedMarkOf(copy).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsOwed(const std::wstring& copy) { return !copy.empty() && CAPPathExists(OwedMarkOf(copy)); }

void ClearOwed(const std::wstring& copy) {
    if (IsOwed(copy) && IsOwnEntry(OwedMarkOf(copy))) DeleteFileW(OwedMarkOf(copy).c_str());
}

// ---- copies

std::wstring AcquireTempPath(const std::wstring& fileName) {
    std::wstring folder;
    ClaimTempFolder(&folder);
    return folder + fileName;
}

void DeleteLocalCopy(const std::wstring& copy, const std::wstring& companion, bool removeFolder, bool deferred) {
    if (copy.empty()) return;
    VX_TRY {
        // A copy or companion replaced by a link is left as it is: deleting it could reach outside.
        if (!IsOwnEntry(copy)) {
            if (removeFolder) RemoveDirectoryW(CAPFolderOf(copy).c_str());
            return;
        }
        if (!deferred) {
            if (CAPHostPath path = CAPMakeHostPath(copy)) RemoveNow(path.Release());
        } else if (CAPHostPath path = CAPMakeHostPath(copy)) {
            // Ownership of the path passes to the idle procedure, which releases it.
            VxRegisterIdle(DeferredFileDelete, path.get(), 1);
            path.Release();
        } else {
            DeleteFileW(copy.c_str());
        }
        if (CAPPathExists(companion) && IsOwnEntry(companion)) DeleteFileW(companion.c_str());
        ClearOwed(copy);
        if (removeFolder) RemoveDirectoryW(CAPFolderOf(copy).c_str());
    }
    VX_CATCH(kSite, "CDocumentManager::DeleteDocFromTmp")
}

void VXAPI DeferredFileDelete(void* path) {
    VX_MANAGE_STATE();
    // Unregistered first: whatever happens below, the procedure runs only once for this path.
    VX_TRY { VxUnregisterIdle(DeferredFileDelete, path); }
    VX_CATCH(kSite, "DeferredFileDelete")
    RemoveNow(static_cast<ASPathName>(path));
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
