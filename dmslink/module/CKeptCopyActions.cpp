#include "module/CKeptCopyActions.h"

#include <shellapi.h>

#include <utility>

#include "VxApp.h"
#include "VxGuard.h"
#include "documents/TempWorkspace.h"
#include "module/CDocumentLifecycle.h"
#include "operations/TSOperations.h"
#include "resources/resource.h"

namespace {

const char kSite[] = "CDocumentManager";

// "Lease agreement" for the DMS's import dialog: the name without its extension.
std::wstring DescriptionOf(const std::wstring& name) {
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

bool CKeptCopyActions::CheckIn(const KeptCopy& entry) {
    // A check-in the user stopped waiting for that the DMS took afterwards: nothing is owed.
    if (SettleSentMark(entry.copy)) {
        copies_.Delete(entry.copy);
        return true;
    }
    const FileDataRecord& record = entry.record;
    HRESULT outcome = S_OK;
    if (CheckinDeskClientDocument(manager_, entry.copy, record.number, record.version, record.database, record.server,
                                  false, &outcome)) {
        copies_.Delete(entry.copy);
        return true;
    }
    const std::wstring reason = RefusalMessage(outcome);
    copies_.NoteRefusal(entry.copy, reason);
    TellUser(VxFormatString(IDS_KEPT_STILL, entry.name.c_str(), reason.c_str()));
    return false;
}

bool CKeptCopyActions::SaveAsNew(const KeptCopy& entry) {
    if (!HasConnectedServer(manager_)) {
        TellUser(VxLoadString(IDS_NOT_CONNECTED));
        return false;
    }
    const FileDataRecord& record = entry.record;
    // The old document as far as the DMS still has it: the import is told where the file came from.
    DmsDocumentPtr old = manager_.GetDocument(record.server, record.database, record.number, record.version);
    try {
        CImportCommand import;
        const std::wstring description = DescriptionOf(entry.name);
        if (!import.Execute(manager_, entry.copy, old ? old->document.GetInterfacePtr() : nullptr, &description)) {
            if (import.Abandoned()) TellUser(VxLoadString(IDS_NOT_SAVED_NO_ANSWER));
            return false;
        }
        DmsDocumentPtr created = import.TakeImportedDocument();
        if (!created) TesseraCheck(E_NOINTERFACE);
        long number = 0;
        TesseraCheck(created->document->get_Number(&number), __uuidof(ITesseraDocument));
        HRESULT outcome = S_OK;
        if (!CheckinDocument(manager_, entry.copy, NewReference(created), false, &outcome)) {
            // The new document stays as the import made it, given back; the copy stays owed to the old one.
            Unlock(manager_, std::move(created));
            TellUser(VxFormatString(IDS_KEPT_NEW_NOT_RECEIVED, entry.name.c_str(), static_cast<int>(number),
                                    RefusalMessage(outcome).c_str()));
            return false;
        }
        if (old && Unlock(manager_, std::move(old)) == UnlockOutcome::Failed)
            TellUser(VxFormatString(IDS_UNLOCK_FAILED, entry.name.c_str()));
        copies_.Delete(entry.copy);
        return true;
    } catch (const _com_error& failure) {
        TellUser(VxFormatString(IDS_IMPORT_FAILED, static_cast<int>(failure.Error())));
    }
    return false;
}

bool CKeptCopyActions::Discard(const KeptCopy& entry) {
    const FileDataRecord& record = entry.record;
    HRESULT why = S_OK;
    DmsDocumentPtr document = manager_.GetDocument(record.server, record.database, record.number, record.version, &why);
    if (!document) {
        if (why == TESSERA_E_NOT_LOGGED_IN || why == E_ABORT) {
            TellUser(VxFormatString(IDS_NOT_DISCARDED, entry.name.c_str(), RefusalMessage(why).c_str()));
            return false;
        }
        // A document the DMS no longer has holds no lock.
        if (why != TESSERA_E_NOT_FOUND) TellUser(VxFormatString(IDS_UNLOCK_FAILED, entry.name.c_str()));
    } else if (Unlock(manager_, std::move(document)) == UnlockOutcome::Failed) {
        TellUser(VxFormatString(IDS_UNLOCK_FAILED, entry.name.c_str()));
    }
    copies_.Delete(entry.copy);
    return true;
}

void CKeptCopyActions::ShowInFolder(const KeptCopy& entry) {
    const std::wstring parameters = L"/select,\"" + entry.copy + L"\"";
    SHELLEXECUTEINFOW run = {};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    run.hwnd = manager_.GetParentWindow();
    run.lpVerb = L"open";
    run.lpFile = L"explorer.exe";
    run.lpParameters = parameters.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&run)) TellUser(VxFormatString(IDS_SHOW_FOLDER_FAILED, entry.copy.c_str()));
}

std::vector<std::wstring> ShowKeptCopies(TSManager& manager, CDocumentManager& documents) {
    CKeptCopies copies(documents);
    copies.Collect();
    CKeptCopyActions actions(manager, copies);
    CKeptCopiesDlg window(copies, actions, manager.GetParentWindow());
    window.DoModal();
    std::vector<std::wstring> chosen = window.ToOpen();
    for (const std::wstring& copy : chosen) copies.HandOver(copy);
    return chosen;
}

void TellKeptCopiesAtStart(CDocumentManager& documents) {
    int count = 0;
    VX_TRY {
        CKeptCopies copies(documents);
        copies.Collect();
        // Another running host's copies are that host's to tell of.
        for (const KeptCopy& entry : copies.Entries()) count += entry.openElsewhere ? 0 : 1;
    }
    VX_CATCH(kSite, "CDocumentManager::RecoverTempDocuments")
    if (count == 1) TellUser(VxLoadString(IDS_KEPT_AT_START_ONE));
    if (count > 1) TellUser(VxFormatString(IDS_KEPT_AT_START, count));
}
