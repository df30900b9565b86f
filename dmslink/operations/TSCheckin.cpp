// Check-in behind the progress dialog, from a private copy of the local file.
#include "Files/CAPFileSpecifier.h"
#include "Files/CAPPathText.h"
#include "VxApp.h"
#include "VxGuard.h"
#include "VxHFT.h"
#include "VxTrace.h"
#include "dms/TesseraClient.h"
#include "documents/TempWorkspace.h"
#include "dialogs/CProgressDlg.h"
#include "operations/TSOperations.h"
#include "operations/TSOperationsInternal.h"
#include "resources/resource.h"

using namespace tsops;

namespace {

// Copies the local file into the folder of `copy`, under the copy's name, never over a file that is
// there already. The folder, not the copy's path, is the target: a name without an extension would
// otherwise be taken for a folder.
bool CopyToPrivateFolder(const std::wstring& path, const std::wstring& copy) {
    if (CAPPathExists(copy)) return false;
    CAPFileSpecifier source(path.c_str());
    CAPFileSpecifier folder((CAPFolderOf(copy) + L"\\").c_str());
    if (source.IsEmpty() || folder.IsEmpty() || !source.Copy(folder, false, false, false)) return false;
    return CAPPathExists(copy);
}

std::wstring LocalSizeText(const std::wstring& path) {
    CAPFileSpecifier file(path.c_str());
    DWORD low = 0, high = 0;
    if (file.IsEmpty() || !file.GetSize(&low, &high)) return std::wstring();
    return CheckinSizeText((static_cast<unsigned long long>(high) << 32) | low);
}

// The details of the document the dialog shows from its first moment.
void DescribeCheckin(CProgressDlg& dialog, ITesseraDocument* document, const std::wstring& path) {
    long number = 0, version = 0;
    TesseraCheck(document->get_Number(&number), __uuidof(ITesseraDocument));
    TesseraCheck(document->get_Version(&version), __uuidof(ITesseraDocument));
    std::wstring numberText = VxFormat(L"%d", static_cast<int>(number));
    std::wstring versionText = VxFormat(L"%d", static_cast<int>(version));
    std::wstring sizeText = LocalSizeText(path);
    std::wstring name = TesseraGetText(document, &ITesseraDocument::get_Name);
    if (name.empty()) name = TesseraGetText(document, &ITesseraDocument::get_Description);
    ITesseraUserPtr author;
    TesseraCheck(document->get_Author(&author), __uuidof(ITesseraDocument));
    std::wstring authorId = UserIdOf(author.GetInterfacePtr());
    ProgressDocumentInfo info = {name.empty() ? nullptr : name.c_str(), author ? authorId.c_str() : nullptr,
                                 numberText.c_str(), versionText.c_str(), sizeText.c_str()};
    dialog.SetDocumentInfo(&info);
}

// One check-in: the private copy in a folder of its own, which goes with the task. The worker holds
// the task, so a check-in the user stopped waiting for keeps its copy until the DMS has answered.
class CCheckinTask : public CWorkerTask {
public:
    CCheckinTask(ITesseraDocument* document, const std::wstring& path, bool keepCheckedOut)
        : document_(document), path_(path), keepCheckedOut_(keepCheckedOut) {}

