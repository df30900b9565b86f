#include "module/CDocumentLifecycle.h"

#include <utility>

#include "Files/CAPPathText.h"
#include "Utilities/CAPStringUtils.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "dms/TesseraClient.h"
#include "documents/TempWorkspace.h"
#include "operations/TSOperations.h"
#include "resources/resource.h"

namespace {

const char kSite[] = "CDocumentManager";

// The check-out worker's copies, registered on the main thread as they come.
class RegisterCheckedOut : public CheckoutSink {
public:
    RegisterCheckedOut(CDocumentManager& documents, bool keepCheckedOut)
        : documents_(documents), keepCheckedOut_(keepCheckedOut) {}
    bool Register(CheckedOutDocument& copy) override {
        if (!documents_.AddDocument(nullptr, std::move(copy.document), copy.path, keepCheckedOut_,
                                    std::move(copy.recordClaim)))
            return false;
        documents_.KeepClaim(std::move(copy.folderClaim));
        return true;
    }
    void Forget(const std::wstring& path) override {
        if (TrackedDocument* record = documents_.FindASPathName(path)) documents_.RemoveDoc(record);
    }

private:
    CDocumentManager& documents_;
    bool keepCheckedOut_;
};

}  // namespace

void TellUser(const std::wstring& message) {
    VX_TRY {
        CCT2ASText text(message.c_str());
        if (text.Get()) VxAlert(text);
    }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasClosed")
}

std::wstring RefusalMessage(HRESULT outcome) {
    switch (outcome) {
    case S_FALSE: return VxLoadString(IDS_REFUSED);
    case E_ABORT: return VxLoadString(IDS_REFUSED_NO_ANSWER);
    case TESSERA_E_NOT_LOGGED_IN: return VxLoadString(IDS_REFUSED_NOT_CONNECTED);
    case TESSERA_E_NOT_FOUND: return VxLoadString(IDS_REFUSED_NOT_FOUND);
    case TESSERA_E_IN_USE: return VxLoadString(IDS_REFUSED_IN_USE);
    case E_ACCESSDENIED: return VxLoadString(IDS_REFUSED_ACCESS);
    default:
        if (outcome == kNoPrivateCopy) return VxLoadString(IDS_REFUSED_NO_COPY);
        return VxFormatString(IDS_REFUSED_ERROR, static_cast<int>(outcome));
    }
}

DocumentLookup CDocumentLifecycle::Lookup() {
    return [this](const std::wstring& server, const std::wstring& database, long number, long version) {
        return manager_.GetDocument(server, database, number, version);
    };
}

// ---- open

bool CDocumentLifecycle::OpenDocuments(HWND parent, const wchar_t* filter, ASPathName** items, ASUns16* count,
                                       bool keepCheckedOut) {
    if (items && count && !HasConnectedServer(manager_)) {
        TellUser(VxLoadString(IDS_NOT_CONNECTED));
        return false;
    }
    RegisterCheckedOut sink(documents_, keepCheckedOut);
    return ::OpenDocuments(manager_, sink, parent, filter, items, count, keepCheckedOut);
}

void CDocumentLifecycle::DocumentOpened(PDDoc doc, const std::wstring& path) {
    if (documents_.CheckFileData(doc, path, Lookup()) || documents_.CheckDeskClientData(doc, path, Lookup())) return;
    if (TrackedDocument* record = documents_.FindASPathName(path)) record->pdDoc = doc;
}

// ---- save

void CDocumentLifecycle::DocumentSaved(PDDoc doc, const std::wstring& path) {
    if (TrackedDocument* record = documents_.FindPDDoc(doc)) {
        documents_.MarkSaved(record);
        if (documents_.IsLastSaveAsPath(path)) ReleasePendingDocument();
    } else if (documents_.IsLastSaveAsPath(path)) {
        // The record that the Save As to the DMS registered for its new path.
        if (TrackedDocument* target = documents_.FindASPathName(path)) {
            target->pdDoc = doc;
            documents_.MarkSaved(target);
            ReleasePendingDocument();
        }
    }
}

void CDocumentLifecycle::DocumentWasSaved(PDDoc doc, const std::wstring& file) {
    VX_TRY {
        if (TrackedDocument* record = documents_.FindPDDoc(doc)) {
            documents_.MarkSaved(record);
            return;
        }
        if (doc && !file.empty()) SaveDocumentAs(file, true);
    }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasSaved")
}

void CDocumentLifecycle::ReleaseSource(TrackedDocument* source) {
    if (!source || !source->dmsDocument) return;
    const unsigned id = source->id;
    if (!source->saved) {
        UnlockDocument(manager_, NewReference(source->dmsDocument));
    } else if (!CheckIn(source, source->pathName, false)) {
        TellCheckinKept(id);
    }
}

