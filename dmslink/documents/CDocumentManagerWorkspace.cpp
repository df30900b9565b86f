// CDocumentManager's side of the temporary workspace: the record file of a tracked copy, the recognition
// of a reopened copy, the deletion of a record's copy, the start-up recovery and the clearing sweep.
#include <stdexcept>
#include <utility>

#include "Files/CAPFileSpecifier.h"
#include "Files/CAPPathText.h"
#include "VxGuard.h"
#include "documents/CDocumentManager.h"
#include "documents/TempWorkspace.h"

namespace {

const char kSite[] = "CDocumentManager";

}  // namespace

void CDocumentManager::KeepClaim(CFolderClaim claim) {
    if (claim.Held()) claims_.push_back(std::move(claim));
}

bool CDocumentManager::HoldsClaim(const std::wstring& folder) const {
    for (const CFolderClaim& claim : claims_)
        if (CAPSamePath(claim.Folder(), folder)) return true;
    return false;
}

bool CDocumentManager::ClaimFolder(const std::wstring& folder) {
    if (HoldsClaim(folder)) return true;
    CFolderClaim claim;
    if (!claim.Take(folder)) return false;
    claim.LetGoOfRecordFile();
    KeepClaim(std::move(claim));
    return true;
}

CFolderClaim CDocumentManager::TakeBackClaim(const std::wstring& folder) {
    for (auto it = claims_.begin(); it != claims_.end(); ++it) {
        if (!CAPSamePath(it->Folder(), folder)) continue;
        CFolderClaim claim = std::move(*it);
        claims_.erase(it);
        return claim;
    }
    return CFolderClaim();
}

