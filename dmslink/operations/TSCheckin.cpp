#include "Files/CAPFileSpecifier.h"
#include "VxApp.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "documents/CDocumentManager.h"
#include "dms/TesseraClient.h"
#include "operations/CProgressDlg.h"
#include "operations/TSHandles.h"
#include "operations/TSOperations.h"
#include "operations/TSOperationsInternal.h"
#include "resources/resource.h"

using namespace tsops;

namespace {

// Copies the local file into the folder of `copy`, under the copy's name. The folder, not the copy's
// path, is the target: a name without an extension would otherwise be taken for a folder.
bool CopyToPrivateFolder(ASPathName path, const std::wstring& copy) {
    size_t separator = copy.find_last_of(L'\\');
    if (separator == std::wstring::npos) return false;
    CAPFileSpecifier source(path);
    CAPFileSpecifier folder(copy.substr(0, separator + 1).c_str());
    if (source.IsEmpty() || folder.IsEmpty() || !source.Copy(folder, true, false, false)) return false;
    return GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring LocalSizeText(ASPathName path) {
    CAPFileSpecifier file(path);
    DWORD low = 0, high = 0;
    if (file.IsEmpty() || !file.GetSize(&low, &high)) return std::wstring();
    return CheckinSizeText((static_cast<unsigned long long>(high) << 32) | low);
}

}  // namespace

DWORD WINAPI CheckinThreadProc(LPVOID raw) {
    CheckinThreadParams* params = static_cast<CheckinThreadParams*>(raw);
    if (!params || !params->document || !params->path) return 1;
    CProgressDlg* dialog = params->dialog;
    if (dialog) WaitForSingleObject(dialog->GetInitEvent(), 10000);

    DWORD exitCode = 1;
    try {
        long size = 0;
        TesseraCheck(params->document->get_Size(&size), __uuidof(ITesseraDocument));
        long disposition = size > 0 ? 0 : 2;
        _bstr_t path = TesseraBstr(params->path);
        long untouched = 0;  // the DMS's own; neither set nor read here
        CUnknownPtr checkedIn;
        TesseraCheck(params->document->CheckIn(path, disposition, params->keepCheckedOut ? 1 : 0, &untouched,
                                               &checkedIn),
                     __uuidof(ITesseraDocument));
        VxTrace("Document checkin:", checkedIn ? 1L : 0L);
        exitCode = checkedIn ? 0 : 1;
    } catch (const _com_error& failure) {
        VxTrace("Document checkin error:", static_cast<long>(failure.Error()));
        exitCode = static_cast<DWORD>(failure.Error());
    } catch (...) {
        exitCode = static_cast<DWORD>(kUnexpected);
    }
    if (HWND window = dialog ? dialog->GetWorkerWindow() : nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    return exitCode;
}

bool CheckinDocument(TSManager& manager, CDocumentManager& documents, ASPathName path, DmsDocumentPtr document,
                     bool keepCheckedOut) {
    if (!HasConnectedServer(manager)) return false;
    if (!path || !document || !document->document) return false;

    DWORD exitCode = 1;
    CHostPath copy;
    try {
        copy.Reset(documents.AcquireTempPathNameForPath(path));
        if (!copy) return false;
        ITesseraDMS* dms = manager.GetDms();
        if (dms && SessionCount(dms) > 0) {
            CAPFileSpecifier copySpec(copy.get());
            std::wstring copyText = copySpec.GetPath();
            // The DMS must never receive a missing or partial file: the caller then keeps the lock
            // and the local copy.
            if (!copyText.empty() && CopyToPrivateFolder(path, copyText)) {
                ITesseraDocument* doc = document->document;
                CProgressDlg dialog(manager.GetParentWindow());
                dialog.SetCaption(VxLoadString(IDS_CHECKIN_CAPTION));
                dialog.DisableCancel();

                long number = 0, version = 0;
                TesseraCheck(doc->get_Number(&number), __uuidof(ITesseraDocument));
                TesseraCheck(doc->get_Version(&version), __uuidof(ITesseraDocument));
                std::wstring numberText = VxFormat(L"%d", static_cast<int>(number));
                std::wstring versionText = VxFormat(L"%d", static_cast<int>(version));
                std::wstring sizeText = LocalSizeText(path);
                std::wstring name = TesseraGetText(doc, &ITesseraDocument::get_Name);
                if (name.empty()) name = TesseraGetText(doc, &ITesseraDocument::get_Description);
                ITesseraUserPtr author;
                TesseraCheck(doc->get_Author(&author), __uuidof(ITesseraDocument));
                std::wstring authorId = UserIdOf(author.GetInterfacePtr());
                ProgressDocumentInfo info = {name.empty() ? nullptr : name.c_str(),
                                             author ? authorId.c_str() : nullptr, numberText.c_str(),
                                             versionText.c_str(), sizeText.c_str()};
                dialog.SetDocumentInfo(&info);

                CheckinThreadParams params;
                params.document = document->document;
                params.path = copyText.c_str();
                params.dialog = &dialog;
                params.keepCheckedOut = keepCheckedOut;
                CWorkerThread worker;
                if (worker.Start(CheckinThreadProc, &params)) {
                    dialog.SetWorkerThread(worker.get());
                    if (dialog.DoModal() == -1) SetEvent(dialog.GetInitEvent());  // no window: let the worker go at once
                    exitCode = worker.Join();
                }
                params.document = nullptr;
            }
        }
    } catch (const _com_error& failure) {
        exitCode = static_cast<DWORD>(failure.Error());
    } catch (...) {
        exitCode = static_cast<DWORD>(kUnexpected);
    }
    if (copy) documents.DeleteDocFromTmp(copy.Release(), nullptr);
    document.reset();
    return exitCode == 0;
}

bool CheckinDeskClientDocument(TSManager& manager, CDocumentManager& documents, const wchar_t* path, long number,
                               long version, const std::wstring& database, const std::wstring& server,
                               bool keepCheckedOut) {
    if (!HasConnectedServer(manager, false)) return false;
    if (!path || number < 0 || version < 0 || database.empty()) return false;
    try {
        DmsDocumentPtr document = manager.GetDocument(server, database, number, version);
        if (!document || !document->document) return false;
        CHostPath local(VxPathFromWide(path));
        if (!local) return false;
        return CheckinDocument(manager, documents, local.get(), NewReference(document->document), keepCheckedOut);
    } catch (...) {
        return false;
    }
}