std::wstring CDocumentLifecycle::SaveDocumentAs(const std::wstring& path, bool rename) {
    if (!HasConnectedServer(manager_)) {
        TellUser(VxLoadString(IDS_NOT_CONNECTED));
        return std::wstring();
    }
    TrackedDocument* source = path.empty() ? nullptr : documents_.FindASPathName(path);
    const unsigned sourceId = source ? source->id : 0;
    std::wstring result;
    try {
        CImportCommand import;
        // The import's own reference: the record may go while the DMS's dialog is up.
        ITesseraDocumentPtr original;
        if (source && source->dmsDocument) original = source->dmsDocument->document;
        if (!import.Execute(manager_, path, original)) {
            if (import.Abandoned()) TellUser(VxLoadString(IDS_NOT_SAVED_NO_ANSWER));
            return result;
        }
        ReleaseSource(documents_.FindRecord(sourceId));
        // A record without its DMS document could never be checked in.
        DmsDocumentPtr imported = import.TakeImportedDocument();
        if (!imported) return result;
        std::wstring target = path;
        if (rename) {
            long number = 0, version = 0;
            TesseraCheck(imported->document->get_Number(&number), __uuidof(ITesseraDocument));
            TesseraCheck(imported->document->get_Version(&version), __uuidof(ITesseraDocument));
            std::wstring extension = TesseraGetText(imported->document.GetInterfacePtr(), &ITesseraDocument::get_Extension);
            target = documents_.AcquireTempPath(FormatTempFileName(number, version, extension));
        }
        // Without a path there is no file to bind the new document to.
        if (target.empty()) return result;
        // Whatever the release's dialogs let happen, the source is what the registry still holds.
        source = documents_.FindRecord(sourceId);
        DmsDocumentPtr unregistered = NewReference(imported);
        if (!documents_.AddDocument(source ? source->pdDoc : nullptr, std::move(imported), target, true)) {
            // Nothing tracks the new document, so nothing would ever check the host's save in: the
            // Save fails, and the new document's lock is given back rather than held for nobody.
            UnlockDocument(manager_, std::move(unregistered));
            TellUser(VxFormatString(IDS_IMPORT_FAILED, static_cast<int>(E_FAIL)));
            return result;
        }
        if (TrackedDocument* pending = documents_.FindRecord(sourceId)) documents_.SetPendingDocument(pending);
        documents_.SetLastSaveAsPath(target);
        result = target;
    } catch (const _com_error& failure) {
        // A refusal of the DMS must not look like a Save that did nothing.
        if (result.empty()) TellUser(VxFormatString(IDS_IMPORT_FAILED, static_cast<int>(failure.Error())));
    } catch (...) {
        // The result reached so far stands.
        VX_LOG_CURRENT_EXCEPTION(kSite, "SaveDocumentAs");
    }
    return result;
}

// ---- close, release, removal

void CDocumentLifecycle::DocumentWasClosed(TrackedDocument* record) {
    if (!record) return;
    VX_TRY {
        const unsigned id = record->id;
        BY_HANDLE_FILE_INFORMATION status{};
        CloseStep step = documents_.DecideClose(record, &status);
        if (step == CloseStep::Keep) return;
        bool unlockAndDelete = true;
        if (step == CloseStep::CheckIn) {
            unlockAndDelete = CheckIn(record, record->pathName, false);
            if (!unlockAndDelete) TellCheckinKept(id);
        }
        ReleaseDocument(documents_.FindRecord(id), unlockAndDelete);
        TraceFileStatus(status);
    }
    VX_CATCH(kSite, "CDocumentManager::DocumentWasClosed")
}

void CDocumentLifecycle::CarryOut(TrackedDocument* record, ReleaseStep step) {
    const unsigned id = record->id;
    if (step == ReleaseStep::UnlockAndDelete) {
        // The copy holds nothing the DMS lacks, so it goes either way; the user learns of a stale lock.
        // The unlock and its alert wait in message loops: the record is found again after each.
        UnlockOutcome outcome = Unlock(manager_, NewReference(record->dmsDocument));
        record = documents_.FindRecord(id);
        if (record && outcome == UnlockOutcome::Failed && record->dmsDocument) {
            TellUser(VxFormatString(IDS_UNLOCK_FAILED, DisplayNameOf(*record).c_str()));
            record = documents_.FindRecord(id);
        }
        if (!record) return;
        documents_.DeleteDocFromTmp(record);
    }
    if (step != ReleaseStep::Detached) documents_.RemoveDoc(record);
}

