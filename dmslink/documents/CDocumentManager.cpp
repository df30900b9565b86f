#include "documents/CDocumentManager.h"

#include <memory>
#include <utility>

#include "Files/CAPFileSpecifier.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxPlugin.h"
#include "VxTrace.h"
#include "dms/TesseraClient.h"
#include "documents/DocumentFiles.h"
#include "operations/TSOperations.h"

using namespace documents;

namespace {

enum { kSaveDecisionEntry = 2 };

void FreeRecord(TrackedDocument* record) {
    std::unique_ptr<TrackedDocument> owned(record);
    owned->dmsDocument.reset();
    if (ASPathName path = std::exchange(owned->pathName, nullptr)) VxReleasePath(VxDefaultFileSys(), path);
}

void ReleaseSlot(ASPathName* slot) {
    if (ASPathName path = std::exchange(*slot, nullptr)) VxReleasePath(VxDefaultFileSys(), path);
}

ASPathName CopyOf(ASPathName path) { return path ? VxCopyPath(VxDefaultFileSys(), path) : nullptr; }

}  // namespace

CDocumentManager::~CDocumentManager() {
    // Each record leaves the registry before it is worked on, so that nothing sees it freed.
    while (GetCount() > 0) {
        TrackedDocument* record = GetDocumentAt(0);
        RemoveAt(0);
        VX_TRY {
            if (record && !record->saved) DeleteLocalCopy(std::exchange(record->pathName, nullptr), record, false);
        }
        VX_CATCH(kSite, "CDocumentManager::~CDocumentManager")
        VX_TRY { FreeRecord(record); }
        VX_CATCH(kSite, "CDocumentManager::~CDocumentManager")
    }
    pendingDocument_ = nullptr;
    ReleaseLastSaveAsPath();
    ReleaseSkipSavePath();
    ReleaseSkipClosePath();
}

// ---- records