    // The private copy, made before anything goes to the DMS; false when it cannot be made.
    bool Prepare() {
        if (!folder_.Claim()) return false;
        copy_ = folder_.Path() + L"\\" + CAPNameOf(path_);
        sent_ = StampOf(path_);
        if (!CopyToPrivateFolder(path_, copy_)) return false;
        // Held open (readers welcome) while the DMS takes it, so that another host's start-up never
        // takes it for a leftover.
        held_.Reset(CreateFileW(copy_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        return true;
    }

    DWORD Work(const CProgressLink& dialog) override {
        CheckinThreadParams params;
        params.document = document_;
        params.path = copy_.c_str();
        params.dialog = &dialog;
        params.keepCheckedOut = keepCheckedOut_;
        DWORD code = CheckinThreadProc(&params);
        // Nobody waits for the answer any more: what the DMS took is left beside the local copy.
        if (code == 0 && !dialog.Finish()) WriteSentMark(path_, sent_);
        return code;
    }

private:
    ITesseraDocumentPtr document_;
    std::wstring path_;
    bool keepCheckedOut_;
    CClaimedTempFolder folder_;  // declared before the handle: the handle goes first
    std::wstring copy_;
    FileStamp sent_;
    CAPHandle held_;
};

// The dialog for one check-in, shown with the document's details from its first moment.
DWORD RunCheckin(TSManager& manager, ITesseraDocument* document, const std::wstring& path,
                 std::shared_ptr<CCheckinTask> task) {
    CProgressDlg dialog(manager.GetParentWindow());
    dialog.SetCaption(VxLoadString(IDS_CHECKIN_CAPTION));
    dialog.DisableCancel();
    dialog.SetPatience(manager.Patience());
    DescribeCheckin(dialog, document, path);
    WorkerResult result = dialog.RunWorker(std::move(task));
    return result.answered ? result.exitCode : static_cast<DWORD>(E_ABORT);
}

}  // namespace

DWORD WINAPI CheckinThreadProc(LPVOID raw) {
    const VxSite site = VX_SITE("TSCheckin", "CheckinThreadProc");
    return VxWorkerBoundary(site, static_cast<DWORD>(kUnexpected), [&]() -> DWORD {
        CheckinThreadParams* params = static_cast<CheckinThreadParams*>(raw);
        if (!params || !params->document || !params->path) return 1;
        return WorkBehindDialog(site, params->dialog, "Document checkin error:", [&]() -> DWORD {
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
            return checkedIn ? 0 : 1;
        });
    });
}

bool CheckinDocument(TSManager& manager, const std::wstring& path, DmsDocumentPtr document, bool keepCheckedOut,
                     HRESULT* outcome) {
    HRESULT ignored = S_OK;
    HRESULT& result = outcome ? *outcome : ignored;
    result = TESSERA_E_NOT_LOGGED_IN;
    if (!HasConnectedServer(manager)) return false;
    result = E_INVALIDARG;
    if (path.empty() || !document || !document->document) return false;

    DWORD exitCode = 1;
    try {
        auto task = std::make_shared<CCheckinTask>(document->document, path, keepCheckedOut);
        ITesseraDMS* dms = manager.GetDms();
        // The DMS must never receive a missing or partial file: the caller then keeps the lock and
        // the local copy. The private copy goes into a folder of its own or nowhere, never beside a
        // bare name; it goes with its folder as the check-in ends, whatever its result.
        if (!dms || SessionCount(dms) <= 0) {
            exitCode = static_cast<DWORD>(TESSERA_E_NOT_LOGGED_IN);
        } else if (!task->Prepare()) {
            exitCode = static_cast<DWORD>(kNoPrivateCopy);
        } else {
            exitCode = RunCheckin(manager, document->document, path, std::move(task));
        }
    } catch (const _com_error& failure) {
        exitCode = static_cast<DWORD>(failure.Error());
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION("TSCheckin", "CheckinDocument");
        exitCode = static_cast<DWORD>(kUnexpected);
    }
    document.reset();
    // The worker's exit code 1 is a refusal without an error.
    result = exitCode == 1 ? S_FALSE : static_cast<HRESULT>(exitCode);
    return exitCode == 0;
}

bool CheckinDeskClientDocument(TSManager& manager, const std::wstring& path, long number, long version,
                               const std::wstring& database, const std::wstring& server, bool keepCheckedOut,
                               HRESULT* outcome) {
    HRESULT ignored = S_OK;
    HRESULT& result = outcome ? *outcome : ignored;
    result = TESSERA_E_NOT_LOGGED_IN;
    if (!HasConnectedServer(manager, false)) return false;
    result = E_INVALIDARG;
    if (path.empty() || number < 0 || version < 0 || database.empty()) return false;
    try {
        DmsDocumentPtr document = manager.GetDocument(server, database, number, version, &result);
        if (!document || !document->document) return false;
        return CheckinDocument(manager, path, std::move(document), keepCheckedOut, &result);
    } catch (const _com_error& failure) {
        result = failure.Error();
        return false;
    } catch (...) {
        VX_LOG_CURRENT_EXCEPTION("TSCheckin", "CheckinDeskClientDocument");
        result = kUnexpected;
        return false;
    }
}
