#include "documents/CDocumentManager.h"

#include <memory>
#include <stdexcept>
#include <utility>

#include "Files/CAPPathText.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxTrace.h"
#include "dms/TesseraClient.h"
#include "documents/TempWorkspace.h"

namespace {

const char kSite[] = "CDocumentManager";

[[noreturn]] void Fail(const char* what) { throw std::runtime_error(what); }

}  // namespace

CDocumentManager::~CDocumentManager() {
    // Each record leaves the registry before it is worked on, so that nothing sees it freed.
    while (GetCount() > 0) {
        std::unique_ptr<TrackedDocument> record(GetDocumentAt(0));
        RemoveAt(0);
        VX_TRY {
            // At unload no idle call follows, so the copy goes at once.
            if (record && !record->saved && !IsOwedRecord(record.get())) DeleteCopyOf(record.get(), false);
        }
        VX_CATCH(kSite, "CDocumentManager::~CDocumentManager")
    }
    pendingDocument_ = nullptr;
    // A folder never used (a Save As path the host did not write) goes; one holding a copy stays for
    // the recovery of the next start.
    for (CFolderClaim& claim : claims_) {
        const std::wstring folder = claim.Folder();
        claim.Release();
        RemoveDirectoryW(folder.c_str());
    }
}

std::wstring DisplayNameOf(const TrackedDocument& record) {
    try {
        if (record.dmsDocument && record.dmsDocument->document) {
            ITesseraDocument* document = record.dmsDocument->document;
            return TesseraGetText(document, &ITesseraDocument::get_Description) + L"." +
                   TesseraGetText(document, &ITesseraDocument::get_Extension);
        }
    } catch (const _com_error&) {
        // The DMS cannot name it: the copy's own name does.
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION(kSite, "CDocumentManager::DocumentWasClosed");
    }
    return CAPNameOf(record.pathName);
}

// ---- records

TrackedDocument* CDocumentManager::AddDocument(PDDoc pdDoc, DmsDocumentPtr document, const std::wstring& path,
                                               bool createFileData, CAPHandle recordClaim) {
    TrackedDocument* result = nullptr;
    VX_TRY {
        auto record = std::make_unique<TrackedDocument>();
        record->pdDoc = pdDoc;
        record->dmsDocument = std::move(document);
        record->pathName = path;
        record->recordClaim = std::move(recordClaim);
        record->id = ++lastId_;
        std::wstring name;
        record->fromDeskClient = GetDeskClientDataDetails(path, nullptr, nullptr, &name, nullptr, nullptr);
        if (record->fromDeskClient) record->deskClientName = name;

        VxTrace("AddDocument", path.c_str());
        if (record->dmsDocument && record->dmsDocument->document) {
            long rights = 0;
            TesseraCheck(record->dmsDocument->document->get_AccessRights(&rights));
            VxTrace("Document access rights:", rights);
        }
        VX_TRY {
            CAPHandle file = OpenForStatus(path);
            BY_HANDLE_FILE_INFORMATION info{};
            if (!ReadFileStatus(file.get(), &info)) Fail("no file status");
            TraceFileStatus(info);
        }
        VX_CATCH(kSite, "CDocumentManager::AddDocument")
        // All or nothing: the record goes in once nothing can fail any more (CreateFileData throws
        // nothing), and until then a failure frees it with what it was handed (the DMS reference, the
        // claim on the record file), as the caller's failure path expects.
        Append(record.get());
        TrackedDocument* added = record.release();
        if (createFileData && !added->fromDeskClient && !added->recordClaim) CreateFileData(added);
        result = added;
    }
    VX_CATCH(kSite, "CDocumentManager::AddDocument")
    return result;
}

TrackedDocument* CDocumentManager::FindPDDoc(PDDoc pdDoc) {
    VX_TRY {
        for (int i = GetCount() - 1; i >= 0; i--) {
            TrackedDocument* record = GetDocumentAt(i);
            if (record && record->pdDoc == pdDoc) return record;
        }
    }
    VX_CATCH(kSite, "CDocumentManager::FindPDDoc")
    return nullptr;
}

TrackedDocument* CDocumentManager::FindASPathName(const std::wstring& path) {
    VX_TRY {
        for (int i = GetCount() - 1; i >= 0; i--) {
            TrackedDocument* record = GetDocumentAt(i);
            if (record && IsPathEqual(path, record->pathName)) return record;
        }
    }
    VX_CATCH(kSite, "CDocumentManager::FindASPathName")
    return nullptr;
}

bool CDocumentManager::IsPathEqual(const std::wstring& a, const std::wstring& b) {
    VX_TRY { return CAPSamePath(a, b); }
    VX_CATCH(kSite, "CDocumentManager::IsPathEqual")
    return false;
}

int CDocumentManager::IndexOf(const TrackedDocument* record) const {
    for (int i = GetCount() - 1; i >= 0; i--)
        if (GetAt(i) == record) return i;
    return -1;
}

TrackedDocument* CDocumentManager::FindRecord(unsigned id) const {
    for (int i = GetCount() - 1; i >= 0 && id; i--)
        if (TrackedDocument* record = GetDocumentAt(i); record && record->id == id) return record;
    return nullptr;
}

int CDocumentManager::RemoveDoc(int index) {
    VX_TRY {
        TrackedDocument* record = GetDocumentAt(index);
        if (!record) return 0;
        RemoveAt(index);
        if (pendingDocument_ == record) pendingDocument_ = nullptr;
        delete record;
    }
    VX_CATCH(kSite, "CDocumentManager::RemoveDoc")
    return 0;
}

