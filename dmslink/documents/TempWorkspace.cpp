// The temporary workspace: per-document folders under %TEMP%\dmslink, the "\TSFile.dat" record beside
// each checked-out copy, and the deletion of copies and folders.
#include <windows.h>
#include <shlwapi.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Files/CAPFileSpecifier.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "dms/TesseraClient.h"
#include "documents/CDocumentManager.h"
#include "documents/DocumentFiles.h"
#include "operations/TSOperations.h"

using namespace documents;

namespace {

const wchar_t kRecordFile[] = L"\\TSFile.dat";
enum : uint32_t { kMaxRecordText = 260 };
enum { kTempBufferSize = MAX_PATH, kTempPathLimit = 251, kLastFolderNumber = 99999 };

std::wstring RecordFileOf(const std::wstring& documentPath) { return FolderOf(documentPath) + kRecordFile; }

// A record file held open with delete access that no one else may share: while one process holds
// it, no other can claim it (nor delete it), and readers still can. The system closes it when its
// process dies, which hands a crashed host's copy to the next start's recovery.
CFileHandle ClaimRecordFile(const std::wstring& recordFile) {
    return CFileHandle(CreateFileW(recordFile.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void WriteBytes(HANDLE file, const void* bytes, DWORD size) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, size, &written, nullptr) || written != size) Fail("record file not written");
}

void WriteInt(HANDLE file, int32_t value) { WriteBytes(file, &value, sizeof value); }

void WriteText(HANDLE file, const std::wstring& text) {
    WriteInt(file, static_cast<int32_t>(text.size()));
    if (!text.empty()) WriteBytes(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

enum class ReadResult { Complete, Short, Failed };

// Reads exactly `size` bytes: a file that ends first is Short, a refusal of the system Failed.
ReadResult ReadBytes(HANDLE file, void* bytes, DWORD size) {
    auto* out = static_cast<char*>(bytes);
    while (size > 0) {
        DWORD read = 0;
        if (!ReadFile(file, out, size, &read, nullptr)) return ReadResult::Failed;
        if (read == 0) return ReadResult::Short;
        out += read;
        size -= read;
    }
    return ReadResult::Complete;
}

// Folder names directly below a folder, without "." and "..".
std::vector<std::wstring> SubFolders(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    CFindHandle search(FindFirstFileW((folder + L"\\*.*").c_str(), &found));
    if (!search.valid()) return names;
    do {
        std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search.get(), &found));
    return names;
}

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

void RemoveTreeLong(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    {
        CFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
        if (search.valid()) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring child = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTreeLong(child);
                } else {
                    if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                        SetFileAttributesW(child.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
                    DeleteFileW(child.c_str());
                }
            } while (FindNextFileW(search.get(), &found));
        }
    }
    RemoveDirectoryW(folder.c_str());
}

void RemoveNow(ASPathName path) {
    VX_TRY { VxRemoveFile(nullptr, path); }
    VX_CATCH(kSite, "DeferredFileDelete")
    VX_TRY { VxReleasePath(VxDefaultFileSys(), path); }
    VX_CATCH(kSite, "DeferredFileDelete")
}

}  // namespace

// ---- free functions

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
    if (!Exists(root)) CreateDirectoryW(root.c_str(), nullptr);
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
        if (!Exists(candidate)) {
            if (folder) *folder = candidate;
            return true;
        }
    }
}

std::wstring FormatTempFileName(long number, long version, const std::wstring& extension) {
    return VxFormat(L"%d_%d.%s", static_cast<int>(number), static_cast<int>(version), extension.c_str());
}

void DeleteFolderTree(const std::wstring& folder) {
    if (folder.empty()) return;
    // Deleted by our own walk through the long-path form rather than by the shell: a tree holding a
    // path beyond MAX_PATH makes Wine's shell delete the files of the current folder instead.
    std::wstring longForm = LongForm(folder);
    if (Exists(longForm)) RemoveTreeLong(longForm);
}

void VXAPI DeferredFileDelete(void* path) {
    VX_MANAGE_STATE();
    // Unregistered first: whatever happens below, the procedure runs only once for this path.
    VX_TRY { VxUnregisterIdle(DeferredFileDelete, path); }
    VX_CATCH(kSite, "DeferredFileDelete")
    RemoveNow(static_cast<ASPathName>(path));
}

// ---- members

ASPathName CDocumentManager::AcquireTempPathNameForPath(ASPathName source) {
    VX_TRY {
        if (!source) return nullptr;
        CAPFileSpecifier specifier(source);
        wchar_t name[kCAPMaxPath] = {};
        if (!specifier.GetFileName(name, kCAPMaxPath)) return nullptr;
        std::wstring folder;
        GetUniqueTempFolder(&folder);
        if (!folder.empty()) CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring target = folder + name;
        return VxPathFromWide(target.c_str());
    }
    VX_CATCH(kSite, "CDocumentManager::AcquireTempPathNameForPath")
    return nullptr;
}