void CDocumentLifecycle::ReleaseDocument(TrackedDocument* record, bool unlockAndDelete) {
    VX_TRY {
        if (!record || documents_.IndexOf(record) < 0) return;
        CarryOut(record, documents_.DecideRelease(record, unlockAndDelete));
    }
    VX_CATCH(kSite, "CDocumentManager::ReleaseDocument")
}

void CDocumentLifecycle::ReleasePendingDocument() {
    if (TrackedDocument* record = documents_.TakePendingDocument()) ReleaseDocument(record, true);
}

void CDocumentLifecycle::RemoveEach(const std::vector<unsigned>& ids) {
    // A record that went while an earlier one's unlock or alert waited is passed over.
    for (unsigned id : ids)
        if (TrackedDocument* record = documents_.FindRecord(id)) CarryOut(record, documents_.DecideRemoval(record));
}

void CDocumentLifecycle::RemoveDocument(const std::wstring& path) {
    VX_TRY { RemoveEach(documents_.RecordsAtPath(path)); }
    VX_CATCH(kSite, "CDocumentManager::RemoveDocument")
}

void CDocumentLifecycle::RemoveUnusedDocuments() {
    VX_TRY { RemoveEach(documents_.DetachedRecords()); }
    VX_CATCH(kSite, "CDocumentManager::RemoveUnusedDocuments")
}

// ---- check-ins

// `path` is a copy on purpose: callers pass the record's own pathName, and the record may go in the
// check-in's message loops before the path is used again.
// NOLINTNEXTLINE(performance-unnecessary-value-param): the copy must outlive the record (above)
bool CDocumentLifecycle::CheckIn(TrackedDocument* record, std::wstring path, bool keepCheckedOut) {
    if (!record) return false;
    const unsigned id = record->id;
    const std::wstring name = DisplayNameOf(*record);
    HRESULT outcome = S_OK;
    bool received = ::CheckinDocument(manager_, path, NewReference(record->dmsDocument), keepCheckedOut, &outcome);
    // The dialog's message loop may have let the record go meanwhile; the mark is the copy's.
    if (received) {
        documents_.MarkReceived(documents_.FindRecord(id));
    } else {
        VX_TRY { NoteRefusal(path, name, RefusalMessage(outcome)); }
        VX_CATCH(kSite, "CDocumentManager::DocumentWasClosed")
    }
    return received;
}

void CDocumentLifecycle::TellCheckinKept(unsigned id) {
    if (TrackedDocument* record = documents_.FindRecord(id))
        TellUser(VxFormatString(IDS_CHECKIN_KEPT, DisplayNameOf(*record).c_str()));
}

void CDocumentLifecycle::ReleaseCheckedIn(unsigned id, const std::wstring& path, bool keepCheckedOut, bool received) {
    TrackedDocument* record = documents_.FindRecord(id);
    if (!record) return;
    if (keepCheckedOut) documents_.SkipDocumentClose(path);
    ReleaseDocument(record, received);
}

bool CDocumentLifecycle::CheckinDocument(const std::wstring& path, bool keepCheckedOut) {
    TrackedDocument* record = documents_.FindASPathName(path);
    if (!record) return false;
    const unsigned id = record->id;
    bool result = CheckIn(record, path, keepCheckedOut);
    // What follows cannot undo the check-in: its result stands whatever happens here.
    VX_TRY {
        if (keepCheckedOut) ReleaseCheckedIn(id, path, true, result);
    }
    VX_CATCH("ExtTesseraHFT", "Tessera_CheckinDocument_Internal")
    return result;
}

bool CDocumentLifecycle::SaveDocumentOnServer(const std::wstring& path, bool keepCheckedOut, bool releaseRecord) {
    documents_.ReleaseLastSaveAsPath();
    // Only the import and its record matter here; the path is the one given.
    SaveDocumentAs(path, false);
    TrackedDocument* record = documents_.FindASPathName(path);
    if (!record) return false;
    const unsigned id = record->id;
    bool result = CheckIn(record, path, keepCheckedOut);
    VX_TRY {
        if (releaseRecord) ReleaseCheckedIn(id, path, keepCheckedOut, result);
    }
    VX_CATCH("ExtTesseraHFT", "Tessera_SaveDocumentOnServer_Internal")
    return result;
}

void CDocumentLifecycle::RecoverTempDocuments() {
    documents_.RecoverTempDocuments([this](const std::wstring& copy, const FileDataRecord& record) {
        HRESULT outcome = S_OK;
        if (CheckinDeskClientDocument(manager_, copy, record.number, record.version, record.database, record.server,
                                      false, &outcome))
            return true;
        NoteRefusal(copy, std::wstring(), RefusalMessage(outcome));
        return false;
    });
}