int CDocumentManager::RemoveDoc(TrackedDocument* record) {
    int index = IndexOf(record);
    if (index >= 0) RemoveDoc(index);
    return 0;
}

// ---- what a close, a release and a removal must do

CloseStep CDocumentManager::DecideClose(TrackedDocument* record, BY_HANDLE_FILE_INFORMATION* status) {
    VX_TRY {
        if (!record || IndexOf(record) < 0) return CloseStep::Keep;
        CAPHandle file = OpenForStatus(record->pathName);
        if (!ReadFileStatus(file.get(), status)) Fail("local copy cannot be read");
        // A check-in the user stopped waiting for that the DMS took afterwards: nothing is owed.
        if (record->saved && SettleSentMark(record->pathName)) record->saved = record->owed = false;
        if (!record->saved) return CloseStep::Release;
        if (skipClosePDDoc_ && skipClosePDDoc_ == record->pdDoc) return CloseStep::Release;
        if (IsPathEqual(record->pathName, skipClosePath_)) {
            ReleaseSkipClosePath();
            return CloseStep::Release;
        }
        return CloseStep::CheckIn;
    }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasClosed")
    return CloseStep::Keep;
}

ReleaseStep CDocumentManager::DecideRelease(TrackedDocument* record, bool unlockAndDelete) {
    VX_TRY {
        if (!record || IndexOf(record) < 0) return ReleaseStep::Detached;
        if (record->retained) {
            record->retained = false;
            record->pdDoc = nullptr;
            return ReleaseStep::Detached;
        }
        if (skipClosePDDoc_ && record->pdDoc == skipClosePDDoc_) {
            if (TrackedDocument* bound = FindPDDoc(record->pdDoc)) bound->pdDoc = nullptr;
            return ReleaseStep::Removed;
        }
        if (IsPathEqual(record->pathName, skipClosePath_)) {
            ReleaseSkipClosePath();
            return ReleaseStep::Removed;
        }
        if (!unlockAndDelete || IsOwedRecord(record)) return ReleaseStep::Removed;
        return ReleaseStep::UnlockAndDelete;
    }
    VX_CATCH(kSite, "CDocumentManager::ReleaseDocument")
    return ReleaseStep::Detached;
}

ReleaseStep CDocumentManager::DecideRemoval(TrackedDocument* record) {
    if (record->retained) {
        record->retained = false;
        return ReleaseStep::Removed;
    }
    return IsOwedRecord(record) ? ReleaseStep::Removed : ReleaseStep::UnlockAndDelete;
}

std::vector<unsigned> CDocumentManager::Matching(const std::function<bool(const TrackedDocument&)>& matches) {
    std::vector<unsigned> found;
    for (int i = 0; i < GetCount(); i++)
        if (TrackedDocument* record = GetDocumentAt(i); record && matches(*record)) found.push_back(record->id);
    return found;
}

std::vector<unsigned> CDocumentManager::RecordsAtPath(const std::wstring& path) {
    return Matching([&](const TrackedDocument& record) { return IsPathEqual(record.pathName, path); });
}

std::vector<unsigned> CDocumentManager::DetachedRecords() {
    return Matching([](const TrackedDocument& record) { return record.pdDoc == nullptr; });
}

bool CDocumentManager::IsOwedRecord(const TrackedDocument* record) const {
    return record->owed || IsOwed(record->pathName);
}

void CDocumentManager::MarkSaved(TrackedDocument* record) {
    if (!record) return;
    record->saved = true;
    record->owed = true;
    VX_TRY { MarkOwed(record->pathName, DisplayNameOf(*record)); }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasSaved")
}

void CDocumentManager::MarkReceived(TrackedDocument* record) {
    if (!record) return;
    record->owed = false;
    VX_TRY { ClearOwed(record->pathName); }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasSaved")
}

// ---- marks and saved paths

void CDocumentManager::RetainDocument(const std::wstring& path) {
    if (TrackedDocument* record = FindASPathName(path)) record->retained = true;
}

int CDocumentManager::ReleaseLastSaveAsPath() {
    lastSaveAsPath_.clear();
    return 0;
}

int CDocumentManager::ReleaseSkipSavePath() {
    skipSavePath_.clear();
    return 0;
}

int CDocumentManager::ReleaseSkipClosePath() {
    skipClosePath_.clear();
    return 0;
}

bool CDocumentManager::CheckSkipSavePath(const std::wstring& path) {
    if (skipSavePath_.empty()) return false;
    bool equal = IsPathEqual(skipSavePath_, path);
    if (equal) ReleaseSkipSavePath();
    return equal;
}

TrackedDocument* CDocumentManager::TakePendingDocument() { return std::exchange(pendingDocument_, nullptr); }

std::wstring CDocumentManager::GetDocumentTitle(const std::wstring& path) {
    VX_TRY {
        TrackedDocument* record = FindASPathName(path);
        if (!record || !record->dmsDocument || !record->dmsDocument->document) return std::wstring();
        ITesseraDocument* document = record->dmsDocument->document;
        long number = 0;
        long version = 0;
        TesseraCheck(document->get_Number(&number));
        TesseraCheck(document->get_Version(&version));
        std::wstring description = TesseraGetText(document, &ITesseraDocument::get_Description);
        std::wstring extension = TesseraGetText(document, &ITesseraDocument::get_Extension);
        return VxFormat(L"ID:%d v:%d %s.%s", static_cast<int>(number), static_cast<int>(version), description.c_str(),
                        extension.c_str());
    }
    VX_CATCH(kSite, "CDocumentManager::GetDocumentTitle")
    return std::wstring();
}