ASPathName CDocumentManager::AcquireTempPathNameForDoc(PDDoc pdDoc) {
    VX_TRY {
        if (!pdDoc) return nullptr;
        CHostPath source(VxFileGetPath(VxDocGetFile(pdDoc)));
        return AcquireTempPathNameForPath(source.get());
    }
    VX_CATCH(kSite, "CDocumentManager::AcquireTempPathNameForDoc")
    return nullptr;
}

int CDocumentManager::CreateFileData(TrackedDocument* record) {
    VX_TRY {
        if (!record || !record->dmsDocument || !record->dmsDocument->document) return 0;
        ITesseraDocument* document = record->dmsDocument->document;
        // Everything is read from the DMS before the file is touched: a failing call must not leave
        // a reopened copy with a broken record, which would keep it from the recovery at start-up.
        long number = 0;
        long version = 0;
        TesseraCheck(document->get_Number(&number));
        TesseraCheck(document->get_Version(&version));
        std::wstring extension = TesseraGetText(document, &ITesseraDocument::get_Extension);
        ITesseraDatabasePtr database;
        TesseraCheck(document->get_Database(&database));
        if (!database) TesseraCheck(E_POINTER);
        std::wstring databaseName = TesseraGetText(database.GetInterfacePtr(), &ITesseraDatabase::get_Name);
        ITesseraSessionPtr session;
        TesseraCheck(database->get_Session(&session));
        if (!session) TesseraCheck(E_POINTER);
        std::wstring serverName = TesseraGetText(session.GetInterfacePtr(), &ITesseraSession::get_ServerName);

        std::wstring recordFile = RecordFileOf(PathText(record->pathName));
        {
            CFileHandle file(CreateFileW(recordFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.valid()) Fail("record file not created");
            WriteInt(file.get(), static_cast<int32_t>(number));
            WriteInt(file.get(), static_cast<int32_t>(version));
            WriteText(file.get(), FormatTempFileName(number, version, extension));
            WriteText(file.get(), databaseName);
            WriteText(file.get(), serverName);
        }
        record->recordClaim = ClaimRecordFile(recordFile);
    }
    VX_CATCH(kSite, "CDocumentManager::CreateFileData")
    return 0;
}

bool CDocumentManager::GetFileDataDetails(const std::wstring& file, long* number, long* version, std::wstring* name,
                                          std::wstring* database, std::wstring* server) {
    long numberValue = -1;
    long versionValue = -1;
    std::wstring nameValue;
    std::wstring databaseValue;
    std::wstring serverValue = server ? *server : std::wstring();
    bool complete = true;
    bool tooLong = false;
    VX_TRY {
        if (!Exists(file)) return false;
        if (number) *number = -1;
        if (version) *version = -1;
        if (name) name->clear();
        if (database) database->clear();

        CFileHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) Fail("record file cannot be opened");
        auto readOrFail = [&](void* bytes, DWORD size) {
            ReadResult result = ReadBytes(handle.get(), bytes, size);
            if (result == ReadResult::Failed) Fail("record file cannot be read");
            if (result == ReadResult::Short) complete = false;
            return result == ReadResult::Complete;
        };
        int32_t value = 0;
        if (readOrFail(&value, sizeof value)) numberValue = value;
        if (complete && readOrFail(&value, sizeof value)) versionValue = value;
        std::wstring* texts[] = {&nameValue, &databaseValue, &serverValue};
        for (std::wstring* text : texts) {
            if (!complete) break;
            uint32_t count = 0;
            if (!readOrFail(&count, sizeof count)) break;
            if (count > kMaxRecordText) {
                tooLong = true;
                break;
            }
            std::wstring read(count, L'\0');
            if (count && !readOrFail(&read[0], count * sizeof(wchar_t))) break;
            *text = read;
        }
    }
    VX_CATCH(kSite, "CDocumentManager::GetFileDataDetails")
    if (number) *number = numberValue;
    if (version) *version = versionValue;
    if (name) *name = nameValue;
    if (database) *database = databaseValue;
    if (server) *server = serverValue;
    // A file that ends before its counts do was cut short while being written: its texts are not the
    // document's.
    if (!complete || tooLong) return false;
    return numberValue >= 0 && versionValue >= 0 && !nameValue.empty() && !databaseValue.empty();
}