TrackedDocument* CDocumentManager::AddDocument(PDDoc pdDoc, DmsDocumentPtr document, ASPathName path,
                                               bool createFileData) {
    TrackedDocument* result = nullptr;
    VX_TRY {
        auto record = std::make_unique<TrackedDocument>();
        record->pdDoc = pdDoc;
        record->dmsDocument = std::move(document);
        record->pathName = CopyOf(path);
        std::wstring name;
        record->fromDeskClient = GetDeskClientDataDetails(path, nullptr, nullptr, &name, nullptr, nullptr);
        if (record->fromDeskClient) record->deskClientName = name;
        TrackedDocument* added = record.get();
        Append(record.release());

        std::wstring text = PathText(added->pathName);
        VxTrace("AddDocument", text.c_str());
        if (added->dmsDocument && added->dmsDocument->document) {
            long rights = 0;
            TesseraCheck(added->dmsDocument->document->get_AccessRights(&rights));
            VxTrace("Document access rights:", rights);
        }
        VX_TRY {
            CFileHandle file = OpenForStatus(text);
            BY_HANDLE_FILE_INFORMATION info{};
            if (!ReadFileStatus(file.get(), &info)) Fail("no file status");
            TraceFileStatus(info);
        }
        VX_CATCH(kSite, "CDocumentManager::AddDocument")
        if (createFileData && !added->fromDeskClient) CreateFileData(added);
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

TrackedDocument* CDocumentManager::FindASPathName(ASPathName path) {
    VX_TRY {
        for (int i = GetCount() - 1; i >= 0; i--) {
            TrackedDocument* record = GetDocumentAt(i);
            if (record && record->pathName && IsPathEqual(path, record->pathName)) return record;
        }
    }
    VX_CATCH(kSite, "CDocumentManager::FindASPathName")
    return nullptr;
}

bool CDocumentManager::IsPathEqual(ASPathName a, ASPathName b) {
    VX_TRY {
        if (!a || !b) return false;
        CAPFileSpecifier first(a);
        CAPFileSpecifier second(b);
        return first == second;
    }
    VX_CATCH(kSite, "CDocumentManager::IsPathEqual")
    return false;
}

int CDocumentManager::IndexOf(const TrackedDocument* record) const {
    for (int i = GetCount() - 1; i >= 0; i--)
        if (GetAt(i) == record) return i;
    return -1;
}

// ---- closing and release

void CDocumentManager::DocumentWasClosed(TrackedDocument* record) {
    if (!record) return;
    VX_TRY {
        // A local copy that cannot be read may still be the user's only edit: keep lock, copy and record.
        CFileHandle file = OpenForStatus(PathText(record->pathName));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!ReadFileStatus(file.get(), &info)) Fail("local copy cannot be read");

        bool unlockAndDelete = true;
        if (record->saved) {
            if (skipClosePDDoc_ && skipClosePDDoc_ == record->pdDoc) {
                // closed without check-in
            } else if (IsPathEqual(record->pathName, skipClosePath_)) {
                ReleaseSkipClosePath();
            } else {
                unlockAndDelete = gTSManager && CheckinDocument(*gTSManager, *this, record->pathName,
                                                                NewReference(record->dmsDocument), false);
            }
        }
        ReleaseDocument(record, unlockAndDelete);
        TraceFileStatus(info);
    }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasClosed")
}

void CDocumentManager::DocumentWasClosedAtPath(ASPathName path) { DocumentWasClosed(FindASPathName(path)); }

void CDocumentManager::DocumentWasClosedForDoc(PDDoc pdDoc) { DocumentWasClosed(FindPDDoc(pdDoc)); }

int CDocumentManager::ReleaseDocument(TrackedDocument* record, bool unlockAndDelete) {
    VX_TRY {
        if (!record || IndexOf(record) < 0) return 0;
        if (record->retained) {
            record->retained = false;
            record->pdDoc = nullptr;
        } else if (skipClosePDDoc_ && record->pdDoc == skipClosePDDoc_) {
            if (TrackedDocument* bound = FindPDDoc(record->pdDoc)) bound->pdDoc = nullptr;
            RemoveDoc(record);
        } else if (IsPathEqual(record->pathName, skipClosePath_)) {
            ReleaseSkipClosePath();
            RemoveDoc(record);
        } else {
            if (unlockAndDelete) {
                if (gTSManager) UnlockDocument(*gTSManager, NewReference(record->dmsDocument));
                DeleteDocFromTmp(std::exchange(record->pathName, nullptr), record);
            }
            RemoveDoc(record);
        }
    }
    VX_CATCH(kSite, "CDocumentManager::ReleaseDocument")
    return 0;
}

int CDocumentManager::RemoveDoc(int index) {
    VX_TRY {
        TrackedDocument* record = GetDocumentAt(index);
        if (!record) return 0;
        RemoveAt(index);
        if (pendingDocument_ == record) pendingDocument_ = nullptr;
        FreeRecord(record);
    }
    VX_CATCH(kSite, "CDocumentManager::RemoveDoc")
    return 0;
}

int CDocumentManager::RemoveDoc(TrackedDocument* record) {
    VX_TRY {
        int index = IndexOf(record);
        if (index >= 0) RemoveDoc(index);
    }
    VX_CATCH(kSite, "CDocumentManager::RemoveDoc")
    return 0;
}

// Treats every record that matches, each examined once (also one that moves into a removed one's
// place): a retained record loses the mark and goes without unlock or delete; any other is unlocked,
// its copy deleted, and it goes.
template <class Matches>
void CDocumentManager::RemoveMatching(Matches matches) {
    for (int i = 0; i < GetCount();) {
        TrackedDocument* record = GetDocumentAt(i);
        if (!record || !matches(record)) {
            i++;
            continue;
        }
        if (record->retained) {
            record->retained = false;
        } else {
            if (gTSManager) UnlockDocument(*gTSManager, NewReference(record->dmsDocument));
            DeleteDocFromTmp(std::exchange(record->pathName, nullptr), record);
        }
        RemoveDoc(i);
    }
}

void CDocumentManager::RemoveDocument(ASPathName path) {
    VX_TRY {
        RemoveMatching([&](TrackedDocument* record) { return IsPathEqual(record->pathName, path); });
    }
    VX_CATCH(kSite, "CDocumentManager::RemoveDocument")
}

void CDocumentManager::RemoveUnusedDocuments() {
    VX_TRY {
        RemoveMatching([](TrackedDocument* record) { return record->pdDoc == nullptr; });
    }
    VX_CATCH(kSite, "CDocumentManager::RemoveUnusedDocuments")
}

// ---- marks and saved paths

void CDocumentManager::RetainDocument(ASPathName path) {
    if (TrackedDocument* record = FindASPathName(path)) record->retained = true;
}

void CDocumentManager::DocumentWasSaved(PDDoc pdDoc) {
    VX_TRY {
        if (TrackedDocument* record = FindPDDoc(pdDoc)) {
            record->saved = true;
            return;
        }
        if (!gTSManager || !pdDoc) return;
        HFT table = VxOwnTable();
        if (!table || !table[kSaveDecisionEntry]) return;
        if (!reinterpret_cast<VxBoolProc>(table[kSaveDecisionEntry])()) return;
        CHostPath source(VxFileGetPath(VxDocGetFile(pdDoc)));
        CHostPath saved(SaveDocumentAs(*gTSManager, *this, source.get(), true));
    }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasSaved")
}

void CDocumentManager::SetSkipClosePDDoc(PDDoc pdDoc) { skipClosePDDoc_ = pdDoc; }

void CDocumentManager::SkipDocumentClose(ASPathName path) {
    VX_TRY {
        ReleaseSlot(&skipClosePath_);
        skipClosePath_ = CopyOf(path);
    }
    VX_CATCH(kSite, "CDocumentManager::SkipDocumentClose")
}

void CDocumentManager::SkipDocumentSave(ASPathName path) {
    VX_TRY {
        ReleaseSlot(&skipSavePath_);
        skipSavePath_ = CopyOf(path);
    }
    VX_CATCH(kSite, "CDocumentManager::SkipDocumentSave")
}

void CDocumentManager::SetLastSaveAsPath(ASPathName path) {
    VX_TRY {
        ReleaseLastSaveAsPath();
        lastSaveAsPath_ = CopyOf(path);
    }
    VX_CATCH(kSite, "CDocumentManager::SetLastSaveAsPath")
}

int CDocumentManager::ReleaseLastSaveAsPath() {
    VX_TRY { ReleaseSlot(&lastSaveAsPath_); }
    VX_CATCH(kSite, "CDocumentManager::ReleaseLastSaveAsPath")
    return 0;
}

int CDocumentManager::ReleaseSkipSavePath() {
    VX_TRY { ReleaseSlot(&skipSavePath_); }
    VX_CATCH(kSite, "CDocumentManager::ReleaseSkipSavePath")
    return 0;
}

int CDocumentManager::ReleaseSkipClosePath() {
    VX_TRY { ReleaseSlot(&skipClosePath_); }
    VX_CATCH(kSite, "CDocumentManager::ReleaseSkipClosePath")
    return 0;
}

bool CDocumentManager::IsLastSaveAsPath(ASPathName path) { return IsPathEqual(path, lastSaveAsPath_); }

bool CDocumentManager::CheckSkipSavePath(ASPathName path) {
    if (!skipSavePath_) return false;
    bool equal = IsPathEqual(skipSavePath_, path);
    if (equal) ReleaseSkipSavePath();
    return equal;
}

int CDocumentManager::ReleasePendingDocument() {
    if (TrackedDocument* record = std::exchange(pendingDocument_, nullptr)) ReleaseDocument(record, true);
    return 0;
}

ASText CDocumentManager::GetDocumentTitle(ASPathName path) {
    VX_TRY {
        TrackedDocument* record = FindASPathName(path);
        if (!record || !record->pathName || !record->dmsDocument || !record->dmsDocument->document) return nullptr;
        ITesseraDocument* document = record->dmsDocument->document;
        long number = 0;
        long version = 0;
        TesseraCheck(document->get_Number(&number));
        TesseraCheck(document->get_Version(&version));
        std::wstring description = TesseraGetText(document, &ITesseraDocument::get_Description);
        std::wstring extension = TesseraGetText(document, &ITesseraDocument::get_Extension);
        std::wstring title = VxFormat(L"ID:%d v:%d %s.%s", static_cast<int>(number), static_cast<int>(version),
                                      description.c_str(), extension.c_str());
        return VxTextFromWide(title.c_str());
    }
    VX_CATCH(kSite, "CDocumentManager::GetDocumentTitle")
    return nullptr;
}