void CDocumentManager::DropUnusedClaims() {
    for (size_t i = claims_.size(); i-- > 0;) {
        const std::wstring& folder = claims_[i].Folder();
        if (!lastSaveAsPath_.empty() && CAPSamePath(CAPFolderOf(lastSaveAsPath_), folder)) continue;
        bool named = false;
        for (int k = 0; k < GetCount() && !named; k++) {
            TrackedDocument* record = GetDocumentAt(k);
            named = record && CAPSamePath(CAPFolderOf(record->pathName), folder);
        }
        if (named || !claims_[i].HoldsNothing()) continue;
        claims_[i].DeleteIfEmpty();
        claims_.erase(claims_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

std::wstring CDocumentManager::AcquireTempPath(const std::wstring& fileName) {
    CFolderClaim claim;
    std::wstring path = ::AcquireTempPath(fileName, &claim);
    KeepClaim(std::move(claim));
    return path;
}

std::wstring CDocumentManager::AcquireTempPathNameForPath(const std::wstring& source) {
    VX_TRY {
        if (source.empty()) return std::wstring();
        CAPFileSpecifier specifier(source.c_str());
        wchar_t name[kCAPMaxPath] = {};
        if (!specifier.GetFileName(name, kCAPMaxPath)) return std::wstring();
        return AcquireTempPath(std::wstring(name));
    }
    VX_CATCH(kSite, "CDocumentManager::AcquireTempPathNameForPath")
    return std::wstring();
}

int CDocumentManager::CreateFileData(TrackedDocument* record) {
    VX_TRY {
        if (!record || !record->dmsDocument || !record->dmsDocument->document) return 0;
        // Everything is read from the DMS before the file is touched: a failing call must not leave
        // a reopened copy with a broken record, which would keep it from the recovery at start-up.
        FileDataRecord data = DescribeForRecord(record->dmsDocument->document);
        // The new claim replaces the old one; the share modes allow both at once.
        CAPHandle claim = WriteFileData(RecordFileOf(record->pathName), data);
        if (!claim) throw std::runtime_error("record file not written");
        record->recordClaim = std::move(claim);
    }
    VX_CATCH(kSite, "CDocumentManager::CreateFileData")
    return 0;
}

bool CDocumentManager::GetFileDataDetails(const std::wstring& file, long* number, long* version, std::wstring* name,
                                          std::wstring* database, std::wstring* server) {
    if (!CAPPathExists(file)) return false;
    FileDataRecord record;
    if (server) record.server = *server;  // a server text that is never read keeps its value
    bool usable = ReadFileData(file, &record);
    if (number) *number = record.number;
    if (version) *version = record.version;
    if (name) *name = record.name;
    if (database) *database = record.database;
    if (server) *server = record.server;
    return usable;
}

bool CDocumentManager::CheckFileData(PDDoc pdDoc, const std::wstring& path, const DocumentLookup& lookup) {
    VX_TRY {
        if (FindPDDoc(pdDoc) || FindASPathName(path)) return false;
        FileDataRecord record;
        if (!ReadFileData(RecordFileOf(path), &record) || !lookup) return false;
        // A copy in a folder that another living host owns (its recovery checking it in, say) is
        // that host's, not this one's to check in or delete.
        if (IsWorkspaceFolder(CAPFolderOf(path)) && !ClaimFolder(CAPFolderOf(path))) return false;
        return AddRecognised(pdDoc, lookup(record.server, record.database, record.number, record.version), path);
    }
    VX_CATCH(kSite, "CDocumentManager::CheckFileData")
    return false;
}

bool CDocumentManager::AddRecognised(PDDoc pdDoc, DmsDocumentPtr document, const std::wstring& path) {
    if (!document) return false;
    TrackedDocument* added = AddDocument(pdDoc, std::move(document), path, true);
    // A copy that still holds an edit the DMS never received is checked in when it closes.
    if (added && IsOwed(path) && !SettleSentMark(path)) added->saved = added->owed = true;
    return added != nullptr;
}

void CDocumentManager::LetGoOfFolder(TrackedDocument* record) {
    record->recordClaim.Reset();
    const std::wstring folder = CAPFolderOf(record->pathName);
    for (int i = 0; i < GetCount(); i++) {
        TrackedDocument* other = GetDocumentAt(i);
        if (other && CAPSameTextIgnoringCase(CAPFolderOf(other->pathName), folder)) other->recordClaim.Reset();
    }
}

void CDocumentManager::DeleteCopyOf(TrackedDocument* record, bool deferred) {
    if (!record || record->pathName.empty()) return;
    LetGoOfFolder(record);
    const bool deskClient = record->fromDeskClient;
    std::wstring companion = deskClient ? GetPRFFileName(record->pathName) : RecordFileOf(record->pathName);
    // A workspace folder is deleted only under its claim; a DeskClient copy's folder is the client's.
    CFolderClaim claim;
    const std::wstring folder = CAPFolderOf(record->pathName);
    if (!deskClient && IsWorkspaceFolder(folder)) {
        if (!ClaimFolder(folder)) return;
        claim = TakeBackClaim(folder);
    }
    DeleteLocalCopy(record->pathName, companion, std::move(claim), deferred ? &deletions_ : nullptr);
}

int CDocumentManager::DeleteDocFromTmp(TrackedDocument* record) {
    VX_TRY { DeleteCopyOf(record, true); }
    VX_CATCH(kSite, "CDocumentManager::DeleteDocFromTmp")
    return 0;
}

void CDocumentManager::RecoverTempDocuments(const RecoveryCheckin& checkin) {
    VX_TRY {
        std::wstring root = GetTempRootFolder();
        if (!checkin || !CAPPathExists(root)) return;
        for (const std::wstring& entry : SubFolders(root)) {
            std::wstring folder = root;
            folder.append(L"\\").append(entry);
            const std::wstring recordFile = folder + L"\\TSFile.dat";
            // Nothing reached through a link is sent or deleted; this host's own folders are in use.
            if (!IsOwnEntry(folder) || HoldsClaim(folder)) continue;
            // A copy without a record (a session that ended before its idle moment, or killed) would
            // stay for good: it goes, unless some host claims it or some process still holds it.
            if (!CAPPathExists(recordFile)) {
                if (IsWorkspaceFolderName(entry)) DeleteUnclaimedFolder(folder);
                continue;
            }
            // A folder that another running host claims holds that host's copy.
            CFolderClaim claim;
            if (!claim.Take(folder)) continue;
            FileDataRecord record;
            if (!ReadFileData(recordFile, &record)) continue;
            // The stored name may only name a file of this very folder.
            if (!IsPlainFileName(record.name)) continue;
            std::wstring file = folder + L"\\" + record.name;
            if (!IsOwnEntry(file) || !IsOwnEntry(recordFile)) continue;
            // A copy the host has open again belongs to its record now, not to the recovery.
            if (FindASPathName(file)) continue;
            if (!SettleSentMark(file) && !checkin(file, record)) continue;
            // Deleted under the claim. A copy that some process opened meanwhile stays with it; its
            // record goes, since the DMS has what the copy held.
            if (!claim.DeleteFolder()) {
                claim.LetGoOfRecordFile();
                DeleteFileW(recordFile.c_str());
                ClearOwed(file);
            }
        }
    }
    VX_CATCH(kSite, "CDocumentManager::RecoverTempDocuments")
}

bool CDocumentManager::IsFolderInUse(const std::wstring& folder) {
    FileDataRecord record;
    if (ReadFileData(folder + L"\\TSFile.dat", &record) && IsPlainFileName(record.name) &&
        CAPPathExists(folder + L"\\" + record.name))
        return true;
    // An owed copy stays even when its record cannot be read any more.
    WIN32_FIND_DATAW found;
    CAPFindHandle marks(FindFirstFileW((folder + L"\\*.owed").c_str(), &found));
    if (!marks) return false;
    do {
        std::wstring mark = found.cFileName;
        if (mark.size() <= 5) continue;
        if (CAPPathExists(folder + L"\\" + mark.substr(0, mark.size() - 5))) return true;
    } while (FindNextFileW(marks.get(), &found));
    return false;
}

void CDocumentManager::ClearTempFolders() {
    VX_TRY {
        DropUnusedClaims();
        std::wstring root = GetTempRootFolder();
        if (!CAPPathExists(root)) return;
        for (const std::wstring& entry : SubFolders(root)) {
            std::wstring folder = root;
            folder.append(L"\\").append(entry);
            // This host's own folders are in use (open documents, copies kept, deletions waiting).
            if (HoldsClaim(folder)) continue;
            if (IsOwnEntry(folder)) {
                // Another living host's folder is not this host's to clear.
                CFolderClaim claim;
                if (!claim.Take(folder)) continue;
                // A copy whose check-in is still owed holds the user's edit.
                if (!IsFolderInUse(folder)) claim.DeleteTree();
            } else {
                DeleteFolderTree(folder);  // a link: removed, never followed
            }
        }
    }
    VX_CATCH(kSite, "CDocumentManager::ClearTempFolders")
}