bool CDocumentManager::CheckFileData(PDDoc pdDoc, ASPathName path) {
    VX_TRY {
        if (FindPDDoc(pdDoc)) return false;
        std::wstring recordFile = RecordFileOf(PathText(path));
        if (FindASPathName(path)) return false;
        long number = -1;
        long version = -1;
        std::wstring name, database, server;
        if (!GetFileDataDetails(recordFile, &number, &version, &name, &database, &server)) return false;
        if (!gTSManager) return false;
        DmsDocumentPtr document = gTSManager->GetDocument(server, database, number, version);
        if (!document) return false;
        return AddDocument(pdDoc, std::move(document), path, true) != nullptr;
    }
    VX_CATCH(kSite, "CDocumentManager::CheckFileData")
    return false;
}

int CDocumentManager::DeleteDocFromTmp(ASPathName path, TrackedDocument* record) {
    DeleteLocalCopy(path, record, true);
    return 0;
}

void CDocumentManager::DeleteLocalCopy(ASPathName path, TrackedDocument* record, bool deferred) {
    if (!path) return;
    bool handedOver = false;
    VX_TRY {
        bool deskClient = record && record->fromDeskClient;
        std::wstring text = PathText(path);
        // This registry's hold on the record file must not keep it from its own deletion.
        if (record) record->recordClaim.Reset();
        const std::wstring folder = FolderOf(text);
        for (int i = 0; i < GetCount(); i++) {
            TrackedDocument* other = GetDocumentAt(i);
            if (other && other->pathName && SameTextIgnoringCase(FolderOf(PathText(other->pathName)), folder))
                other->recordClaim.Reset();
        }
        std::wstring companion = deskClient ? GetPRFFileName(path) : RecordFileOf(text);
        if (deferred) {
            VxRegisterIdle(DeferredFileDelete, path, 1);
            handedOver = true;
        } else {
            handedOver = true;
            RemoveNow(path);
        }
        if (Exists(companion)) DeleteFileW(companion.c_str());
        if (!deskClient) RemoveDirectoryW(folder.c_str());
    }
    VX_CATCH(kSite, "CDocumentManager::DeleteDocFromTmp")
    if (!handedOver) {
        VX_TRY { VxReleasePath(VxDefaultFileSys(), path); }
        VX_CATCH(kSite, "CDocumentManager::DeleteDocFromTmp")
    }
}

void CDocumentManager::RecoverTempDocuments() {
    VX_TRY {
        if (!gTSManager) return;
        std::wstring root = GetTempRootFolder();
        if (!Exists(root)) return;
        for (const std::wstring& entry : SubFolders(root)) {
            std::wstring folder = root + L"\\" + entry;
            // A copy whose record another running host holds is that host's open document.
            CFileHandle claim = ClaimRecordFile(folder + kRecordFile);
            if (!claim.valid()) continue;
            long number = -1;
            long version = -1;
            std::wstring name, database, server;
            if (!GetFileDataDetails(folder + kRecordFile, &number, &version, &name, &database, &server)) continue;
            std::wstring file = folder + L"\\" + name;
            if (!Exists(file)) continue;
            // A copy the host has open again belongs to its record now, not to the recovery.
            CHostPath filePath(VxPathFromWide(file.c_str()));
            if (filePath.get() && FindASPathName(filePath.get())) continue;
            if (!CheckinDeskClientDocument(*gTSManager, *this, file.c_str(), number, version, database, server, false))
                continue;
            claim.Reset();
            DeleteDocFromTmp(filePath.Release(), nullptr);
        }
    }
    VX_CATCH(kSite, "CDocumentManager::RecoverTempDocuments")
}

bool CDocumentManager::IsFolderInUse(const std::wstring& folder) {
    for (int i = 0; i < GetCount(); i++) {
        TrackedDocument* record = GetDocumentAt(i);
        if (record && record->pathName && SameTextIgnoringCase(FolderOf(PathText(record->pathName)), folder))
            return true;
    }
    long number = -1;
    long version = -1;
    std::wstring name, database, server;
    return GetFileDataDetails(folder + kRecordFile, &number, &version, &name, &database, &server) &&
           Exists(folder + L"\\" + name);
}

void CDocumentManager::ClearTempFolders() {
    VX_TRY {
        std::wstring root = GetTempRootFolder();
        if (!Exists(root)) return;
        for (const std::wstring& entry : SubFolders(root)) {
            std::wstring folder = root + L"\\" + entry;
            // An open document's folder, or a copy whose check-in is still owed, holds the user's edit.
            if (IsFolderInUse(folder)) continue;
            DeleteFolderTree(folder);
        }
    }
    VX_CATCH(kSite, "CDocumentManager::ClearTempFolders")
}
